// The connection to a project database in a SQLite file: the embedded
// default, one file per database.
//
// Locks: SQLite locks the whole file. Begin takes the write lock at once
// (BEGIN IMMEDIATE), so a second writer waits for the lock wait and then
// gives up; BeginSnapshot reads in a deferred transaction.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "qmxml/Connection.h"

struct sqlite3;
struct sqlite3_stmt;

namespace qmxml {

class SqliteConnection final : public Connection {
 public:
  // Opens (creating when |create| is set) the database file at |path|.
  // Throws Error eErr_Database with SQLite's message on failure.
  static std::shared_ptr<Connection> Open(const std::string& path, bool create);
  ~SqliteConnection() override;

  const std::string& Path() const override { return path_; }

  void Execute(std::string_view sql) override;
  void ExecuteScript(const std::string& sql) override;
  std::shared_ptr<Recordset> Query(std::string_view sql) override;
  std::shared_ptr<Recordset> Query(std::string_view sql,
                                   const std::vector<Variant>& values) override;
  std::shared_ptr<Recordset> EmptyRows(std::string_view table) override;
  void InsertRow(std::string_view table, const std::vector<std::string>& columns,
                 const std::vector<Variant>& values) override;
  void Run(std::string_view sql, const std::vector<Variant>& values) override;
  Variant Scalar(std::string_view sql, const std::vector<Variant>& values) override;

  bool HasCommand(std::string_view name) const override;
  void CreateCommand(std::string_view name, std::string_view sql,
                     const std::vector<Variant>& descriptors) override;
  void ExecuteCommand(std::string_view name, const std::vector<Variant>& values) override;
  void ReleaseCommand(std::string_view name) override;
  size_t CommandCount() const override { return commands_.size(); }

  std::vector<std::string> Tables() override;
  std::string EqualsNoCaseSql(std::string_view column) const override;
  void SetLockWait(int milliseconds) override;

  void Begin() override;
  void BeginSnapshot() override;
  std::shared_ptr<Connection> OpenSnapshotReader() override;
  void Commit() override;
  void Rollback() override;
  bool InTransaction() const override;
  int Changes() const override;

  // SQL text of the movers as SQLite takes it: the marker removed and date
  // literals turned into stored text; literals are copied whole.
  static std::string Rewrite(std::string_view sql);

 private:
  SqliteConnection(sqlite3* db, std::string path);
  sqlite3_stmt* Prepare(const std::string& sql);
  sqlite3_stmt* Cached(const std::string& sql);
  // The prepared statement of the movers' text |sql|, rewritten only the
  // first time it is seen.
  sqlite3_stmt* CachedText(std::string_view sql);
  void Step(sqlite3_stmt* stmt, std::string_view sql);
  struct Command;

  sqlite3* db_;
  std::string path_;
  int lock_wait_ms_ = 0;
  std::unordered_map<std::string, sqlite3_stmt*> cache_;  // rewritten text -> stmt
  struct TextHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  // The movers' text -> its statement in cache_ (which owns it).
  std::unordered_map<std::string, sqlite3_stmt*, TextHash, std::equal_to<>> by_text_;
  std::unordered_map<std::string, std::unique_ptr<Command>> commands_;  // folded name
};

}  // namespace qmxml
