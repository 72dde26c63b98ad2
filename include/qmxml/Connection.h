// Connection: the open project database (SQLite) as the movers use it.
//
// SQL text from the movers carries a three-character marker (codes 5, 1, 6)
// before every table name and may hold "{ ts 'YYYY-MM-DD HH:MM:SS'}" date
// literals; the connection removes the marker and turns the date literal
// into the text SQLite stores before running the statement. Statements are
// prepared once per distinct text and kept, so a mover that sends the same
// shape many times pays the parse cost once.
//
// Named commands are prepared statements with "?" placeholders kept on the
// connection under a name until released. Each placeholder has a
// descriptor: a type code (3 Long, 5 Double, 8 text, 12 variant, 2 Integer,
// 205 bytes) or "size;type" for a text of at most size characters.
//
// The connection opens no transaction on its own; Begin/Commit/Rollback are
// for the caller.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "qmxml/Object.h"
#include "qmxml/Recordset.h"
#include "qmxml/Variant.h"

struct sqlite3;
struct sqlite3_stmt;

namespace qmxml {

class Connection : public Object {
 public:
  // Opens (creating when |create| is set) the database file at |path|.
  // Throws Error eErr_Database with SQLite's message on failure.
  static std::shared_ptr<Connection> Open(const std::string& path, bool create);
  ~Connection() override;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  std::string TypeName() const override { return "QmDataServices.Connection"; }
  const std::string& Path() const { return path_; }
  sqlite3* Handle() const { return db_; }

  // Runs one complete statement. Failures throw Error eErr_Database whose
  // description holds SQLite's reason and the statement.
  void Execute(std::string_view sql);
  // The second execution form; the same contract.
  void Execute2(std::string_view sql) { Execute(sql); }
  // Runs a whole script (several statements, no marker rewriting).
  void ExecuteScript(const std::string& sql);

  // Runs a query and returns its rows as a record set (column types from the
  // declared types of the result columns).
  std::shared_ptr<Recordset> Query(std::string_view sql);
  // The same for a fixed-shape query with "?" placeholders bound to
  // |values|; the prepared statement is kept per text.
  std::shared_ptr<Recordset> Query(std::string_view sql, const std::vector<Variant>& values);
  // The value of |column| in the first row, as text; "" when there is no
  // row. |found| (optional) is set to 1 when a row was found.
  std::string LookupValue(std::string_view sql, std::string_view column,
                          long* found = nullptr, int flags = 0);

  // Inserts one row into |table| (no marker) with |columns| set to
  // |values|; used by record sets for UpdateBatch. Statements are kept per
  // table and column list.
  void InsertRow(std::string_view table, const std::vector<std::string>& columns,
                 const std::vector<Variant>& values);

  // Runs a fixed-shape statement with "?" placeholders bound to |values|.
  // The prepared statement is kept per text, so use it only for texts that
  // repeat (no literal values inside).
  void Run(std::string_view sql, const std::vector<Variant>& values);
  // The first column of the first row of such a statement, or Null.
  Variant Scalar(std::string_view sql, const std::vector<Variant>& values);

  // Named commands.
  bool HasCommand(std::string_view name) const;
  void CreateCommand(std::string_view name, std::string_view sql,
                     const std::vector<Variant>& descriptors);
  void ExecuteCommand(std::string_view name, const std::vector<Variant>& values);
  void ReleaseCommand(std::string_view name);
  size_t CommandCount() const { return commands_.size(); }

  // Key-table allocation: adds one to |counter_column| of the row of
  // |table| whose |class_column| is |class_value| (creating the row at 1)
  // and returns the new value.
  int32_t AllocateKey(std::string_view table, std::string_view class_column,
                      std::string_view class_value, std::string_view counter_column);

  // The location prefix of the project database: "QMDB=<path>;". A
  // location text is this prefix followed by "QMPROJKEY=<project key>".
  std::string LocationPrefix() const;
  // The connection of this process open on |path| (as passed to Open), or
  // nullptr. The host application uses it to work inside the caller's
  // session instead of opening a second one.
  static std::shared_ptr<Connection> FindOpen(const std::string& path);

  // Transactions for the caller.
  void Begin();
  void Commit();
  void Rollback();
  bool InTransaction() const;

  // Number of rows the last statement changed.
  int Changes() const;
  // Rewrites marker-prefixed names and date literals into SQLite's text.
  static std::string Rewrite(std::string_view sql);

 private:
  Connection(sqlite3* db, std::string path);
  sqlite3_stmt* Prepare(const std::string& sql);
  sqlite3_stmt* Cached(const std::string& sql);
  void Step(sqlite3_stmt* stmt, std::string_view sql);
  struct Command;

  sqlite3* db_;
  std::string path_;
  std::unordered_map<std::string, sqlite3_stmt*> cache_;  // rewritten text -> stmt
  std::unordered_map<std::string, std::unique_ptr<Command>> commands_;  // folded name
};

using ConnectionPtr = std::shared_ptr<Connection>;

// The table-name marker written before every table name in SQL text.
inline constexpr std::string_view kTableMarker = "\x05\x01\x06";

}  // namespace qmxml
