// The value list of an INSERT statement that a reader builds as SQL text.
// Project and document rows go in as one statement each, with every value
// formatted by the SQL literal routine; this collects those literals in
// column order and joins them the way the statements expect (", ").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "qmxml/Variant.h"

namespace qmxml::movers {

class InsertValues {
 public:
  // A key or count written as plain decimal.
  InsertValues& Key(int32_t key);
  // |v| by the literal routine (NULL for an empty text or a zero number
  // when |null_if_empty| is set; |forced_type| as the routine takes it).
  InsertValues& Literal(const Variant& v, bool null_if_empty = false,
                        int forced_type = 0);
  // A Boolean as 1 or 0.
  InsertValues& Flag(bool b);
  // A date-time text from a document, as a timestamp literal. An empty
  // text stands for a date that was never set (a Null column on export)
  // and goes in as NULL; any other text must read as a date, else Error 13.
  InsertValues& DateText(std::string_view text);

  // The literals joined by ", ".
  const std::string& Text() const { return text_; }

 private:
  void Append(const std::string& literal);
  std::string text_;
  bool any_ = false;
};

}  // namespace qmxml::movers
