// Rows built from column and value pairs.
#include "movers/definition/InsertValues.h"

#include "sql/SqlText.h"

namespace qmxml::movers {

InsertValues& InsertValues::Value(std::string_view column, Variant v) {
  columns_.emplace_back(column);
  values_.push_back(std::move(v));
  return *this;
}

InsertValues& InsertValues::Key(std::string_view column, int32_t key) {
  return Value(column, Variant(key));
}

InsertValues& InsertValues::Literal(std::string_view column, const Variant& v,
                                    bool null_if_empty, int forced_type) {
  return Value(column, sql::SqlValue(v, null_if_empty, forced_type));
}

InsertValues& InsertValues::Flag(std::string_view column, bool b) {
  return Value(column, Variant(int32_t{b ? 1 : 0}));
}

InsertValues& InsertValues::DateText(std::string_view column, std::string_view text) {
  if (text.find_first_not_of(' ') == std::string_view::npos) return Value(column, Variant::Null());
  return Literal(column, Variant(text), false, static_cast<int>(VarType::Date));
}

void InsertValues::InsertInto(Connection& conn, std::string_view table) const {
  conn.InsertRow(table, columns_, values_);
}

}  // namespace qmxml::movers
