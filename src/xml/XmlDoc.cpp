// The shared XML conventions over pugixml.
#include "xml/XmlDoc.h"
#include "xml/Files.h"


#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <filesystem>
#include <fstream>

#include "frame/Text.h"
#include "xml/TextWriter.h"
#include "qmxml/Error.h"
#include "xml/WriteBehind.h"

namespace qmxml::xml {
namespace {

// Whitespace-only text between elements is dropped on load; line ends in
// literal text are normalised to LF, as XML requires. Attribute values keep
// line feeds and tabs as they are (no conversion to blanks).
constexpr unsigned kParseFlags =
    pugi::parse_cdata | pugi::parse_escapes | pugi::parse_eol | pugi::parse_declaration;
constexpr unsigned kSaveFlags = pugi::format_indent;

// SetAttr notes each text it had to cut at a NUL as this processing
// instruction at the end of the document: the document carries its own
// note to whoever turns it into text, and DocumentText counts and drops
// them. No data can write one ("<" in data is always "&lt;").
constexpr const char* kCutMark = "qmxml-text-cut-at-nul";

// How many cut notes |doc| carries (they stand among its top-level nodes).
long CutMarks(const pugi::xml_document& doc) {
  long n = 0;
  for (pugi::xml_node node : doc.children())
    if (node.type() == pugi::node_pi && std::strcmp(node.name(), kCutMark) == 0) ++n;
  return n;
}

// Removes the |n| cut notes (each on its own line) from the serialised
// |bytes|.
void DropCutMarks(std::string& bytes, long n) {
  const std::string mark = std::string("<?") + kCutMark + "?>\n";
  for (size_t at; n > 0 && (at = bytes.rfind(mark)) != std::string::npos; --n)
    bytes.erase(at, mark.size());
}

std::pair<int, int> LineAndColumn(const std::string& path, ptrdiff_t offset) {
  std::ifstream in(path, std::ios::binary);
  std::string head(offset > 0 ? static_cast<size_t>(offset) : 0, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<size_t>(in.gcount()));
  return LineAndColumnAt(head, head.size());
}

}  // namespace

std::pair<int, int> LineAndColumnAt(std::string_view bytes, size_t offset) {
  int line = 1, column = 1;
  for (size_t i = 0; i < offset && i < bytes.size(); ++i) {
    if (bytes[i] == '\n') {
      ++line;
      column = 1;
    } else if ((static_cast<unsigned char>(bytes[i]) & 0xC0) != 0x80) {
      ++column;  // count characters, not the bytes of one
    }
  }
  return {line, column};
}

XmlDocumentPtr NewDocument() {
  auto doc = std::make_shared<pugi::xml_document>();
  auto decl = doc->append_child(pugi::node_declaration);
  decl.append_attribute("version") = "1.0";
  decl.append_attribute("standalone") = "yes";
  return doc;
}

XmlDocumentPtr LoadDocument(const std::string& path, const std::string& source) {
  auto doc = std::make_shared<pugi::xml_document>();
  pugi::xml_parse_result r = doc->load_file(path.c_str(), kParseFlags, pugi::encoding_auto);
  if (!r) {
    std::string where;
    if (r.status == pugi::status_file_not_found || r.status == pugi::status_io_error) {
      where = "";
    } else {
      auto [line, col] = LineAndColumn(path, r.offset);
      where = " at line " + std::to_string(line) + ", column " + std::to_string(col);
    }
    throw Error(static_cast<int32_t>(r.status), source,
                std::string(r.description()) + where + " in " + path);
  }
  return doc;
}

void SaveDocument(const pugi::xml_document& doc, const std::string& path, WriteBehind* files,
                  WriteNotes* notes) {
  SaveText(DocumentText(doc, notes), path, files);
}

void SaveText(std::string text, const std::string& path, WriteBehind* files) {
  if (files != nullptr) {
    files->Queue(path, std::move(text));
    return;
  }
  WriteFileBytes(path, text);
}

void SaveDocument(const XmlDocumentPtr& doc, const std::string& path, WriteBehind* files,
                  WriteNotes* notes) {
  if (files != nullptr)
    files->Queue(path, doc);
  else
    SaveDocument(*doc, path, nullptr, notes);
}

std::string DocumentText(const pugi::xml_document& doc, WriteNotes* notes) {
  struct ToString : pugi::xml_writer {
    std::string text;
    void write(const void* data, size_t size) override {
      text.append(static_cast<const char*>(data), size);
    }
  } out;
  doc.save(out, "\t", kSaveFlags, pugi::encoding_utf8);
  const long cut = CutMarks(doc);
  if (cut > 0) DropCutMarks(out.text, cut);
  const bool controls = ToXml10(out.text);
  if (notes != nullptr) {
    notes->texts_cut_at_nul += cut;
    if (controls) ++notes->documents_with_control_characters;
  }
  return std::move(out.text);
}

bool ToXml10(std::string& bytes) {
  // The serialiser writes every character below 32 other than tab, line
  // feed and carriage return as "&#N;" (decimal); nothing else starts with
  // "&#", since a data "&" is written "&amp;".
  bool left = false;
  size_t out = 0, i = 0;
  for (;;) {
    const size_t ref = bytes.find("&#", i);
    const size_t stop = ref == std::string::npos ? bytes.size() : ref;
    if (out != i) std::memmove(&bytes[out], &bytes[i], stop - i);
    out += stop - i;
    i = stop;
    if (ref == std::string::npos) break;
    const size_t end = bytes.find(';', ref);
    const int code = std::atoi(bytes.c_str() + ref + 2);
    if (code == 26 && end != std::string::npos && end - ref <= 5) {
      bytes[out++] = '|';
      i = end + 1;
      continue;
    }
    if (code != 9 && code != 10 && code != 13) left = true;
    bytes[out++] = bytes[i++];  // "&#": copied, the digits follow as text
    bytes[out++] = bytes[i++];
  }
  bytes.resize(out);
  return left;
}

std::string ElementPosition(pugi::xml_node element, const std::string& path) {
  std::string where = "<";
  where += element.name();
  if (pugi::xml_attribute id = element.attribute("ID")) {
    where += " ID=\"";
    where += id.value();
    where += "\"";
  }
  where += ">";
  const ptrdiff_t offset = element.offset_debug();
  if (offset >= 0 && !path.empty() && FileExists(path)) {
    auto [line, col] = LineAndColumn(path, offset);
    where += ", line " + std::to_string(line) + ", column " + std::to_string(col);
  }
  return where;
}

pugi::xml_node RootElement(const pugi::xml_document& doc) { return ChildNode(doc, 1); }

pugi::xml_node ChildNode(pugi::xml_node node, size_t index) {
  pugi::xml_node c = node.first_child();
  for (size_t i = 0; c && i < index; ++i) c = c.next_sibling();
  return c;
}

std::vector<pugi::xml_node> Children(pugi::xml_node node) {
  std::vector<pugi::xml_node> out;
  for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling())
    if (c.type() == pugi::node_element) out.push_back(c);
  return out;
}

