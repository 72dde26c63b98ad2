// Variant conversions, following the automation runtime: numbers from
// texts with blanks around, Booleans from "True"/"False" and numbers (-1 for
// True in numeric contexts), banker's rounding for Long, Null only to text.
#include "qmxml/Variant.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "qmxml/Collection.h"
#include "qmxml/Error.h"
#include "qmxml/Object.h"

namespace qmxml {
namespace {

[[noreturn]] void Mismatch() { throw Error(eErr_TypeMismatch, "", "Type mismatch"); }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// Reads a decimal number, blanks around allowed. Also "True"/"False".
bool ParseNumber(std::string_view text, double* out) {
  std::string_view t = Trim(text);
  if (t.empty()) return false;
  if (EqualsNoCase(t, "True")) return *out = -1, true;
  if (EqualsNoCase(t, "False")) return *out = 0, true;
  std::string buf(t);
  char* end = nullptr;
  double v = std::strtod(buf.c_str(), &end);
  if (end != buf.c_str() + buf.size()) return false;
  // strtod also reads "inf", "nan" and hex; the runtime does not.
  for (char c : buf) {
    if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+' ||
          c == 'e' || c == 'E'))
      return false;
  }
  *out = v;
  return true;
}

int32_t RoundToLong(double d) {
  double r = std::nearbyint(d);  // default rounding mode: half to even
  if (r < std::numeric_limits<int32_t>::min() || r > std::numeric_limits<int32_t>::max())
    throw Error(eErr_Overflow, "", "Overflow");
  return static_cast<int32_t>(r);
}

// A whole number as itself ("-0" for negative zero), any other with fifteen
// significant digits, as printf's "%.0f" and "%.15g" write them; to_chars
// gives the same text several times faster.
std::string NumberText(double d) {
  char buf[40];
  std::to_chars_result r;
  if (d == std::floor(d) && std::fabs(d) < 1e15) {
    if (d == 0 && std::signbit(d)) return "-0";
    r = std::to_chars(buf, buf + sizeof buf, static_cast<int64_t>(d));
  } else {
    r = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::general, 15);
  }
  return std::string(buf, r.ptr);
}

}  // namespace

Variant::Variant(int64_t i) {
  if (i >= std::numeric_limits<int32_t>::min() && i <= std::numeric_limits<int32_t>::max())
    v_ = static_cast<int32_t>(i);
  else
    v_ = static_cast<double>(i);
}

VarType Variant::Type() const {
  switch (v_.index()) {
    case 0: return VarType::Empty;
    case 1: return VarType::Null;
    case 2: return VarType::Integer;
    case 3: return VarType::Long;
    case 4: return VarType::Single;
    case 5: return VarType::Double;
    case 6: return VarType::Currency;
    case 7: return VarType::Date;
    case 8: return VarType::String;
    case 9: return VarType::Object;
    case 10: return VarType::Error;
    case 11: return VarType::Boolean;
    case 12: return VarType::ByteArray;
    default: return VarType::StringArray;
  }
}

bool Variant::IsNumeric() const {
  switch (Type()) {
    case VarType::Empty:
    case VarType::Integer:
    case VarType::Long:
    case VarType::Single:
    case VarType::Double:
    case VarType::Currency:
    case VarType::Boolean:
      return true;
    case VarType::String: {
      double d;
      return ParseNumber(*Text(), &d);
    }
    default:
      return false;
  }
}

double Variant::ToDouble() const {
  switch (Type()) {
    case VarType::Empty: return 0;
    case VarType::Integer: return std::get<int16_t>(v_);
    case VarType::Long: return std::get<int32_t>(v_);
    case VarType::Single: return std::get<float>(v_);
    case VarType::Double: return std::get<double>(v_);
    case VarType::Currency: return std::get<CurrencyValue>(v_).scaled / 10000.0;
    case VarType::Date: return std::get<DateValue>(v_).days;
    case VarType::Boolean: return std::get<bool>(v_) ? -1 : 0;
    case VarType::String: {
      double d;
      if (ParseNumber(*Text(), &d)) return d;
      DateValue date;
      if (ParseDate(*Text(), &date)) return date.days;
      Mismatch();
    }
    default:
      Mismatch();
  }
}

int32_t Variant::ToLong() const {
  if (Type() == VarType::Long) return std::get<int32_t>(v_);
  if (Type() == VarType::Integer) return std::get<int16_t>(v_);
  return RoundToLong(ToDouble());
}

bool Variant::ToBool() const {
  if (Type() == VarType::Boolean) return std::get<bool>(v_);
  if (Type() == VarType::String) {
    double d;
    if (!ParseNumber(*Text(), &d)) Mismatch();
    return d != 0;
  }
  return ToDouble() != 0;
}

std::string Variant::ToText() const {
  switch (Type()) {
    case VarType::Empty:
    case VarType::Null: return "";
    case VarType::Integer:
    case VarType::Long: return std::to_string(ToLong());
    case VarType::Single:
    case VarType::Double:
    case VarType::Currency: return NumberText(ToDouble());
    case VarType::Date: return FormatDate(std::get<DateValue>(v_));
    case VarType::String: return *Text();
    case VarType::Boolean: return std::get<bool>(v_) ? "True" : "False";
    case VarType::Error: return "Error " + std::to_string(std::get<ErrorValue>(v_).code);
    case VarType::ByteArray: {
      const auto& b = std::get<std::vector<uint8_t>>(v_);
      return std::string(b.begin(), b.end());
    }
    default:
      Mismatch();
  }
}

