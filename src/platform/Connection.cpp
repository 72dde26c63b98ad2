// Connection over SQLite: statement execution with the marker and date
// literal rewritten, queries into record sets, named commands as prepared
// statements, key-table allocation and transactions for the caller.
#include "qmxml/Connection.h"

#include <map>
#include <mutex>

#include <sqlite3.h>

#include <cstring>

#include "platform/StatementShape.h"
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


// Prepared statements kept per connection (fixed-shape statements and the
// shapes of INSERT texts); past this, texts are prepared for one use.
constexpr size_t kMaxCachedStatements = 512;

[[noreturn]] void DbError(sqlite3* db, std::string_view what, std::string_view sql) {
  std::string text = sqlite3_errmsg(db);
  std::string shown(sql.substr(0, 300));
  for (char& c : shown)
    if (static_cast<unsigned char>(c) < 32) c = ' ';
  throw Error(eErr_Database, "QmDataServices.Connection." + std::string(what),
              text + (shown.empty() ? "" : " [" + shown + (sql.size() > 300 ? "..." : "") + "]"));
}

VarType TypeOfDecl(const char* decl) {
  if (decl == nullptr) return VarType::Empty;  // decided per value
  std::string d = FoldCase(decl);
  if (d.find("BOOL") != std::string::npos) return VarType::Boolean;
  if (d.find("DATE") != std::string::npos || d.find("TIME") != std::string::npos)
    return VarType::Date;
  if (d.find("INT") != std::string::npos) return VarType::Long;
  if (d.find("REAL") != std::string::npos || d.find("FLOA") != std::string::npos ||
      d.find("DOUB") != std::string::npos)
    return VarType::Double;
  if (d.find("BLOB") != std::string::npos) return VarType::ByteArray;
  return VarType::String;
}

Variant ReadColumn(sqlite3_stmt* st, int i, VarType declared) {
  switch (sqlite3_column_type(st, i)) {
    case SQLITE_NULL:
      return Variant::Null();
    case SQLITE_INTEGER: {
      sqlite3_int64 v = sqlite3_column_int64(st, i);
      if (declared == VarType::Boolean) return Variant(v != 0);
      return Variant(static_cast<int64_t>(v));
    }
    case SQLITE_FLOAT:
      return Variant(sqlite3_column_double(st, i));
    case SQLITE_BLOB: {
      auto p = static_cast<const uint8_t*>(sqlite3_column_blob(st, i));
      int n = sqlite3_column_bytes(st, i);
      return Variant(std::vector<uint8_t>(p, p + n));
    }
    default: {
      std::string text(reinterpret_cast<const char*>(sqlite3_column_text(st, i)),
                       static_cast<size_t>(sqlite3_column_bytes(st, i)));
      if (declared == VarType::Date) {
        DateValue d;
        if (ParseDate(text, &d)) return Variant(d);
      }
      return Variant(std::move(text));
    }
  }
}

void Bind(sqlite3_stmt* st, int i, const Variant& v) {
  switch (v.Type()) {
    case VarType::Empty:
    case VarType::Null:
      sqlite3_bind_null(st, i);
      break;
    case VarType::Integer:
    case VarType::Long:
      sqlite3_bind_int64(st, i, v.ToLong());
      break;
    case VarType::Boolean:
      sqlite3_bind_int(st, i, v.ToBool() ? 1 : 0);
      break;
    case VarType::Single:
    case VarType::Double:
    case VarType::Currency:
      sqlite3_bind_double(st, i, v.ToDouble());
      break;
    case VarType::Date:
      sqlite3_bind_text(st, i, FormatDate(v.ToDate()).c_str(), -1, SQLITE_TRANSIENT);
      break;
    case VarType::ByteArray: {
      const auto* b = v.Bytes();
      sqlite3_bind_blob(st, i, b->data(), static_cast<int>(b->size()), SQLITE_TRANSIENT);
      break;
    }
    case VarType::String: {
      const auto* s = v.Text();
      sqlite3_bind_text(st, i, s->data(), static_cast<int>(s->size()), SQLITE_TRANSIENT);
      break;
    }
    default:
      sqlite3_bind_text(st, i, v.ToText().c_str(), -1, SQLITE_TRANSIENT);
  }
}

