// What every connection shares: choosing the kind of database from what the
// caller names, the connections open in this process, and the helpers built
// on the interface alone.
#include "qmxml/Connection.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>

#include "platform/postgres/PgConnection.h"
#include "platform/sqlite/SqliteConnection.h"
#include "qmxml/Collection.h"
#include "qmxml/Error.h"

namespace qmxml {
namespace {

// The connections open in this process by path, so that the host
// application opening a project of a database shares the session (and the
// open transaction) of whoever opened it first.
std::mutex& OpenConnectionsMutex() {
  static std::mutex m;
  return m;
}
std::map<std::string, std::weak_ptr<Connection>>& OpenConnections() {
  static std::map<std::string, std::weak_ptr<Connection>> open;
  return open;
}

std::atomic<long> statements_sent{0};
std::atomic<long> failing_statement{0};

}  // namespace

void Connection::FailStatementForTesting(long n) {
  failing_statement = n;
  statements_sent = 0;
}

long Connection::StatementsSent() { return statements_sent; }

void Connection::CountStatement(std::string_view what) const {
  const long n = ++statements_sent;
  if (n != failing_statement) return;
  throw Error(eErr_Database, "QmDataServices.Connection." + std::string(what),
              "Database " + ShownName() + ": statement " + std::to_string(n) +
                  " failed (a fault injected by a test)");
}

bool Connection::IsServerDatabase(std::string_view spec) {
  return spec.substr(0, 13) == "postgresql://" || spec.substr(0, 11) == "postgres://";
}

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Hides the value of every "password=" setting of |text|: a URL parameter
// (ended by "&" or "#") or a key/value setting (a word, or a quoted text
// with backslash escapes).
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

}  // namespace

std::string Connection::HidePassword(std::string_view spec) {
  std::string text(spec);
  if (!IsServerDatabase(spec)) return HidePasswordSettings(std::move(text), false);
  // postgresql://[user[:password]@]host[:port][/db][?param=value&...]
  const size_t start = text.find("://") + 3;
  const size_t authority_end = std::min(text.find_first_of("/?#", start), text.size());
  const size_t at = text.rfind('@', authority_end);
  if (at != std::string::npos && at >= start) {
    const size_t colon = text.find(':', start);
    if (colon < at) text.replace(colon + 1, at - colon - 1, "***");
  }
  const size_t query = text.find('?');
  if (query == std::string::npos) return text;
  return text.substr(0, query) + HidePasswordSettings(text.substr(query), true);
}

std::shared_ptr<Connection> Connection::Open(const std::string& spec, bool create,
                                             const std::string& pg_schema) {
  std::shared_ptr<Connection> conn = IsServerDatabase(spec) ? PgConnection::Open(spec, pg_schema)
                                                            : SqliteConnection::Open(spec, create);
  conn->SetShownName(HidePassword(spec));
  std::lock_guard<std::mutex> lock(OpenConnectionsMutex());
  auto& open = OpenConnections();
  for (auto it = open.begin(); it != open.end();)
    it = it->second.expired() ? open.erase(it) : std::next(it);
  open[spec] = conn;
  return conn;
}

std::shared_ptr<Connection> Connection::FindOpen(const std::string& path) {
  std::lock_guard<std::mutex> lock(OpenConnectionsMutex());
  auto it = OpenConnections().find(path);
  return it == OpenConnections().end() ? nullptr : it->second.lock();
}

std::string Connection::LookupValue(std::string_view sql, std::string_view column, long* found,
                                    int /*flags*/) {
  auto rs = Query(sql);
  if (found) *found = rs->IsEOF() ? 0 : 1;
  if (rs->IsEOF()) return "";
  return rs->Value(column).ToText();
}

long Connection::CountRows(std::string_view table) {
  return Scalar("SELECT COUNT(*) FROM " + std::string(kTableMarker) + std::string(table), {})
      .ToLong();
}

}  // namespace qmxml
