// The value rules between stored columns and attribute texts, and the small
// text helpers the movers share.
#include "xml/XmlValues.h"

#include "frame/Text.h"
#include "qmxml/Error.h"
#include "xml/XmlDoc.h"

namespace qmxml::xml {
namespace {

// The text rule shared by both directions.
std::string_view TextRuleView(std::string_view s) {
  if (!s.empty() && s.back() == '\0') return s.substr(0, s.size() - 1);
  return frame::TrimBlanks(s);
}

std::string TextRule(std::string_view s) { return std::string(TextRuleView(s)); }

// The text rule of a column's value as a view into the stored text, or into
// |scratch| for a value that is not text. Valid while the row is current.
std::string_view ColumnTextView(const Recordset& rs, int i, std::string& scratch) {
  if (i < 0 || rs.IsEOF()) return {};
  const Variant& v = rs.RefAt(i);
  if (v.IsNull() || v.IsEmpty()) return {};
  if (const std::string* text = v.Text()) return TextRuleView(*text);
  scratch = v.ToText();
  return TextRuleView(scratch);
}

}  // namespace

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
  return std::string(ColumnTextView(rs, rs.FieldIndex(column), scratch));
}

std::string ColumnNumber(const Recordset& rs, std::string_view column) {
  return ColumnValue(rs.GetField(column), kLong).ToText();
}

std::string ColumnWord(const Recordset& rs, std::string_view column) {
  return BooleanWord(ColumnValue(rs.GetField(column), kBoolean));
}

void SetColumnAttr(pugi::xml_node element, const char* name, const Recordset& rs,
                   std::string_view column) {
  SetColumnAttr(element, name, rs, rs.FieldIndex(column), kString);
}

void SetColumnAttr(pugi::xml_node element, const char* name, const Recordset& rs,
                   int field, int type) {
  std::string scratch;
  SetAttr(element, name, ColumnAttrText(rs, field, type, scratch));
}

std::string_view ColumnAttrText(const Recordset& rs, int field, int type, std::string& scratch) {
  if (type == kString) return ColumnTextView(rs, field, scratch);
  scratch = ColumnValue(Field(&rs, field), type).ToText();
  return scratch;
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

}  // namespace qmxml::xml
