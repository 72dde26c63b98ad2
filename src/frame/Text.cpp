// Text matching and replacement for the stored-string conversions.
#include "frame/Text.h"

namespace qmxml::frame {
namespace {

char Fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameAt(std::string_view text, size_t at, std::string_view find, bool ignore_case) {
  if (text.size() - at < find.size()) return false;
  for (size_t i = 0; i < find.size(); ++i) {
    char a = text[at + i], b = find[i];
    if (ignore_case ? Fold(a) != Fold(b) : a != b) return false;
  }
  return true;
}

size_t Find(std::string_view text, std::string_view find, size_t from, bool ignore_case) {
  if (find.empty() || from > text.size()) return std::string_view::npos;
  for (size_t at = from; at + find.size() <= text.size(); ++at)
    if (SameAt(text, at, find, ignore_case)) return at;
  return std::string_view::npos;
}

}  // namespace

std::string ReplaceAll(std::string_view text, std::string_view find,
                       std::string_view with, bool ignore_case) {
  if (find.empty()) return std::string(text);
  std::string out;
  size_t from = 0;
  for (size_t at; (at = Find(text, find, from, ignore_case)) != std::string_view::npos;
       from = at + find.size()) {
    out.append(text.substr(from, at - from));
    out.append(with);
  }
  out.append(text.substr(from));
  return out;
}

size_t FindNoCase(std::string_view text, std::string_view find, size_t from) {
  return Find(text, find, from, true);
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return SameAt(text, 0, prefix, true);
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

}  // namespace qmxml::frame
