// Text matching and replacement as the stored-string conversions use it
// (view properties, query strings): replace every occurrence, with or
// without regard to letter case, and tests that ignore letter case.
#pragma once

#include <string>
#include <string_view>

namespace qmxml::frame {

// |text| with every occurrence of |find| replaced by |with|, scanning from
// the left and going on after each replacement. |ignore_case| compares
// ASCII letters without regard to case. An empty |find| changes nothing.
std::string ReplaceAll(std::string_view text, std::string_view find,
                       std::string_view with, bool ignore_case);
// Position of |find| in |text| from |from| on, ASCII case ignored; npos
// when absent.
size_t FindNoCase(std::string_view text, std::string_view find, size_t from = 0);
inline bool ContainsNoCase(std::string_view text, std::string_view find) {
  return FindNoCase(text, find) != std::string_view::npos;
}
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
// |text| without blanks (spaces) at either end: a view into |text|.
std::string_view TrimBlanks(std::string_view text);

}  // namespace qmxml::frame
