// The XML conventions every mover shares, over pugixml: the document frame
// (declaration as child 0, the root element as child 1), identity
// attributes, children found by position. The value rules they apply are
// in XmlValues.h, file helpers in Files.h, Base64 in Base64.h.
//
// Attribute order is part of every document format: writers set all the
// attributes of an element, empty ones included, in a fixed order, and the
// positional readers take position n as the n-th attribute of that order
// (ElementLayout.h keeps both in one table per element).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

#include "qmxml/Collection.h"
#include "qmxml/Recordset.h"
#include "qmxml/Scheduler.h"
#include "qmxml/Variant.h"
#include "xml/XmlValues.h"

namespace qmxml::xml {

// ---- document frame ----

// A new document holding only the declaration (version 1.0, standalone).
XmlDocumentPtr NewDocument();
// Loads |path|. A parse failure throws Error with the parser's status as the
// number and its reason, the line and column, and the path as description;
// |source| is the error source.
XmlDocumentPtr LoadDocument(const std::string& path, const std::string& source);
struct WriteNotes;
class WriteBehind;
class TextWriter;

// Saves |doc| to |path|, counting in |notes| (may be null) what it could
// not hold as it stands. Throws Error eErr_FileNotFound when the file
// cannot be written. With |files| the file is only queued, and a failure
// surfaces at a later save or at its Finish.
void SaveDocument(const pugi::xml_document& doc, const std::string& path,
                  WriteBehind* files = nullptr, WriteNotes* notes = nullptr);
// The same for a document the caller no longer changes: with |files| it is
// queued whole, turned into text on the writer thread, and what it could
// not hold is counted in the notes of |files| instead (WriteBehind::Finish).
void SaveDocument(const XmlDocumentPtr& doc, const std::string& path, WriteBehind* files,
                  WriteNotes* notes);
// Writes the text of a document to |path|, through |files| when given.
void SaveText(std::string text, const std::string& path, WriteBehind* files);
// The document as text, as SaveDocument writes it: XML 1.0 wherever the
// data allows (see ToXml10). |notes| (may be null) counts what it met.
std::string DocumentText(const pugi::xml_document& doc, WriteNotes* notes = nullptr);

// Makes serialised |bytes| readable by any XML 1.0 parser where the data
// allows. The host stores "|" as the character with code 26, which XML 1.0
// cannot carry even as a character reference; it is written back as "|",
// which every reader turns into code 26 again when it stores the text. Other
// control characters stay character references (XML 1.1 would take them);
// the return value says whether any is left, so the caller can count such
// documents.
bool ToXml10(std::string& bytes);

// What the documents of a run met that they cannot hold as they stand,
// counted as each is turned into text.
struct WriteNotes {
  long documents_with_control_characters = 0;  // left as character references
  long texts_cut_at_nul = 0;  // a NUL inside a text ends it in the document
};

// Line and column (both from 1, columns in characters) of byte |offset| of
// |bytes|: where a parser or a check stopped.
std::pair<int, int> LineAndColumnAt(std::string_view bytes, size_t offset);

// Where |element| stands in the file |path| it was loaded from:
// "<Name ID=\"...\">, line L, column C" (the ID only when it has one; no line
// for an element that was not read from that file).
std::string ElementPosition(pugi::xml_node element, const std::string& path);

// Child 1 of the document (the root element), or an empty node.
pugi::xml_node RootElement(const pugi::xml_document& doc);
// Child |index| of |node| (0-based), or an empty node.
pugi::xml_node ChildNode(pugi::xml_node node, size_t index);
// The element children of |node| in order (what a "child list" walks).
std::vector<pugi::xml_node> Children(pugi::xml_node node);
// Appends element |name| to |parent| and returns it.
pugi::xml_node AppendElement(pugi::xml_node parent, const char* name);

// ---- attributes ----

// Sets attribute |name| to |text| (appended: order of calls is the order
// in the document). A NUL inside |text| ends the value there (XML cannot
// carry it); the document keeps a note of it for DocumentText to count.
void SetAttr(pugi::xml_node element, const char* name, std::string_view text);
// "ID" from |column| of the current row, then "XMLVersion" 2. False (and
// nothing set) at the end of the record set.
bool SetIdentity(const Recordset& rs, pugi::xml_node element, std::string_view column);
// "ID" = |guid|, then "XMLVersion" 2; the second form on the element just
// opened in |w|.
bool SetIdentityText(pugi::xml_node element, std::string_view guid);
void SetIdentityText(TextWriter& w, std::string_view guid);

}  // namespace qmxml::xml
