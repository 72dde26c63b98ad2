// SQL literals and table names.
#include "sql/SqlText.h"

#include "qmxml/Error.h"

namespace qmxml::sql {
namespace {

std::string TextLiteral(std::string text, bool null_if_empty) {
  if (null_if_empty && text.empty()) return "NULL";
  text = HostText(std::move(text));
  // A quote already doubled stays as it is; any other quote is doubled.
  std::string out;
  out.reserve(text.size() + 2);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\'') {
      if (i + 1 < text.size() && text[i + 1] == '\'') {
        out += "''";
        ++i;
        continue;
      }
      out += "''";
      continue;
    }
    out.push_back(text[i]);
  }
  if (out.find_first_not_of(' ') == std::string::npos) return "''";
  return "'" + out + "'";
}

std::string DateLiteral(const Variant& v) {
  return "{ ts '" + FormatDate(v.ToDate()) + "'}";
}

}  // namespace

std::string HostText(std::string text) {
  for (char& c : text)
    if (c == '|') c = '\x1a';
  return text;
}

std::string SqlLiteral(const Variant& v, bool null_if_empty, int forced_type) {
  int t = forced_type != 0 ? forced_type : static_cast<int>(v.Type());
  if (v.IsNull() || v.IsEmpty()) {
    // A forced type does not make a missing value a value.
    if (t == 8 && !null_if_empty && v.IsEmpty()) return "''";
    return "NULL";
  }
  if (t < 2 || t > 11 || t == 9 || t == 10) return "NULL";
  try {
    if (t >= 2 && t <= 6) {
      if (null_if_empty) {
        int32_t as_long = v.IsNumeric() ? v.ToLong() : 0;
        if (as_long == 0) return "NULL";
      }
      if (forced_type == 2 || forced_type == 3) return std::to_string(v.ToLong());
      Variant number = v.Type() == VarType::String ? Variant(v.ToDouble()) : v;
      return number.ToText();
    }
    if (t == 7) return DateLiteral(v);
    if (t == 8) return TextLiteral(v.ToText(), null_if_empty);
    if (t == 11) return v.ToBool() ? "1" : "0";
  } catch (const Error& e) {
    throw Error(e.Number(), "modUtilities.SqlLiteral",
                "cannot write " + v.ToText() + " as an SQL value: " + e.Description());
  }
  return "NULL";
}

std::string Table(std::string_view name) {
  std::string out(kTableMarker);
  out += name;
  return out;
}

std::shared_ptr<Recordset> RecordsetOfTable(const Collection* rows, std::string_view table) {
  if (rows == nullptr) return nullptr;
  if (table.substr(0, kTableMarker.size()) == kTableMarker) table.remove_prefix(kTableMarker.size());
  return rows->Get<Recordset>(table);
}

}  // namespace qmxml::sql
