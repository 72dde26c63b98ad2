// A row of a record set as one comparable line, for the definition mover
// tests that check a whole inserted row at once.
#pragma once

#include <string>

#include "qmxml/Recordset.h"

namespace qmxml::testing {

// The columns after the first (the key), each followed by "|", with NULL
// for a Null value.
inline std::string RowText(const Recordset& r) {
  std::string out;
  for (size_t c = 1; c < r.Columns().size(); ++c) {
    Variant v = r.ValueAt(static_cast<int>(c));
    out += (v.IsNull() ? std::string("NULL") : v.ToText()) + "|";
  }
  return out;
}

}  // namespace qmxml::testing
