// One row that a reader inserts, built one column at a time. Project,
// document and requirement rows go in as one row each, every value taken
// through the literal rules of the readers (sql::SqlValue); each value is
// added together with its column, so that a column left out (an optional
// one the document does not carry) takes its value with it and the two
// lists always line up. The connection binds the values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "qmxml/Connection.h"
#include "qmxml/Variant.h"

namespace qmxml::movers {

class InsertValues {
 public:
  // |v| stored as it is.
  InsertValues& Value(std::string_view column, Variant v);
  // A key or count.
  InsertValues& Key(std::string_view column, int32_t key);
  // |v| by the literal rules (Null for an empty text or a zero number
  // when |null_if_empty| is set; |forced_type| as sql::SqlValue takes it).
  InsertValues& Literal(std::string_view column, const Variant& v, bool null_if_empty = false,
                        int forced_type = 0);
  // A Boolean as 1 or 0.
  InsertValues& Flag(std::string_view column, bool b);
  // A date-time text from a document. An empty text stands for a date
  // that was never set (a Null column on export) and goes in as Null; any
  // other text must read as a date, else Error 13.
  InsertValues& DateText(std::string_view column, std::string_view text);

  const std::vector<std::string>& Columns() const { return columns_; }
  const std::vector<Variant>& Values() const { return values_; }
  // Inserts the row into |table| (no marker) on |conn|.
  void InsertInto(Connection& conn, std::string_view table) const;

 private:
  std::vector<std::string> columns_;
  std::vector<Variant> values_;
};

}  // namespace qmxml::movers
