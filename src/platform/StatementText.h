// SQL text of the movers as a database takes it, and the descriptors of
// named commands. Values never travel inside statement text: readers hand
// them to the connection, which binds them; what remains as text are
// fixed statements with "?" placeholders and one-off statements.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "qmxml/Variant.h"

namespace qmxml {

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
