// The value rules in both directions (database column to attribute text,
// attribute to stored value), the code-name tables and small text helpers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include <pugixml.hpp>

#include "qmxml/Collection.h"
#include "qmxml/Recordset.h"
#include "qmxml/Variant.h"

namespace qmxml::xml {

// Value types of the column and attribute rules (ADO type numbers).
enum ValueType : int { kInteger = 2, kLong = 3, kDouble = 5, kString = 8, kBoolean = 11 };

// Database to XML: the value of |field| for value type |type|.
Variant ColumnValue(const Field& field, int type);
// Text of a column by the text rule (Null -> "", trailing code 0 dropped,
// else blanks around removed).
std::string ColumnText(const Recordset& rs, std::string_view column);
// Sets attribute |name| of |element| to ColumnText(rs, column) without
// copying the stored text first: writers do this for every attribute of
// every row.
void SetColumnAttr(pugi::xml_node element, const char* name, const Recordset& rs,
                   std::string_view column);
// The same for the column at index |field| of |rs| (-1: missing) by the
// rule of |type|: kString the text rule, kLong the whole number ("0" for
// Null), kBoolean "True" or "False".
void SetColumnAttr(pugi::xml_node element, const char* name, const Recordset& rs,
                   int field, int type);
// The text SetColumnAttr sets, held in |scratch| where it is not the
// stored text itself.
std::string_view ColumnAttrText(const Recordset& rs, int field, int type, std::string& scratch);
// A column as the whole-number text a writer puts in an attribute ("0"
// for Null).
std::string ColumnNumber(const Recordset& rs, std::string_view column);
// A column as "True" or "False" (BooleanWord of its Boolean value).
std::string ColumnWord(const Recordset& rs, std::string_view column);
// XML to database: the value of |attr| (may be empty) for value type |type|.
Variant AttributeValue(pugi::xml_attribute attr, int type);
// "True" when |v| converts to True, else "False" (also when it does not
// convert).
std::string BooleanWord(const Variant& v);

std::string ColorName(int32_t code);
std::string StyleName(int32_t code);
std::string DataTypeName(int32_t code);

// ---- text helpers ----

// Each line feed not already preceded by a carriage return becomes CR LF:
// the XML layer keeps a stored CR LF intact, and text that arrives with
// bare line feeds gets the line ends the database stores.
std::string LineEnds(std::string_view text);
// Tokens of |text| split at |delimiter|, upper case, blanks around removed,
// empty ones dropped. nullptr (Nothing) for empty text or delimiter.
std::shared_ptr<Collection> ListSplitter(std::string_view text, std::string_view delimiter);
// |text| without its first two characters when it holds anything but
// blanks; else unchanged.
std::string CutFirstTwo(std::string_view text);
}  // namespace qmxml::xml
