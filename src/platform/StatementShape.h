// Statement shapes: an INSERT sent as SQL text with its values written in
// as literals is split into its shape (the text with every literal replaced
// by "?") and the values. Readers send one such text per row; preparing the
// shape once and binding the values makes the database layer pay the SQL
// parse once per shape instead of once per row, while the movers keep
// sending exactly the text they build.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "qmxml/Variant.h"

namespace qmxml {

struct StatementShape {
  std::string text;             // the statement with "?" for each literal
  std::vector<Variant> values;  // the literals in order: Long/Double/text/Null
};

// Splits an INSERT statement. False (and |out| unspecified) for any other
// statement, or for text it does not fully understand (blob literals,
// unterminated quotes): the caller then runs the text as it is.
bool SplitInsertShape(std::string_view sql, StatementShape* out);

// SQL text of the movers as a database takes it: the table-name marker
// becomes |prefix| (nothing, or a schema and "."), "{ ts '...'}" date
// literals become the stored text, and with |number| ("$") every "?"
// outside a literal becomes |number| and its position ("?N" keeps N, and a
// plain "?" after it follows the largest so far, as SQLite counts them).
// Literals are copied whole, so a marker or "?" inside one stays text.
std::string RewriteStatement(std::string_view sql, std::string_view prefix, const char* number);

// The type code of a named command's placeholder descriptor: a type code
// or "size;type" (12, variant, when it is neither).
int DescriptorType(const Variant& descriptor);
// |v| as the placeholder of type code |type| takes it: Long, Double or text;
// Null stays Null; variant and binary placeholders keep what |v| holds.
Variant Coerce(const Variant& v, int type);

}  // namespace qmxml
