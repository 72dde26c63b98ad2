// Value lists of SQL-text inserts.
#include "movers/definition/InsertValues.h"

#include "sql/SqlText.h"

namespace qmxml::movers {

void InsertValues::Append(const std::string& literal) {
  if (any_) text_ += ", ";
  text_ += literal;
  any_ = true;
}

InsertValues& InsertValues::Key(int32_t key) {
  Append(std::to_string(key));
  return *this;
}

InsertValues& InsertValues::Literal(const Variant& v, bool null_if_empty,
                                    int forced_type) {
  Append(sql::SqlLiteral(v, null_if_empty, forced_type));
  return *this;
}

InsertValues& InsertValues::Flag(bool b) {
  Append(b ? "1" : "0");
  return *this;
}

InsertValues& InsertValues::DateText(std::string_view text) {
  if (text.find_first_not_of(' ') == std::string_view::npos) {
    Append("NULL");
    return *this;
  }
  Append(sql::SqlLiteral(Variant(text), false, static_cast<int>(VarType::Date)));
  return *this;
}

}  // namespace qmxml::movers
