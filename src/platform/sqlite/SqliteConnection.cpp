// The connection to a SQLite file: statement execution with the marker and
// date literal rewritten, queries into record sets, named commands as
// prepared statements, and transactions for the caller.
#include "platform/sqlite/SqliteConnection.h"

#include <sqlite3.h>

#include <cstdio>
#include <cstring>

#include "platform/StatementText.h"
#include "qmxml/Collection.h"
#include "qmxml/Error.h"

namespace qmxml {
namespace {

// The database's reason, naming the database; the statement goes into the
// detail (shown on request), cut at 300 characters.
Error DatabaseError(std::string_view what, std::string_view shown_name, std::string reason,
                    std::string_view sql) {
  std::string statement(sql.substr(0, 300));
  for (char& c : statement)
    if (static_cast<unsigned char>(c) < 32) c = ' ';
  if (sql.size() > 300) statement += "...";
  return Error(eErr_Database, "QmDataServices.Connection." + std::string(what),
               "Database " + std::string(shown_name) + ": " + reason)
      .WithDetail(std::move(statement));
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
  // The column's value taken once, then read as it is: each sqlite3_column_*
  // call would find the column again. The value is safe to read here, as
  // one thread at a time uses a connection.
  sqlite3_value* value = sqlite3_column_value(st, i);
  switch (sqlite3_value_type(value)) {
    case SQLITE_NULL:
      return Variant::Null();
    case SQLITE_INTEGER: {
      sqlite3_int64 v = sqlite3_value_int64(value);
      if (declared == VarType::Boolean) return Variant(v != 0);
      return Variant(static_cast<int64_t>(v));
    }
    case SQLITE_FLOAT:
      return Variant(sqlite3_value_double(value));
    case SQLITE_BLOB: {
      auto p = static_cast<const uint8_t*>(sqlite3_value_blob(value));
      int n = sqlite3_value_bytes(value);
      return Variant(std::vector<uint8_t>(p, p + n));
    }
    default: {
      std::string text(reinterpret_cast<const char*>(sqlite3_value_text(value)),
                       static_cast<size_t>(sqlite3_value_bytes(value)));
      if (declared == VarType::Date) {
        DateValue d;
        if (ParseDate(text, &d)) return Variant(d);
      }
      return Variant(std::move(text));
    }
  }
}

// |keep|: SQLITE_STATIC when |v| outlives the statement's next step (the
// caller's values), so that texts and bytes are not copied; SQLITE_TRANSIENT
// for a value that goes away before it.
void Bind(sqlite3_stmt* st, int i, const Variant& v, sqlite3_destructor_type keep) {
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
      sqlite3_bind_blob(st, i, b->data(), static_cast<int>(b->size()), keep);
      break;
    }
    case VarType::String: {
      const auto* s = v.Text();
      sqlite3_bind_text(st, i, s->data(), static_cast<int>(s->size()), keep);
      break;
    }
    default:
      sqlite3_bind_text(st, i, v.ToText().c_str(), -1, SQLITE_TRANSIENT);
  }
}

// Binds the caller's |values| to the parameters of |st| in order; they
// outlive the statement's step, so nothing is copied.
void BindAll(sqlite3_stmt* st, const std::vector<Variant>& values) {
  for (size_t i = 0; i < values.size(); ++i)
    Bind(st, static_cast<int>(i + 1), values[i], SQLITE_STATIC);
}

}  // namespace

struct SqliteConnection::Command {
  sqlite3_stmt* stmt = nullptr;
  std::string sql;
  std::vector<int> types;
  ~Command() { sqlite3_finalize(stmt); }
};

std::shared_ptr<Connection> SqliteConnection::Open(const std::string& path, bool create) {
  sqlite3* db = nullptr;
  // One connection is used by one thread at a time: no mutexes needed.
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
  int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
  if (rc != SQLITE_OK) {
    std::string msg = db ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close(db);
    throw Error(eErr_Database, "QmDataServices.Connection.Open",
                "Cannot open the database " + Connection::HidePassword(path) + ": " + msg);
  }
  sqlite3_extended_result_codes(db, 1);
  sqlite3_exec(db, "PRAGMA foreign_keys=OFF; PRAGMA cache_size=-65536;", nullptr, nullptr,
               nullptr);
  return std::shared_ptr<Connection>(new SqliteConnection(db, path));
}

SqliteConnection::SqliteConnection(sqlite3* db, std::string path) : db_(db), path_(std::move(path)) {}