// A placeholder's descriptor: a type code or "size;type".
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

}  // namespace

struct Connection::Command {
  sqlite3_stmt* stmt = nullptr;
  std::string sql;
  std::vector<int> types;
  ~Command() { sqlite3_finalize(stmt); }
};

std::shared_ptr<Connection> Connection::Open(const std::string& path, bool create) {
  sqlite3* db = nullptr;
  // One connection is used by one thread at a time: no mutexes needed.
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
  int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
  if (rc != SQLITE_OK) {
    std::string msg = db ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close(db);
    throw Error(eErr_Database, "QmDataServices.Connection.Open",
                "cannot open database " + path + ": " + msg);
  }
  sqlite3_extended_result_codes(db, 1);
  sqlite3_exec(db, "PRAGMA foreign_keys=OFF; PRAGMA cache_size=-65536;", nullptr, nullptr,
               nullptr);
  std::shared_ptr<Connection> conn(new Connection(db, path));
  std::lock_guard<std::mutex> lock(OpenConnectionsMutex());
  auto& open = OpenConnections();
  for (auto it = open.begin(); it != open.end();) it = it->second.expired() ? open.erase(it) : std::next(it);
  open[path] = conn;
  return conn;
}

std::shared_ptr<Connection> Connection::FindOpen(const std::string& path) {
  std::lock_guard<std::mutex> lock(OpenConnectionsMutex());
  auto it = OpenConnections().find(path);
  return it == OpenConnections().end() ? nullptr : it->second.lock();
}

Connection::Connection(sqlite3* db, std::string path) : db_(db), path_(std::move(path)) {}

Connection::~Connection() {
  commands_.clear();
  for (auto& [sql, st] : cache_) sqlite3_finalize(st);
  sqlite3_close(db_);
}

std::string Connection::Rewrite(std::string_view sql) {
  std::string out;
  out.reserve(sql.size());
  for (size_t i = 0; i < sql.size();) {
    if (sql.compare(i, kTableMarker.size(), kTableMarker) == 0) {
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
    if (sql[i] == '\'') {  // copy a literal whole: a marker-like text inside stays
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
    out.push_back(sql[i++]);
  }
  return out;
}

sqlite3_stmt* Connection::Prepare(const std::string& sql) {
  sqlite3_stmt* st = nullptr;
  const char* tail = nullptr;
  if (sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &st, &tail) !=
      SQLITE_OK)
    DbError(db_, "Prepare", sql);
  return st;
}

void Connection::Step(sqlite3_stmt* st, std::string_view sql) {
  int rc;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
  }
  if (rc != SQLITE_DONE) {
    sqlite3_reset(st);
    DbError(db_, "Execute", sql);
  }
  sqlite3_reset(st);
}

void Connection::Execute(std::string_view sql) {
  std::string text = Rewrite(sql);
  // INSERT texts arrive once per row with their values written in: run them
  // as a prepared shape with the values bound (see StatementShape.h).
  StatementShape shape;
  if (SplitInsertShape(text, &shape)) {
    sqlite3_stmt* cached = nullptr;
    auto it = cache_.find(shape.text);
    if (it != cache_.end()) {
      cached = it->second;
    } else if (cache_.size() < kMaxCachedStatements) {
      sqlite3_stmt* prepared = nullptr;
      if (sqlite3_prepare_v2(db_, shape.text.c_str(), static_cast<int>(shape.text.size()), &prepared,
                             nullptr) == SQLITE_OK &&
          prepared != nullptr &&
          static_cast<size_t>(sqlite3_bind_parameter_count(prepared)) == shape.values.size()) {
        cached = cache_.emplace(shape.text, prepared).first->second;
      } else {
        sqlite3_finalize(prepared);  // not a shape SQLite takes: run the text itself
      }
    }
    if (cached != nullptr) {
      sqlite3_clear_bindings(cached);
      for (size_t i = 0; i < shape.values.size(); ++i)
        Bind(cached, static_cast<int>(i + 1), shape.values[i]);
      Step(cached, text);
      return;
    }
  }
  sqlite3_stmt* st = Prepare(text);
  if (st == nullptr) return;  // only blanks or a comment
  struct Finalize {
    sqlite3_stmt* s;
    ~Finalize() { sqlite3_finalize(s); }
  } fin{st};
  Step(st, text);
}

