// An INSERT statement that a reader builds as SQL text, one column at a
// time. Project, document and requirement rows go in as one statement each,
// with every value formatted by the SQL literal routine; each value is added
// together with its column, so that a column left out (an optional one the
// document does not carry) takes its value with it and the two lists always
// line up.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "qmxml/Variant.h"

namespace qmxml::movers {

class InsertValues {
 public:
  // |sql| as it stands: a value the caller has already written as SQL.
  InsertValues& Sql(std::string_view column, std::string_view sql);
  // A key or count written as plain decimal.
  InsertValues& Key(std::string_view column, int32_t key);
  // |v| by the literal routine (NULL for an empty text or a zero number
  // when |null_if_empty| is set; |forced_type| as the routine takes it).
  InsertValues& Literal(std::string_view column, const Variant& v, bool null_if_empty = false,
                        int forced_type = 0);
  // A Boolean as 1 or 0.
  InsertValues& Flag(std::string_view column, bool b);
  // A date-time text from a document, as a timestamp literal. An empty
  // text stands for a date that was never set (a Null column on export)
  // and goes in as NULL; any other text must read as a date, else Error 13.
  InsertValues& DateText(std::string_view column, std::string_view text);

  // "Insert Into <table>(<columns>) Values ( <values>)", both lists joined
  // by ", " in the order the columns were added; |table| as sql::Table
  // gives it.
  std::string Statement(std::string_view table) const;

 private:
  std::string columns_;
  std::string values_;
};

}  // namespace qmxml::movers