SqliteConnection::~SqliteConnection() {
  commands_.clear();
  for (auto& [sql, st] : cache_) sqlite3_finalize(st);
  sqlite3_close(db_);
}

std::string SqliteConnection::Rewrite(std::string_view sql) {
  return RewriteStatement(sql, "", nullptr);
}

sqlite3_stmt* SqliteConnection::Prepare(const std::string& sql) {
  sqlite3_stmt* st = nullptr;
  const char* tail = nullptr;
  if (sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &st, &tail) !=
      SQLITE_OK)
    throw DatabaseError("Prepare", ShownName(), sqlite3_errmsg(db_), sql);
  return st;
}

void SqliteConnection::Step(sqlite3_stmt* st, std::string_view sql) {
  int rc;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
  }
  if (rc != SQLITE_DONE) {
    sqlite3_reset(st);
    throw DatabaseError("Execute", ShownName(), sqlite3_errmsg(db_), sql);
  }
  sqlite3_reset(st);
}

void SqliteConnection::Execute(std::string_view sql) {
  CountStatement("Execute");
  std::string text = Rewrite(sql);
  sqlite3_stmt* st = Prepare(text);
  if (st == nullptr) return;  // only blanks or a comment
  struct Finalize {
    sqlite3_stmt* s;
    ~Finalize() { sqlite3_finalize(s); }
  } fin{st};
  Step(st, text);
}

void SqliteConnection::ExecuteScript(const std::string& sql) {
  CountStatement("ExecuteScript");
  char* err = nullptr;
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
    std::string msg = err ? err : "unknown";
    sqlite3_free(err);
    throw DatabaseError("ExecuteScript", ShownName(), msg, sql);
  }
}

namespace {

// The rows of a stepped statement as a record set.
std::shared_ptr<Recordset> Collect(sqlite3* db, sqlite3_stmt* st, std::string_view text,
                                   std::string_view shown_name) {
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
  if (rc != SQLITE_DONE) throw DatabaseError("Query", shown_name, sqlite3_errmsg(db), text);
  rs->MoveFirst();
  return rs;
}

}  // namespace

std::shared_ptr<Recordset> SqliteConnection::Query(std::string_view sql) {
  CountStatement("Query");
  std::string text = Rewrite(sql);
  sqlite3_stmt* st = Prepare(text);
  struct Finalize {
    sqlite3_stmt* s;
    ~Finalize() { sqlite3_finalize(s); }
  } fin{st};
  return Collect(db_, st, text, ShownName());
}

std::shared_ptr<Recordset> SqliteConnection::Query(std::string_view sql,
                                             const std::vector<Variant>& values) {
  CountStatement("Query");
  sqlite3_stmt* st = CachedText(sql);
  BindAll(st, values);
  return Collect(db_, st, sqlite3_sql(st), ShownName());
}

void SqliteConnection::InsertRow(std::string_view table, const std::vector<std::string>& columns,
                           const std::vector<Variant>& values) {
  CountStatement("InsertRow");
  std::string sql;
  sql.reserve(40 + table.size() + 20 * columns.size());
  sql.append("INSERT INTO ").append(table);
  if (columns.empty()) {
    sql += " DEFAULT VALUES";
  } else {
    for (size_t i = 0; i < columns.size(); ++i) sql.append(i ? ", " : " (").append(columns[i]);
    sql += ") VALUES (?";
    for (size_t i = 1; i < columns.size(); ++i) sql += ", ?";
    sql += ')';
  }
  sqlite3_stmt* st = Cached(sql);
  BindAll(st, values);
  Step(st, sql);
}

sqlite3_stmt* SqliteConnection::Cached(const std::string& sql) {
  auto it = cache_.find(sql);
  if (it == cache_.end()) it = cache_.emplace(sql, Prepare(sql)).first;
  sqlite3_clear_bindings(it->second);
  return it->second;
}

sqlite3_stmt* SqliteConnection::CachedText(std::string_view sql) {
  auto it = by_text_.find(sql);
  if (it != by_text_.end()) {
    sqlite3_clear_bindings(it->second);
    return it->second;
  }
  sqlite3_stmt* st = Cached(Rewrite(sql));
  by_text_.emplace(std::string(sql), st);
  return st;
}

void SqliteConnection::Run(std::string_view sql, const std::vector<Variant>& values) {
  CountStatement("Run");
  sqlite3_stmt* st = CachedText(sql);
  BindAll(st, values);
  Step(st, sqlite3_sql(st));
}