void Connection::ExecuteScript(const std::string& sql) {
  char* err = nullptr;
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
    std::string msg = err ? err : "unknown";
    sqlite3_free(err);
    throw Error(eErr_Database, "QmDataServices.Connection.ExecuteScript", msg);
  }
}

namespace {

// The rows of a stepped statement as a record set.
std::shared_ptr<Recordset> Collect(sqlite3* db, sqlite3_stmt* st, const std::string& text) {
  int n = sqlite3_column_count(st);
  std::vector<Column> cols;
  std::vector<VarType> decl;
  for (int i = 0; i < n; ++i) {
    VarType t = TypeOfDecl(sqlite3_column_decltype(st, i));
    decl.push_back(t);
    cols.push_back({sqlite3_column_name(st, i), t == VarType::Empty ? VarType::String : t});
  }
  auto rs = std::make_shared<Recordset>(std::move(cols));
  int rc;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    std::vector<Variant> row;
    row.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) row.push_back(ReadColumn(st, i, decl[static_cast<size_t>(i)]));
    rs->AppendRow(std::move(row));
  }
  sqlite3_reset(st);
  if (rc != SQLITE_DONE) DbError(db, "Query", text);
  rs->MoveFirst();
  return rs;
}

}  // namespace

std::shared_ptr<Recordset> Connection::Query(std::string_view sql) {
  std::string text = Rewrite(sql);
  sqlite3_stmt* st = Prepare(text);
  struct Finalize {
    sqlite3_stmt* s;
    ~Finalize() { sqlite3_finalize(s); }
  } fin{st};
  return Collect(db_, st, text);
}

std::shared_ptr<Recordset> Connection::Query(std::string_view sql,
                                             const std::vector<Variant>& values) {
  std::string text = Rewrite(sql);
  sqlite3_stmt* st = Cached(text);
  for (size_t i = 0; i < values.size(); ++i) Bind(st, static_cast<int>(i + 1), values[i]);
  return Collect(db_, st, text);
}

std::string Connection::LookupValue(std::string_view sql, std::string_view column, long* found,
                                    int /*flags*/) {
  auto rs = Query(sql);
  if (found) *found = rs->IsEOF() ? 0 : 1;
  if (rs->IsEOF()) return "";
  return rs->Value(column).ToText();
}

void Connection::InsertRow(std::string_view table, const std::vector<std::string>& columns,
                           const std::vector<Variant>& values) {
  std::string sql = "INSERT INTO " + std::string(table) + " (";
  std::string marks;
  for (size_t i = 0; i < columns.size(); ++i) {
    sql += (i ? ", " : "") + columns[i];
    marks += i ? ", ?" : "?";
  }
  sql += ") VALUES (" + marks + ")";
  if (columns.empty()) sql = "INSERT INTO " + std::string(table) + " DEFAULT VALUES";
  sqlite3_stmt* st = Cached(sql);
  for (size_t i = 0; i < values.size(); ++i) Bind(st, static_cast<int>(i + 1), values[i]);
  Step(st, sql);
}

sqlite3_stmt* Connection::Cached(const std::string& sql) {
  auto it = cache_.find(sql);
  if (it == cache_.end()) it = cache_.emplace(sql, Prepare(sql)).first;
  sqlite3_clear_bindings(it->second);
  return it->second;
}

void Connection::Run(std::string_view sql, const std::vector<Variant>& values) {
  std::string text = Rewrite(sql);
  sqlite3_stmt* st = Cached(text);
  for (size_t i = 0; i < values.size(); ++i) Bind(st, static_cast<int>(i + 1), values[i]);
  Step(st, text);
}

