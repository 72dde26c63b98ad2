// Variant: the loosely typed value that flows between record sets, the XML
// layer and SQL text. It follows the automation runtime's rules, because the
// movers' behaviour is defined in those terms: a Null column is not an empty
// text, "True" converts to a Boolean, a numeric text converts to a Long with
// banker's rounding, and so on.
//
// Text is held as UTF-8. Where the data model counts characters the way the
// host does (UTF-16 code units), use Utf16Length().
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace qmxml {

class Object;

// Value type numbers, as the automation runtime numbers them.
enum class VarType : int {
  Empty = 0,
  Null = 1,
  Integer = 2,   // 16-bit
  Long = 3,      // 32-bit
  Single = 4,
  Double = 5,
  Currency = 6,  // fixed point, 4 decimals
  Date = 7,      // days since 1899-12-30, time as the fraction
  String = 8,
  Object = 9,
  Error = 10,
  Boolean = 11,
  ByteArray = 8209,    // array of bytes
  StringArray = 8200,  // array of texts
};

// A date as the runtime holds it: days since 30 December 1899.
struct DateValue {
  double days = 0;
  bool operator==(const DateValue&) const = default;
};

struct NullValue {
  bool operator==(const NullValue&) const = default;
};
struct ErrorValue {
  int32_t code = 0;
  bool operator==(const ErrorValue&) const = default;
};
struct CurrencyValue {
  int64_t scaled = 0;  // value * 10000
  bool operator==(const CurrencyValue&) const = default;
};

class Variant {
 public:
  Variant() = default;
  Variant(NullValue) : v_(NullValue{}) {}
  Variant(int16_t i) : v_(i) {}
  Variant(int32_t i) : v_(i) {}
  Variant(int64_t i);  // stored as Long when it fits, else Double
  Variant(float f) : v_(f) {}
  Variant(double d) : v_(d) {}
  Variant(CurrencyValue c) : v_(c) {}
  Variant(DateValue d) : v_(d) {}
  Variant(bool b) : v_(b) {}
  Variant(std::string s) : v_(std::move(s)) {}
  Variant(std::string_view s) : v_(std::string(s)) {}
  Variant(const char* s) : v_(std::string(s)) {}
  Variant(ErrorValue e) : v_(e) {}
  Variant(std::shared_ptr<Object> o) : v_(std::move(o)) {}
  Variant(std::vector<uint8_t> bytes) : v_(std::move(bytes)) {}
  Variant(std::vector<std::string> lines) : v_(std::move(lines)) {}

  static Variant Null() { return Variant(NullValue{}); }

  VarType Type() const;
  bool IsEmpty() const { return Type() == VarType::Empty; }
  bool IsNull() const { return Type() == VarType::Null; }
  bool IsObject() const { return Type() == VarType::Object; }

  // True when the value converts to a number: numbers, Booleans, dates, and
  // texts that read as a number (blanks around allowed).
  bool IsNumeric() const;

  // Conversions as the runtime does them. They throw Error 13 ("Type
  // mismatch") where the runtime would; Null converts only to text ("").
  int32_t ToLong() const;
  double ToDouble() const;
  bool ToBool() const;
  std::string ToText() const;
  DateValue ToDate() const;

  // The object held, or nullptr for any other value.
  std::shared_ptr<Object> ToObject() const;
  template <class T>
  std::shared_ptr<T> As() const {
    return std::dynamic_pointer_cast<T>(ToObject());
  }

  const std::vector<uint8_t>* Bytes() const { return std::get_if<std::vector<uint8_t>>(&v_); }
  const std::vector<std::string>* Lines() const {
    return std::get_if<std::vector<std::string>>(&v_);
  }
  const std::string* Text() const { return std::get_if<std::string>(&v_); }

  bool operator==(const Variant& other) const { return v_ == other.v_; }

 private:
  std::variant<std::monostate, NullValue, int16_t, int32_t, float, double, CurrencyValue,
               DateValue, std::string, std::shared_ptr<Object>, ErrorValue, bool,
               std::vector<uint8_t>, std::vector<std::string>>
      v_;
};

// Text helpers for counts the host makes in UTF-16 code units.
size_t Utf16Length(std::string_view utf8);
// The longest prefix of |utf8| that holds at most |units| UTF-16 code units,
// never cutting a character in two.
std::string Utf16Prefix(std::string_view utf8, size_t units);
// |utf8| from UTF-16 unit |start| on.
std::string Utf16Suffix(std::string_view utf8, size_t start);

// Date helpers. Text forms read: "YYYY-MM-DD", "YYYY-MM-DD HH:MM:SS",
// "YYYY-MM-DDTHH:MM:SS", "HH:MM:SS". Returns false when |text| is none of them.
bool ParseDate(std::string_view text, DateValue* out);
// True when |text| is "YYYY-MM-DD HH:MM:SS" exactly, digits where digits
// belong (the form dates are written in; the values are not checked).
bool IsStampText(std::string_view text);
DateValue MakeDate(int year, int month, int day, int hour = 0, int minute = 0,
                   int second = 0);
// "YYYY-MM-DD HH:MM:SS".
std::string FormatDate(DateValue d);

}  // namespace qmxml
