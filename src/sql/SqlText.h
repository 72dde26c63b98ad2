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

// The value the database stores for |v| under the literal rules of the
// readers: |null_if_empty| turns an empty text or a zero number into Null;
// |forced_type| (a VarType number, 0 = the value's own type) reads the
// value as that type first (7 reads a date text as a date, 3 a text as a
// Long). Texts get "|" as the character 26, a quote pair as one quote and
// blanks only as ""; Booleans become 1 or 0; numbers a Long when whole.
// Readers bind this value; the connection stores it as it is.
Variant SqlValue(const Variant& v, bool null_if_empty = false, int forced_type = 0);

// |stored| (a value SqlValue gives) written as SQL literal text: NULL,
// plain numbers, "{ ts 'YYYY-MM-DD HH:MM:SS'}" for dates, quoted text with
// each quote doubled. For messages, -v output and one-off statements.
std::string LiteralText(const Variant& stored);

// The literal of |v|: LiteralText(SqlValue(v, null_if_empty, forced_type)).
std::string SqlLiteral(const Variant& v, bool null_if_empty = false, int forced_type = 0);

// |text| as the host stores it: every "|" as the character with code 26.
// SqlValue applies this to every text; readers that store a text through
// a record set instead apply it themselves, so that a text comes back the
// same whichever way it was stored (exports write code 26 as "|").
std::string HostText(std::string text);

// |name| with the table-name marker in front.
std::string Table(std::string_view name);

// The record set the caller handed in for the marker-prefixed |table|, or
// nullptr when there is no collection or no such item.
std::shared_ptr<Recordset> RecordsetOfTable(const Collection* rows, std::string_view table);

}  // namespace qmxml::sql