DateValue Variant::ToDate() const {
  if (Type() == VarType::Date) return std::get<DateValue>(v_);
  if (Type() == VarType::String) {
    DateValue d;
    if (ParseDate(*Text(), &d)) return d;
    Mismatch();
  }
  return DateValue{ToDouble()};
}

std::shared_ptr<Object> Variant::ToObject() const {
  if (auto p = std::get_if<std::shared_ptr<Object>>(&v_)) return *p;
  return nullptr;
}

// ---- UTF-16 counting over UTF-8 text ----

namespace {
// Length in bytes of the UTF-8 sequence starting with |lead|.
size_t SeqLen(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead >> 5) == 0x6) return 2;
  if ((lead >> 4) == 0xE) return 3;
  if ((lead >> 3) == 0x1E) return 4;
  return 1;  // stray byte: counts as one unit
}
}  // namespace

size_t Utf16Length(std::string_view s) {
  size_t units = 0;
  for (size_t i = 0; i < s.size();) {
    size_t n = SeqLen(static_cast<unsigned char>(s[i]));
    units += (n == 4) ? 2 : 1;
    i += n;
  }
  return units;
}

namespace {
// Byte offset of UTF-16 unit |units| (never inside a character).
size_t ByteOffset(std::string_view s, size_t units) {
  size_t i = 0, u = 0;
  while (i < s.size()) {
    size_t n = SeqLen(static_cast<unsigned char>(s[i]));
    size_t w = (n == 4) ? 2 : 1;
    if (u + w > units) break;
    u += w;
    i += n;
  }
  return std::min(i, s.size());
}
}  // namespace

std::string Utf16Prefix(std::string_view s, size_t units) {
  return std::string(s.substr(0, ByteOffset(s, units)));
}

std::string Utf16Suffix(std::string_view s, size_t start) {
  return std::string(s.substr(ByteOffset(s, start)));
}

// ---- dates ----

namespace {
// Days from 1899-12-30 to the civil date (proleptic Gregorian).
int64_t DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468 + 25569;  // 1970 -> 1899-12-30
}

void CivilFromDays(int64_t z, int* y, int* m, int* d) {
  z -= 25569;
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t yy = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *y = static_cast<int>(yy + (*m <= 2));
}
}  // namespace

DateValue MakeDate(int year, int month, int day, int hour, int minute, int second) {
  double days = static_cast<double>(DaysFromCivil(year, month, day));
  double frac = (hour * 3600 + minute * 60 + second) / 86400.0;
  // Dates before 1899-12-30 keep the time as a positive fraction in the
  // runtime's odd scheme; nothing here stores such dates.
  return DateValue{days + frac};
}

std::string FormatDate(DateValue dv) {
  double whole = std::floor(dv.days);
  int64_t secs = std::llround((dv.days - whole) * 86400.0);
  int64_t day = static_cast<int64_t>(whole);
  if (secs >= 86400) {
    secs -= 86400;
    ++day;
  }
  int y, m, d;
  CivilFromDays(day, &y, &m, &d);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, m, d,
                static_cast<int>(secs / 3600), static_cast<int>(secs / 60 % 60),
                static_cast<int>(secs % 60));
  return buf;
}

bool IsStampText(std::string_view text) {
  static constexpr std::string_view kShape = "0000-00-00 00:00:00";
  if (text.size() != kShape.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (kShape[i] == '0' ? !digit : text[i] != kShape[i]) return false;
  }
  return true;
}

namespace {

// The numbers of a text IsStampText accepts: the form every export writes
// and every database gives back, read without the scanner.
void ReadStampDigits(std::string_view text, int* y, int* mo, int* d, int* h, int* mi, int* s) {
  auto number = [&](size_t at, size_t width) {
    int n = 0;
    for (size_t i = at; i < at + width; ++i) n = n * 10 + (text[i] - '0');
    return n;
  };
  *y = number(0, 4), *mo = number(5, 2), *d = number(8, 2);
  *h = number(11, 2), *mi = number(14, 2), *s = number(17, 2);
}

}  // namespace

bool ParseDate(std::string_view text, DateValue* out) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  if (IsStampText(text)) {
    ReadStampDigits(text, &y, &mo, &d, &h, &mi, &s);
  } else {
    std::string t(Trim(text));
    char sep = 0;
    int n = 0;
    if (std::sscanf(t.c_str(), "%4d-%2d-%2d%c%2d:%2d:%2d%n", &y, &mo, &d, &sep, &h, &mi, &s,
                    &n) == 7 &&
        (sep == ' ' || sep == 'T') && static_cast<size_t>(n) == t.size()) {
    } else if (std::sscanf(t.c_str(), "%4d-%2d-%2d%n", &y, &mo, &d, &n) == 3 &&
               static_cast<size_t>(n) == t.size()) {
      h = mi = s = 0;
    } else if (std::sscanf(t.c_str(), "%2d:%2d:%2d%n", &h, &mi, &s, &n) == 3 &&
               static_cast<size_t>(n) == t.size()) {
      y = 1899, mo = 12, d = 30;
    } else {
      return false;
    }
  }
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59) return false;
  *out = MakeDate(y, mo, d, h, mi, s);
  return true;
}

}  // namespace qmxml
