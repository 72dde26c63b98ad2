// Splitting INSERT texts into shape and values.
#include "platform/StatementShape.h"

#include <algorithm>
#include <cstdlib>

#include "qmxml/Collection.h"
#include "qmxml/Connection.h"

namespace qmxml {
namespace {

bool IsIdentChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A number literal at |i| (digits, one optional point, optional exponent).
size_t NumberEnd(std::string_view s, size_t i, bool* real) {
  size_t j = i;
  *real = false;
  while (j < s.size() && IsDigit(s[j])) ++j;
  if (j < s.size() && s[j] == '.') {
    *real = true;
    ++j;
    while (j < s.size() && IsDigit(s[j])) ++j;
  }
  if (j < s.size() && (s[j] == 'e' || s[j] == 'E')) {
    size_t k = j + 1;
    if (k < s.size() && (s[k] == '+' || s[k] == '-')) ++k;
    if (k < s.size() && IsDigit(s[k])) {
      *real = true;
      j = k;
      while (j < s.size() && IsDigit(s[j])) ++j;
    }
  }
  return j;
}

}  // namespace

bool SplitInsertShape(std::string_view sql, StatementShape* out) {
  size_t start = sql.find_first_not_of(" \t\r\n");
  if (start == std::string_view::npos || !EqualsNoCase(sql.substr(start, 6), "INSERT")) return false;
  out->text.clear();
  out->values.clear();
  out->text.reserve(sql.size());
  for (size_t i = 0; i < sql.size();) {
    char c = sql[i];
    if (c == '\'') {
      if (i > 0 && IsIdentChar(sql[i - 1])) return false;  // X'..' blobs and the like
      std::string value;
      size_t j = i + 1;
      for (;; ++j) {
        if (j >= sql.size()) return false;  // unterminated
        if (sql[j] == '\'') {
          if (j + 1 < sql.size() && sql[j + 1] == '\'') {
            value.push_back('\'');
            ++j;
            continue;
          }
          break;
        }
        value.push_back(sql[j]);
      }
      out->values.emplace_back(std::move(value));
      out->text.push_back('?');
      i = j + 1;
      continue;
    }
    if (c == '"' || c == '[' || c == '`') {  // quoted identifiers stay as they are
      char close = c == '[' ? ']' : c;
      size_t j = sql.find(close, i + 1);
      if (j == std::string_view::npos) return false;
      out->text.append(sql.substr(i, j + 1 - i));
      i = j + 1;
      continue;
    }
    bool starts_token = i == 0 || !IsIdentChar(sql[i - 1]);
    if (starts_token && IsDigit(c)) {
      bool real = false;
      size_t j = NumberEnd(sql, i, &real);
      if (j < sql.size() && IsIdentChar(sql[j])) return false;  // 12abc: not a plain number
      std::string digits(sql.substr(i, j - i));
      if (real || digits.size() > 18) {
        out->values.emplace_back(std::strtod(digits.c_str(), nullptr));
      } else {
        out->values.emplace_back(static_cast<int64_t>(std::strtoll(digits.c_str(), nullptr, 10)));
      }
      out->text.push_back('?');
      i = j;
      continue;
    }
    if (starts_token && (c == 'N' || c == 'n') && EqualsNoCase(sql.substr(i, 4), "NULL") &&
        (i + 4 >= sql.size() || !IsIdentChar(sql[i + 4]))) {
      out->values.emplace_back(Variant::Null());
      out->text.push_back('?');
      i += 4;
      continue;
    }
    out->text.push_back(c);
    ++i;
  }
  return true;
}

int DescriptorType(const Variant& d) {
  if (d.Type() == VarType::String) {
    const std::string& s = *d.Text();
    size_t semi = s.find(';');
    return std::atoi(s.c_str() + (semi == std::string::npos ? 0 : semi + 1));
  }
  return d.IsNumeric() ? d.ToLong() : 12;
}

Variant Coerce(const Variant& v, int type) {
  if (v.IsNull() || v.IsEmpty()) return Variant::Null();
  switch (type) {
    case 2:
    case 3:
      return Variant(v.ToLong());
    case 5:
      return Variant(v.ToDouble());
    case 8:
    case 129:
    case 130:
    case 200:
    case 201:
    case 202:
    case 203:
      return Variant(v.ToText());
    default:
      return v;  // variant and binary keep what they hold
  }
}

std::string RewriteStatement(std::string_view sql, std::string_view prefix, const char* number) {
  std::string out;
  out.reserve(sql.size() + 16);
  int placeholder = 0;
  for (size_t i = 0; i < sql.size();) {
    if (sql.compare(i, kTableMarker.size(), kTableMarker) == 0) {
      out.append(prefix);
      i += kTableMarker.size();
      continue;
    }
    if (sql[i] == '{') {
      // "{ ts 'YYYY-MM-DD HH:MM:SS'}" -> 'YYYY-MM-DD HH:MM:SS'
      size_t j = i + 1;
      while (j < sql.size() && sql[j] == ' ') ++j;
      if (sql.compare(j, 2, "ts") == 0) {
        size_t q1 = sql.find('\'', j);
        size_t q2 = q1 == std::string_view::npos ? q1 : sql.find('\'', q1 + 1);
        size_t close = q2 == std::string_view::npos ? q2 : sql.find('}', q2);
        if (close != std::string_view::npos) {
          out.append(sql.substr(q1, q2 - q1 + 1));
          i = close + 1;
          continue;
        }
      }
    }
    if (sql[i] == '\'') {  // a literal is copied whole
      size_t j = i + 1;
      while (j < sql.size()) {
        if (sql[j] == '\'' && j + 1 < sql.size() && sql[j + 1] == '\'') {
          j += 2;
          continue;
        }
        if (sql[j] == '\'') break;
        ++j;
      }
      out.append(sql.substr(i, j + 1 - i));
      i = j + 1;
      continue;
    }
    if (number != nullptr && sql[i] == '?') {
      // "?" takes the next number; "?N" names parameter N (and the next
      // plain "?" follows the largest named so far), as SQLite counts them.
      size_t j = i + 1;
      while (j < sql.size() && sql[j] >= '0' && sql[j] <= '9') ++j;
      const int n = j > i + 1 ? std::atoi(std::string(sql.substr(i + 1, j - i - 1)).c_str())
                              : placeholder + 1;
      placeholder = std::max(placeholder, n);
      out += number + std::to_string(n);
      i = j;
      continue;
    }
    out.push_back(sql[i++]);
  }
  return out;
}

}  // namespace qmxml
