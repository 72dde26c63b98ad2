// The shared XML conventions over pugixml.
#include "xml/XmlDoc.h"

#include <sodium.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <filesystem>
#include <fstream>

#include "frame/Text.h"
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

// The text rule shared by both directions.
std::string_view TextRuleView(std::string_view s) {
  if (!s.empty() && s.back() == '\0') return s.substr(0, s.size() - 1);
  return frame::TrimBlanks(s);
}

std::string TextRule(std::string_view s) { return std::string(TextRuleView(s)); }

// The text rule of a column's value as a view into the stored text, or into
// |scratch| for a value that is not text. Valid while the row is current.
std::string_view ColumnTextView(const Recordset& rs, std::string_view column, std::string& scratch) {
  int i = rs.FieldIndex(column);
  if (i < 0 || rs.IsEOF()) return {};
  const Variant& v = rs.RefAt(i);
  if (v.IsNull() || v.IsEmpty()) return {};
  if (const std::string* text = v.Text()) return TextRuleView(*text);
  scratch = v.ToText();
  return TextRuleView(scratch);
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

void SaveDocument(const pugi::xml_document& doc, const std::string& path) {
  std::string bytes = DocumentText(doc);
  if (WriteBehind* behind = WriteBehind::Current()) {
    behind->Queue(path, std::move(bytes));
    return;
  }
  WriteFileBytes(path, bytes);
}

int CreateTempFile(const std::string& path, std::string* temp) {
  const std::string folder = FolderOfPath(path);
  const std::string name = path.substr(folder.size());
  for (int attempt = 0; attempt < 16; ++attempt) {
    unsigned char random[8];
    if (::getentropy(random, sizeof random) != 0) return -1;
    char hex[17];
    for (size_t i = 0; i < sizeof random; ++i) std::snprintf(hex + 2 * i, 3, "%02x", random[i]);
    *temp = folder + "." + name + "." + hex + ".part";
    // O_EXCL with O_CREAT never follows a link, not even a dangling one: a
    // name planted beforehand makes the open fail and another name is drawn.
    const int fd = ::open(temp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

void CheckReplaceable(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return;
  throw Error(eErr_NotRegularFile, "modWriteXML.SaveDocument",
              "cannot write the file " + path + ": " +
                  (S_ISLNK(st.st_mode) ? "it is a symbolic link" : S_ISDIR(st.st_mode) ? "it is a folder" : "it is not a regular file") +
                  ", which is not replaced.");
}

void WriteFileBytes(const std::string& path, std::string_view bytes) {
  // The bytes go to a new temporary file beside the target, which is
  // renamed over it once complete: a failure or a crash never leaves a
  // half-written file under the name of a finished one. What the name holds
  // is replaced only when it is a regular file.
  CheckReplaceable(path);
  std::string part;
  const int fd = CreateTempFile(path, &part);
  bool ok = fd >= 0;
  int reason = errno;
  for (size_t done = 0; ok && done < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      reason = n < 0 ? errno : ENOSPC;
    } else {
      done += static_cast<size_t>(n);
    }
  }
  if (fd >= 0 && ::close(fd) != 0 && ok) {
    ok = false;
    reason = errno;
  }
  if (ok && std::rename(part.c_str(), path.c_str()) != 0) {
    ok = false;
    reason = errno;
  }
  if (!ok) {
    if (fd >= 0) ::unlink(part.c_str());
    throw Error(eErr_FileNotFound, "modWriteXML.SaveDocument",
                "cannot write the file " + path + ": " + std::strerror(reason));
  }
}

std::string DocumentText(const pugi::xml_document& doc) {
  struct ToString : pugi::xml_writer {
    std::string text;
    void write(const void* data, size_t size) override {
      text.append(static_cast<const char*>(data), size);
    }
  } out;
  doc.save(out, "\t", kSaveFlags, pugi::encoding_utf8);
  if (ToXml10(out.text)) ++CurrentWriteNotes().documents_with_control_characters;
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

WriteNotes& CurrentWriteNotes() {
  thread_local WriteNotes notes;
  return notes;
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
    ++CurrentWriteNotes().texts_cut_at_nul;
    text = text.substr(0, text.find('\0'));
  }
  element.append_attribute(name).set_value(text.data(), text.size());
}

bool SetIdentity(const Recordset& rs, pugi::xml_node element, std::string_view column) {
  if (rs.IsEOF()) return false;
  SetAttr(element, "ID", ColumnValue(rs.GetField(column), kString).ToText());
  SetAttr(element, "XMLVersion", "2");
  return true;
}

bool SetIdentityText(pugi::xml_node element, std::string_view guid) {
  SetAttr(element, "ID", guid);
  SetAttr(element, "XMLVersion", "2");
  return true;
}

Attrs::Attrs(pugi::xml_node element) {
  for (auto a = element.first_attribute(); a; a = a.next_attribute()) attrs_.push_back(a);
}

std::string Attrs::Text(size_t i) const { return AttributeValue((*this)[i], kString).ToText(); }
Variant Attrs::Value(size_t i, int type) const { return AttributeValue((*this)[i], type); }

Variant ColumnValue(const Field& field, int type) {
  if (!field.Exists()) {
    if (type == kInteger || type == kLong) return Variant(int32_t{0});
    if (type == kString) return Variant(std::string());
    if (type == kBoolean) return Variant(false);
    return Variant();
  }
  Variant v = field.Value();
  bool null = v.IsNull() || v.IsEmpty();
  switch (type) {
    case kInteger:
    case kLong:
      return Variant(null || !v.IsNumeric() ? int32_t{0} : v.ToLong());
    case kString:
      return Variant(null ? std::string() : TextRule(v.ToText()));
    case kBoolean:
      if (null) return Variant(false);
      try {
        return Variant(v.ToBool());
      } catch (const Error&) {
        return Variant(false);
      }
    default:
      return v;
  }
}

std::string ColumnText(const Recordset& rs, std::string_view column) {
  std::string scratch;
  return std::string(ColumnTextView(rs, column, scratch));
}

std::string ColumnNumber(const Recordset& rs, std::string_view column) {
  return ColumnValue(rs.GetField(column), kLong).ToText();
}

std::string ColumnWord(const Recordset& rs, std::string_view column) {
  return BooleanWord(ColumnValue(rs.GetField(column), kBoolean));
}

void SetColumnAttr(pugi::xml_node element, const char* name, const Recordset& rs,
                   std::string_view column) {
  std::string scratch;
  SetAttr(element, name, ColumnTextView(rs, column, scratch));
}

Variant AttributeValue(pugi::xml_attribute attr, int type) {
  if (!attr) {
    if (type == kString) return Variant(std::string());
    if (type == kBoolean) return Variant(false);
    if (type == kInteger || type == kLong || type == kDouble) return Variant::Null();
    return Variant();
  }
  Variant text(std::string(attr.value()));
  switch (type) {
    case kInteger:
    case kLong:
      return Variant(text.IsNumeric() ? text.ToLong() : int32_t{0});
    case kDouble:
      return Variant(text.IsNumeric() ? text.ToDouble() : 0.0);
    case kString:
      return Variant(TextRule(attr.value()));
    case kBoolean:
      try {
        return Variant(text.ToBool());
      } catch (const Error&) {
        return Variant(false);
      }
    default:
      return text;
  }
}

std::string BooleanWord(const Variant& v) {
  try {
    if (v.IsNull() || v.IsEmpty()) return "False";
    return v.ToBool() ? "True" : "False";
  } catch (const Error&) {
    return "False";
  }
}

std::string ColorName(int32_t code) {
  static const char* kNames[] = {"Automatic", "Black",    "Blue",        "Cyan",     "Green",
                                 "Magenta",   "Red",      "Yellow",      "White",    "DarkBlue",
                                 "DarkCyan",  "DarkGreen", "DarkMagenta", "DarkRed", "DarkYellow",
                                 "DarkGray",  "LightGray"};
  if (code < 0 || code > 16) return "Invalid ReqType Color Code";
  return kNames[code];
}

std::string StyleName(int32_t code) {
  switch (code) {
    case 1: return "Normal";
    case 2: return "Small Capitals";
    case 3: return "Double Underline";
    default: return "Invalid ReqType Style Code";
  }
}

std::string DataTypeName(int32_t code) {
  switch (code) {
    case 0: return "List";
    case 1: return "Text";
    case 2: return "Integer";
    case 3: return "Real";
    case 4: return "Date";
    case 5: return "Time";
    case 10: return "MultiSelect";
    default: return "Invalid Datatype code";
  }
}

std::string LineEnds(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out.push_back('\r');
    out.push_back(text[i]);
  }
  return out;
}

std::shared_ptr<Collection> ListSplitter(std::string_view text, std::string_view delimiter) {
  if (text.empty() || delimiter.empty()) return nullptr;
  auto tokens = std::make_shared<Collection>();
  char delim = delimiter.front();
  std::string current;
  for (size_t i = 0; i < text.size(); ++i) {
    current.push_back(text[i]);
    if (text[i] == delim || i + 1 == text.size()) {
      if (!current.empty() && current.back() == delim) current.pop_back();
      std::string token(frame::TrimBlanks(FoldCase(current)));
      if (!token.empty()) tokens->Add(Variant(token));
      current.clear();
    }
  }
  return tokens;
}

std::string CutFirstTwo(std::string_view text) {
  if (frame::TrimBlanks(text).empty()) return std::string(text);
  return std::string(text.size() >= 2 ? text.substr(2) : std::string_view());
}

std::string FolderOfPath(std::string_view path) {
  size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool InsideFolder(const std::string& path, const std::string& folder) {
  std::error_code ec;
  const std::filesystem::path base = std::filesystem::weakly_canonical(folder, ec);
  if (ec) return false;
  const std::filesystem::path full = std::filesystem::weakly_canonical(path, ec);
  if (ec) return false;
  auto b = base.begin(), f = full.begin();
  for (; b != base.end(); ++b, ++f) {
    if (b->empty()) continue;  // a trailing separator of the folder
    if (f == full.end() || *b != *f) return false;
  }
  return f != full.end();
}

bool IsPlainFileStem(std::string_view stem) {
  if (stem.empty() || stem == "." || stem == "..") return false;
  return stem.find_first_of(std::string_view("/\\:\0", 4)) == std::string_view::npos;
}

std::string Base64Encode(const std::vector<uint8_t>& bytes) {
  size_t len = sodium_base64_encoded_len(bytes.size(), sodium_base64_VARIANT_ORIGINAL);
  std::string out(len, '\0');
  sodium_bin2base64(out.data(), len, bytes.data(), bytes.size(), sodium_base64_VARIANT_ORIGINAL);
  out.resize(len - 1);  // the terminating NUL
  return out;
}

std::vector<uint8_t> Base64Decode(std::string_view text) {
  std::vector<uint8_t> out(text.size() * 3 / 4 + 3);
  size_t n = 0;
  if (sodium_base642bin(out.data(), out.size(), text.data(), text.size(), " \t\r\n", &n,
                        nullptr, sodium_base64_VARIANT_ORIGINAL) != 0)
    throw Error(eErr_BadDocument, "modReadXML.Base64Decode", "the element value is not Base64");
  out.resize(n);
  return out;
}

void SetBase64Value(pugi::xml_node element, const std::vector<uint8_t>& bytes) {
  element.append_attribute("xmlns:dt") = "urn:schemas-microsoft-com:datatypes";
  element.append_attribute("dt:dt") = "bin.base64";
  element.text().set(Base64Encode(bytes).c_str());
}

std::vector<uint8_t> GetBase64Value(pugi::xml_node element) {
  return Base64Decode(element.text().get());
}

}  // namespace qmxml::xml
