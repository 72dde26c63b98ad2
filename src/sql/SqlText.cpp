// SQL literals and table names.
#include "sql/SqlText.h"

#include <cstdlib>

#include "qmxml/Error.h"

namespace qmxml::sql {
namespace {

// A text as the database stores it once its literal is read back: "|" as
// the character 26, each quote (a pair of quotes counts as one, written
// that way by hand) a single quote, and a text of blanks only empty.
Variant TextValue(std::string text, bool null_if_empty) {
  if (null_if_empty && text.empty()) return Variant::Null();
  text = HostText(std::move(text));
  if (text.find_first_not_of(' ') == std::string::npos) return Variant(std::string());
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    out.push_back(text[i]);
    if (text[i] == '\'' && i + 1 < text.size() && text[i + 1] == '\'') ++i;
  }
  return Variant(std::move(out));
}

// A number as its plain text form reads back: a whole number when the
// text has neither a point nor an exponent, else a double.
Variant NumberValue(const std::string& text) {
  if (text.find_first_of(".eE") == std::string::npos && text.size() <= 18)
    return Variant(static_cast<int64_t>(std::strtoll(text.c_str(), nullptr, 10)));
  return Variant(std::strtod(text.c_str(), nullptr));
}

}  // namespace

std::string HostText(std::string text) {
  for (char& c : text)
    if (c == '|') c = '\x1a';
  return text;
}

Variant SqlValue(const Variant& v, bool null_if_empty, int forced_type) {
  int t = forced_type != 0 ? forced_type : static_cast<int>(v.Type());
  if (v.IsNull() || v.IsEmpty()) {
    // A forced type does not make a missing value a value.
    if (t == 8 && !null_if_empty && v.IsEmpty()) return Variant(std::string());
    return Variant::Null();
  }
  if (t < 2 || t > 11 || t == 9 || t == 10) return Variant::Null();
  try {
    if (t >= 2 && t <= 6) {
      if (null_if_empty) {
        int32_t as_long = v.IsNumeric() ? v.ToLong() : 0;
        if (as_long == 0) return Variant::Null();
      }
      if (forced_type == 2 || forced_type == 3) return Variant(v.ToLong());
      Variant number = v.Type() == VarType::String ? Variant(v.ToDouble()) : v;
      return NumberValue(number.ToText());
    }
    if (t == 7) return Variant(v.ToDate());
    if (t == 8) return TextValue(v.ToText(), null_if_empty);
    if (t == 11) return Variant(int32_t{v.ToBool() ? 1 : 0});
  } catch (const Error& e) {
    throw Error(e.Number(), "modUtilities.SqlLiteral",
                "cannot write " + v.ToText() + " as an SQL value: " + e.Description());
  }
  return Variant::Null();
}

std::string LiteralText(const Variant& stored) {
  if (stored.IsNull() || stored.IsEmpty()) return "NULL";
  if (stored.Type() == VarType::Date) return "{ ts '" + FormatDate(stored.ToDate()) + "'}";
  if (stored.Type() == VarType::Boolean) return stored.ToBool() ? "1" : "0";
  if (stored.IsNumeric() && stored.Type() != VarType::String) return stored.ToText();
  std::string out = "'";
  for (char c : stored.ToText()) {
    if (c == '\'') out.push_back('\'');
    out.push_back(c);
  }
  return out + "'";
}

std::string SqlLiteral(const Variant& v, bool null_if_empty, int forced_type) {
  return LiteralText(SqlValue(v, null_if_empty, forced_type));
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
