// Rewriting statement text and coercing command values.
#include "platform/StatementText.h"

#include <algorithm>
#include <cstdlib>

#include "qmxml/Collection.h"
#include "qmxml/Connection.h"

namespace qmxml {
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