Variant SqliteConnection::Scalar(std::string_view sql, const std::vector<Variant>& values) {
  CountStatement("Scalar");
  sqlite3_stmt* st = CachedText(sql);
  BindAll(st, values);
  int rc = sqlite3_step(st);
  Variant v = rc == SQLITE_ROW ? ReadColumn(st, 0, VarType::Empty) : Variant::Null();
  sqlite3_reset(st);
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) throw DatabaseError("Scalar", ShownName(), sqlite3_errmsg(db_), sqlite3_sql(st));
  return v;
}

bool SqliteConnection::HasCommand(std::string_view name) const {
  return commands_.count(FoldCase(name)) > 0;
}

void SqliteConnection::CreateCommand(std::string_view name, std::string_view sql,
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

void SqliteConnection::ExecuteCommand(std::string_view name, const std::vector<Variant>& values) {
  CountStatement("ExecuteCommand");
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
    Bind(cmd.stmt, static_cast<int>(i + 1), Coerce(values[i], cmd.types[i]), SQLITE_TRANSIENT);
  Step(cmd.stmt, cmd.sql);
}

void SqliteConnection::ReleaseCommand(std::string_view name) { commands_.erase(FoldCase(name)); }


void SqliteConnection::SetLockWait(int milliseconds) {
  lock_wait_ms_ = milliseconds < 0 ? 0 : milliseconds;
  sqlite3_busy_timeout(db_, lock_wait_ms_);
}

void SqliteConnection::Begin() {
  if (sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK) return;
  if ((sqlite3_errcode(db_) & 0xFF) == SQLITE_BUSY) {
    char waited[32];
    std::snprintf(waited, sizeof waited, "%.1f", lock_wait_ms_ / 1000.0);
    throw Error(eErr_Locked, "QmDataServices.Connection.Begin",
                "Another program is writing to the database " + ShownName() + "; gave up after waiting " +
                    waited + " s for it to finish.");
  }
  throw DatabaseError("Begin", ShownName(), sqlite3_errmsg(db_), "BEGIN IMMEDIATE");
}
void SqliteConnection::Commit() { ExecuteScript("COMMIT"); }
void SqliteConnection::Rollback() {
  if (!InTransaction()) return;
  char* err = nullptr;
  if (sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, &err) != SQLITE_OK) {
    std::string msg = err ? err : "unknown";
    sqlite3_free(err);
    throw DatabaseError("Rollback", ShownName(), msg, "ROLLBACK");
  }
}
bool SqliteConnection::InTransaction() const { return sqlite3_get_autocommit(db_) == 0; }

void SqliteConnection::BeginSnapshot() {
  // A deferred transaction: the snapshot is taken at the first read and
  // kept until the end (in WAL mode writers go on meanwhile).
  ExecuteScript("BEGIN");
}

std::shared_ptr<Connection> SqliteConnection::OpenSnapshotReader() {
  if (!InTransaction()) return nullptr;
  // With a rollback journal a writer commits only once no reader holds the
  // file's shared lock. This connection takes that lock at its first read
  // and keeps it to the end of its transaction, so a second connection
  // that reads while it is held finds the same state. In WAL mode writers
  // commit beside readers, and a later reader could see their rows.
  if (EqualsNoCase(Scalar("PRAGMA journal_mode", {}).ToText(), "wal")) return nullptr;
  Scalar("SELECT COUNT(*) FROM sqlite_master", {});  // the shared lock, should it not be held yet
  try {
    auto reader = Open(path_, false);
    reader->SetShownName(ShownName());
    reader->SetLockWait(lock_wait_ms_);
    // Its pages are mostly in the system's file cache: a cache as large as
    // this connection's would only add to the run's memory.
    reader->ExecuteScript("PRAGMA cache_size = -16384");
    reader->BeginSnapshot();
    reader->Scalar("SELECT COUNT(*) FROM sqlite_master", {});
    return reader;
  } catch (const Error&) {
    return nullptr;  // a writer waiting for this connection's lock holds the file
  }
}

std::shared_ptr<Recordset> SqliteConnection::EmptyRows(std::string_view table) {
  return Query("SELECT * FROM " + std::string(table) + " WHERE 0");
}

std::vector<std::string> SqliteConnection::Tables() {
  std::vector<std::string> names;
  auto rs = Query("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name");
  for (; !rs->IsEOF(); rs->MoveNext()) names.push_back(rs->Value("name").ToText());
  return names;
}

std::string SqliteConnection::EqualsNoCaseSql(std::string_view column) const {
  return std::string(column) + " = ? COLLATE NOCASE";
}
int SqliteConnection::Changes() const { return sqlite3_changes(db_); }

}  // namespace qmxml
