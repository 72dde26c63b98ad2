// The kinds of project database, and what their backends share: finding
// the kind a text names, the project tables, and hiding passwords.
#include "platform/Backend.h"

#include <algorithm>

#include "qmxml/Collection.h"
#include "qmxml/Connection.h"

namespace qmxml {

const Backend& BackendFor(std::string_view text) {
  // The file kind takes any text, so it is asked last.
  for (const Backend* kind : {&PostgresBackend(), &SqliteBackend()})
    if (kind->Names(text)) return *kind;
  return SqliteBackend();
}

const Backend& BackendOf(const Connection& conn) { return BackendFor(conn.Path()); }

bool HoldsProjectTables(Connection& conn) {
  for (const std::string& t : conn.Tables())
    if (EqualsNoCase(t, "qmProjects")) return true;
  return false;
}

std::map<std::string, std::string> DeclaredTables(const std::string& script) {
  std::map<std::string, std::string> names;
  const std::string head = "CREATE TABLE IF NOT EXISTS ";
  for (size_t at = script.find(head); at != std::string::npos; at = script.find(head, at + 1)) {
    const size_t start = at + head.size();
    const std::string name = script.substr(start, script.find_first_of(" (", start) - start);
    names.emplace(FoldCase(name), name);
  }
  return names;
}

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

}  // namespace

std::string HidePasswordSettings(std::string text, bool url) {
  static constexpr std::string_view kKey = "PASSWORD";  // as FoldCase writes it
  for (size_t at = 0; (at = FoldCase(text).find(kKey, at)) != std::string::npos; at += kKey.size()) {
    const bool word_start = at == 0 || IsBlank(text[at - 1]) || text[at - 1] == '?' ||
                            text[at - 1] == '&';
    size_t eq = at + kKey.size();
    while (!url && eq < text.size() && IsBlank(text[eq])) ++eq;
    if (!word_start || eq >= text.size() || text[eq] != '=') continue;
    size_t begin = eq + 1;
    while (!url && begin < text.size() && IsBlank(text[begin])) ++begin;
    size_t end = begin;
    if (url) {
      while (end < text.size() && text[end] != '&' && text[end] != '#') ++end;
    } else if (end < text.size() && text[end] == '\'') {
      for (++end; end < text.size() && text[end] != '\''; ++end)
        if (text[end] == '\\') ++end;
      end = std::min(end + 1, text.size());
    } else {
      while (end < text.size() && !IsBlank(text[end])) ++end;
    }
    text.replace(begin, end - begin, "***");
  }
  return text;
}

}  // namespace qmxml
