// The XML conventions every mover shares, over pugixml: the document frame
// (declaration as child 0, the root element as child 1), identity
// attributes, attributes and children found by position, the value rules in
// both directions, the code-name tables and small text helpers.
//
// Attribute order is part of every document format: writers set all the
// attributes of an element, empty ones included, in a fixed order, and the
// positional readers take position n as the n-th attribute of that order.
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

namespace qmxml::xml {

// Value types of the column and attribute rules (ADO type numbers).
enum ValueType : int { kInteger = 2, kLong = 3, kDouble = 5, kString = 8, kBoolean = 11 };

// ---- document frame ----

// A new document holding only the declaration (version 1.0, standalone).
XmlDocumentPtr NewDocument();
// Loads |path|. A parse failure throws Error with the parser's status as the
// number and its reason, the line and column, and the path as description;
// |source| is the error source.
XmlDocumentPtr LoadDocument(const std::string& path, const std::string& source);
// Saves |doc| to |path|. Throws Error eErr_FileNotFound when the file
// cannot be written. With a WriteBehind on this thread the file is only
// queued, and a failure surfaces at a later save or at its Finish.
void SaveDocument(const pugi::xml_document& doc, const std::string& path);
// Creates or replaces |path| with |bytes|, written to a new temporary file
// beside it (CreateTempFile) and renamed over |path| when complete, so
// |path| is never half-written. Throws Error eErr_NotRegularFile when
// |path| names something other than a regular file (a link, a folder, a
// device), and eErr_FileNotFound naming the file and the reason when it
// cannot be written (the temporary file is removed again).
void WriteFileBytes(const std::string& path, std::string_view bytes);
// Creates a new file ".<name>.<16 random hex digits>.part" beside |path|
// for writing, exclusively and without following links; its name goes to
// |temp|. Returns the descriptor, or -1 with errno set.
int CreateTempFile(const std::string& path, std::string* temp);
// Throws Error eErr_NotRegularFile unless |path| is missing or a regular
// file (a link is refused, whatever it points to).
void CheckReplaceable(const std::string& path);
// The document as text, as SaveDocument writes it: XML 1.0 wherever the
// data allows (see ToXml10).
std::string DocumentText(const pugi::xml_document& doc);

// Makes serialised |bytes| readable by any XML 1.0 parser where the data
// allows. The host stores "|" as the character with code 26, which XML 1.0
// cannot carry even as a character reference; it is written back as "|",
// which every reader turns into code 26 again when it stores the text. Other
// control characters stay character references (XML 1.1 would take them);
// the return value says whether any is left, so the caller can count such
// documents.
bool ToXml10(std::string& bytes);

// What the writers of the calling thread met that a document cannot hold
// as it stands. An exporter reads and resets these around its writes.
struct WriteNotes {
  long documents_with_control_characters = 0;  // left as character references
  long texts_cut_at_nul = 0;  // a NUL inside a text ends it in the document
};
WriteNotes& CurrentWriteNotes();

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
// carry it); it is counted in the thread's WriteNotes.
void SetAttr(pugi::xml_node element, const char* name, std::string_view text);
// "ID" from |column| of the current row, then "XMLVersion" 2. False (and
// nothing set) at the end of the record set.
bool SetIdentity(const Recordset& rs, pugi::xml_node element, std::string_view column);
// "ID" = |guid|, then "XMLVersion" 2.
bool SetIdentityText(pugi::xml_node element, std::string_view guid);

// Positional access to an element's attributes.
class Attrs {
 public:
  explicit Attrs(pugi::xml_node element);
  size_t size() const { return attrs_.size(); }
  // Attribute at |i|, or an empty attribute when there is none.
  pugi::xml_attribute operator[](size_t i) const {
    return i < attrs_.size() ? attrs_[i] : pugi::xml_attribute();
  }
  // Shortcuts applying the attribute rules.
  std::string Text(size_t i) const;
  Variant Value(size_t i, int type) const;

 private:
  std::vector<pugi::xml_attribute> attrs_;
};

// ---- value rules ----

// Database to XML: the value of |field| for value type |type|.
Variant ColumnValue(const Field& field, int type);
// Text of a column by the text rule (Null -> "", trailing code 0 dropped,
// else blanks around removed).
std::string ColumnText(const Recordset& rs, std::string_view column);
// Sets attribute |name| of |element| to ColumnText(rs, column) without
// copying the stored text first: writers do this for every attribute of
// every row.
void SetColumnAttr(pugi::xml_node element, const char* name, const Recordset& rs,
                   std::string_view column);
// A column as the whole-number text a writer puts in an attribute ("" for
// Null).
std::string ColumnNumber(const Recordset& rs, std::string_view column);
// A column as "True" or "False" (BooleanWord of its Boolean value).
std::string ColumnWord(const Recordset& rs, std::string_view column);
// XML to database: the value of |attr| (may be empty) for value type |type|.
Variant AttributeValue(pugi::xml_attribute attr, int type);
// "True" when |v| converts to True, else "False" (also when it does not
// convert).
std::string BooleanWord(const Variant& v);

std::string ColorName(int32_t code);
std::string StyleName(int32_t code);
std::string DataTypeName(int32_t code);

// ---- text helpers ----

// Each line feed not already preceded by a carriage return becomes CR LF:
// the XML layer keeps a stored CR LF intact, and text that arrives with
// bare line feeds gets the line ends the database stores.
std::string LineEnds(std::string_view text);
// Tokens of |text| split at |delimiter|, upper case, blanks around removed,
// empty ones dropped. nullptr (Nothing) for empty text or delimiter.
std::shared_ptr<Collection> ListSplitter(std::string_view text, std::string_view delimiter);
// |text| without its first two characters when it holds anything but
// blanks; else unchanged.
std::string CutFirstTwo(std::string_view text);
// The path up to and including its last "/", or "".
std::string FolderOfPath(std::string_view path);
// True when a file of that name exists; false also when the lookup fails.
bool FileExists(const std::string& path);
// True when |path|, with every link in it followed, lies inside |folder|
// (also followed). A folder is a trust boundary: a link in it that points
// elsewhere must not make a reader open a file outside it.
bool InsideFolder(const std::string& path, const std::string& folder);
// True when |stem| can name a file inside a folder and nothing else: not
// empty, no path separator, drive colon or NUL, and not "." or "..".
// Whole-project transfers go further and name files by GUIDs only.
bool IsPlainFileStem(std::string_view stem);

// ---- typed element values ----

std::string Base64Encode(const std::vector<uint8_t>& bytes);
// Throws Error eErr_BadDocument on text that is not Base64.
std::vector<uint8_t> Base64Decode(std::string_view text);
// Marks |element| as holding bin.base64 data and sets its text.
void SetBase64Value(pugi::xml_node element, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> GetBase64Value(pugi::xml_node element);

}  // namespace qmxml::xml
