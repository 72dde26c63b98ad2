// SQL text as the readers build it: the one routine that turns a value into
// a literal, table names with the marker in front, and the lookup of the
// caller's record set for a table.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "qmxml/Collection.h"
#include "qmxml/Connection.h"
#include "qmxml/Recordset.h"
#include "qmxml/Variant.h"

namespace qmxml::sql {

// The literal of |v|. |null_if_empty| turns an empty text or a zero number
// into NULL; |forced_type| (a VarType number, 0 = the value's own type)
// reads the value as that type first: 7 formats a date text as a timestamp
// literal, 3 reads a text as a Long.
std::string SqlLiteral(const Variant& v, bool null_if_empty = false, int forced_type = 0);

// |text| as the host stores it: every "|" as the character with code 26.
// SqlLiteral applies this to every text; readers that store a text through
// a record set instead apply it themselves, so that a text comes back the
// same whichever way it was stored (exports write code 26 as "|").
std::string HostText(std::string text);

// |name| with the table-name marker in front.
std::string Table(std::string_view name);

// The record set the caller handed in for the marker-prefixed |table|, or
// nullptr when there is no collection or no such item.
std::shared_ptr<Recordset> RecordsetOfTable(const Collection* rows, std::string_view table);

}  // namespace qmxml::sql