Variant Connection::Scalar(std::string_view sql, const std::vector<Variant>& values) {
  std::string text = Rewrite(sql);
  sqlite3_stmt* st = Cached(text);
  for (size_t i = 0; i < values.size(); ++i) Bind(st, static_cast<int>(i + 1), values[i]);
  int rc = sqlite3_step(st);
  Variant v = rc == SQLITE_ROW ? ReadColumn(st, 0, VarType::Empty) : Variant::Null();
  sqlite3_reset(st);
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) DbError(db_, "Scalar", text);
  return v;
}

bool Connection::HasCommand(std::string_view name) const {
  return commands_.count(FoldCase(name)) > 0;
}

void Connection::CreateCommand(std::string_view name, std::string_view sql,
                               const std::vector<Variant>& descriptors) {
  auto cmd = std::make_unique<Command>();
  cmd->sql = Rewrite(sql);
  cmd->stmt = Prepare(cmd->sql);
  for (const auto& d : descriptors) cmd->types.push_back(DescriptorType(d));
  if (static_cast<size_t>(sqlite3_bind_parameter_count(cmd->stmt)) != cmd->types.size())
    throw Error(eErr_InvalidArgument, "QmDataServices.Connection.CreateCommand",
                "command " + std::string(name) + " has " +
                    std::to_string(sqlite3_bind_parameter_count(cmd->stmt)) +
                    " placeholders but " + std::to_string(cmd->types.size()) + " descriptors");
  commands_[FoldCase(name)] = std::move(cmd);
}

void Connection::ExecuteCommand(std::string_view name, const std::vector<Variant>& values) {
  auto it = commands_.find(FoldCase(name));
  if (it == commands_.end())
    throw Error(eErr_InvalidArgument, "QmDataServices.Connection.ExecuteCommand",
                "no command named " + std::string(name));
  Command& cmd = *it->second;
  if (values.size() != cmd.types.size())
    throw Error(eErr_InvalidArgument, "QmDataServices.Connection.ExecuteCommand",
                "command " + std::string(name) + " takes " + std::to_string(cmd.types.size()) +
                    " values, given " + std::to_string(values.size()));
  sqlite3_clear_bindings(cmd.stmt);
  for (size_t i = 0; i < values.size(); ++i)
    Bind(cmd.stmt, static_cast<int>(i + 1), Coerce(values[i], cmd.types[i]));
  Step(cmd.stmt, cmd.sql);
}

void Connection::ReleaseCommand(std::string_view name) { commands_.erase(FoldCase(name)); }

int32_t Connection::AllocateKey(std::string_view table, std::string_view class_column,
                                std::string_view class_value, std::string_view counter_column) {
  std::string t = Rewrite(table);
  std::string c(class_column), k(counter_column);
  std::string update = "UPDATE " + t + " SET " + k + " = " + k + " + 1 WHERE " + c + " = ?";
  std::string insert = "INSERT INTO " + t + " (" + c + ", " + k + ") VALUES (?, 1)";
  std::string select = "SELECT " + k + " FROM " + t + " WHERE " + c + " = ?";
  auto run = [&](const std::string& sql, bool want_row) -> int64_t {
    sqlite3_stmt* st = Cached(sql);
    sqlite3_bind_text(st, 1, class_value.data(), static_cast<int>(class_value.size()),
                      SQLITE_TRANSIENT);
    int rc = sqlite3_step(st);
    int64_t v = (want_row && rc == SQLITE_ROW) ? sqlite3_column_int64(st, 0) : 0;
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
      sqlite3_reset(st);
      DbError(db_, "AllocateKey", sql);
    }
    sqlite3_reset(st);
    return v;
  };
  run(update, false);
  if (sqlite3_changes(db_) == 0) run(insert, false);
  return static_cast<int32_t>(run(select, true));
}

std::string Connection::LocationPrefix() const { return "QMDB=" + path_ + ";"; }

void Connection::Begin() { ExecuteScript("BEGIN IMMEDIATE"); }
void Connection::Commit() { ExecuteScript("COMMIT"); }
void Connection::Rollback() {
  if (InTransaction()) ExecuteScript("ROLLBACK");
}
bool Connection::InTransaction() const { return sqlite3_get_autocommit(db_) == 0; }
int Connection::Changes() const { return sqlite3_changes(db_); }

}  // namespace qmxml
