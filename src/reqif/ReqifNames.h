// What the ReqIF export and import share: how identifiers are made from
// GUIDs and read back, the attribute names other tools agree on, and the
// time stamps of the format.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace qmxml::reqif {

inline constexpr const char* kNamespace =
    "http://www.omg.org/spec/ReqIF/20110401/reqif.xsd";
inline constexpr const char* kXhtmlNamespace = "http://www.w3.org/1999/xhtml";

// The attribute names ReqIF tools agree on (LONG-NAME of the definitions).
inline constexpr const char* kForeignId = "ReqIF.ForeignID";
inline constexpr const char* kName = "ReqIF.Name";
inline constexpr const char* kText = "ReqIF.Text";
inline constexpr const char* kChapterName = "ReqIF.ChapterName";
inline constexpr const char* kDescription = "ReqIF.Description";

// Data types of attributes, as stored in qmUserDefinedFields.DataType.
namespace field_type {
enum : int32_t { kList = 0, kText = 1, kInteger = 2, kReal = 3, kDate = 4, kTime = 5, kMulti = 10 };
}  // namespace field_type

// The identifiers of the data types every export holds. The time-of-day
// type is a string type of its own, so that an import gives such
// attributes back their data type.
inline constexpr const char* kStringType = "_qmxml-string";
inline constexpr const char* kXhtmlType = "_qmxml-xhtml";
inline constexpr const char* kIntegerType = "_qmxml-integer";
inline constexpr const char* kRealType = "_qmxml-real";
inline constexpr const char* kDateType = "_qmxml-date";
inline constexpr const char* kTimeType = "_qmxml-time";
// Relation types: this prefix and the trace type number.
inline constexpr const char* kTraceTypePrefix = "_qmxml-trace-type-";

// "_" and the hex digits of |guid| as they stand, "" when |guid| is not a
// GUID. Such an identifier is a valid XML ID and gives the GUID back.
std::string IdOfGuid(std::string_view guid);
// Identifiers joining two elements (a hierarchy node, an attribute of a
// type): "_<hex of a>_<hex of b>".
std::string IdOfPair(std::string_view guid_a, std::string_view guid_b);
// The GUID |id| was made from by IdOfGuid ("{8-4-4-4-12}" in the case of
// its digits), or "" when it was not.
std::string GuidOfId(std::string_view id);
// The GUID of the second element of an IdOfPair identifier, or "".
std::string SecondGuidOfPair(std::string_view id);
// A name-based (SHA-1, version 5) UUID of |name|, as "{8-4-4-4-12}" in upper
// case: the same name always gives the same GUID.
std::string NameBasedGuid(std::string_view name);

// A stored date-time "YYYY-MM-DD HH:MM:SS" (or a date alone) as xsd:dateTime
// "YYYY-MM-DDTHH:MM:SS"; "" when |stored| is not of that form.
std::string IsoDateTime(std::string_view stored);
// An xsd:dateTime as stored, "YYYY-MM-DD HH:MM:SS" (fraction and zone
// dropped); "" when |iso| is not one.
std::string StoredDateTime(std::string_view iso);
// Whether |text| is an xsd:integer within 32 bits, an xsd:double (as
// decimal or exponent form; INF and NaN are not taken).
bool IsInteger(std::string_view text);
bool IsReal(std::string_view text);

// Now, or SOURCE_DATE_EPOCH when set; CreationTime as xsd:dateTime in UTC.
std::time_t CreationEpoch();
std::string CreationTime();

}  // namespace qmxml::reqif