pugi::xml_node AppendElement(pugi::xml_node parent, const char* name) {
  return parent.append_child(name);
}

void SetAttr(pugi::xml_node element, const char* name, std::string_view text) {
  if (!text.empty() && std::memchr(text.data(), '\0', text.size()) != nullptr) {
    element.root().append_child(pugi::node_pi).set_name(kCutMark);
    text = text.substr(0, text.find('\0'));
  }
  element.append_attribute(name).set_value(text.data(), text.size());
}

// The value of the XMLVersion attribute the identities carry.
constexpr const char* kXmlVersion = "2";

bool SetIdentity(const Recordset& rs, pugi::xml_node element, std::string_view column) {
  if (rs.IsEOF()) return false;
  SetAttr(element, "ID", ColumnValue(rs.GetField(column), kString).ToText());
  SetAttr(element, "XMLVersion", kXmlVersion);
  return true;
}

bool SetIdentityText(pugi::xml_node element, std::string_view guid) {
  SetAttr(element, "ID", guid);
  SetAttr(element, "XMLVersion", kXmlVersion);
  return true;
}

void SetIdentityText(TextWriter& w, std::string_view guid) {
  w.Attr("ID", guid);
  w.Attr("XMLVersion", kXmlVersion);
}

}  // namespace qmxml::xml
