// INSERT statements built from column and value pairs.
#include "movers/definition/InsertValues.h"

#include "sql/SqlText.h"

namespace qmxml::movers {

InsertValues& InsertValues::Sql(std::string_view column, std::string_view sql) {
  if (!columns_.empty()) {
    columns_ += ", ";
    values_ += ", ";
  }
  columns_ += column;
  values_ += sql;
  return *this;
}

InsertValues& InsertValues::Key(std::string_view column, int32_t key) {
  return Sql(column, std::to_string(key));
}

InsertValues& InsertValues::Literal(std::string_view column, const Variant& v,
                                    bool null_if_empty, int forced_type) {
  return Sql(column, sql::SqlLiteral(v, null_if_empty, forced_type));
}

InsertValues& InsertValues::Flag(std::string_view column, bool b) {
  return Sql(column, b ? "1" : "0");
}

InsertValues& InsertValues::DateText(std::string_view column, std::string_view text) {
  if (text.find_first_not_of(' ') == std::string_view::npos) return Sql(column, "NULL");
  return Sql(column, sql::SqlLiteral(Variant(text), false, static_cast<int>(VarType::Date)));
}

std::string InsertValues::Statement(std::string_view table) const {
  return "Insert Into " + std::string(table) + "(" + columns_ + ") Values ( " + values_ + ")";
}

}  // namespace qmxml::movers
