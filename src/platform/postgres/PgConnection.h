// The connection to a project database on a PostgreSQL server, for teams
// that share one database.
//
// The tables live in one schema: the one named when the connection is
// opened (the search path is set to it alone, and the marker in SQL text
// becomes nothing), or the server's search path. The schema's name enters
// statements only quoted as an identifier or bound as a value, so any name
// the server takes works as it is written (letter case, blanks and quotes
// kept) and none is read as SQL; it is never spliced into the statements
// of the movers, whose literals a quote in it would upset.
// Table and column names are not quoted, so the server folds them to lower
// case; record sets find columns without regard to case, so the movers see
// the columns they ask for. Opening never creates the schema.
//
// Locks: Begin takes an exclusive lock on QmKeys, the key table every
// writer allocates from, so writers of one database follow one another
// (each import stays all-or-nothing and keys never collide); readers are
// not blocked. BeginSnapshot reads in a repeatable-read transaction.
// BeginCreating serialises the runs that may create the tables of a schema
// with a transaction-level advisory lock on the schema's name.
//
// Loading: inside a transaction, rows inserted through InsertRow and
// through named commands that insert one row are held back per table and
// columns, and sent with COPY (text format) before the next other
// statement, when the held rows grow large, and at Commit; Commit then
// runs ANALYZE on the tables filled, so that the planner knows their size.
// A failed load names the table and the row; the transaction is then
// aborted on the server, and every later statement fails with the same
// error until Rollback (which drops the rows held back).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "qmxml/Connection.h"
#include "qmxml/Error.h"

struct pg_conn;
struct pg_result;

namespace qmxml {

class PgConnection final : public Connection {
 public:
  // Connects with the libpq connection string |spec|; |schema| ("" for the
  // server's search path) holds the tables. Throws Error eErr_Database with
  // the server's message on failure.
  static std::shared_ptr<Connection> Open(const std::string& spec, const std::string& schema);
  ~PgConnection() override;

  const std::string& Path() const override { return spec_; }

  void Execute(std::string_view sql) override;
  void ExecuteScript(const std::string& sql) override;
  std::shared_ptr<Recordset> Query(std::string_view sql) override;
  std::shared_ptr<Recordset> Query(std::string_view sql,
                                   const std::vector<Variant>& values) override;
  std::vector<std::shared_ptr<Recordset>> QueryEach(
      const std::vector<BoundQuery>& queries) override;
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

  void Flush();

  void Begin() override;
  void BeginCreating() override;
  void BeginSnapshot() override;
  std::shared_ptr<Connection> OpenSnapshotReader() override;
  void Commit() override;
  void Rollback() override;
  bool InTransaction() const override;
  int Changes() const override { return changes_; }

  // SQL text as the server takes it: the marker turned into |prefix|, date
  // literals into stored text, and (with |number|) each "?" outside a
  // literal into $1, $2, ...
  static std::string Rewrite(std::string_view sql, std::string_view prefix, bool number);
  // |name| as a quoted identifier: in double quotes, each quote doubled.
  static std::string QuoteIdentifier(std::string_view name);

 private:
  struct Command {
    std::string statement;  // the prepared statement's name on the server
    std::vector<int> types;
    // For a command that inserts one row: its table and columns, so that
    // its rows are loaded with the others ("" otherwise).
    std::string table;
    std::vector<std::string> columns;
  };
  // Rows held back for one table and column list, as COPY text.
  struct Load {
    std::string table;
    std::vector<std::string> columns;
    std::string data;
    long rows = 0;
  };
  // Holds |values| back as a row of |table| (|columns|).
  void Hold(std::string_view table, const std::vector<std::string>& columns,
            const std::vector<Variant>& values);
  // Before any other statement: count it, fail with a load that failed
  // earlier, and send the rows held back.
  void BeforeStatement(std::string_view what);
  void CopyIn(const Load& load);
  PgConnection(pg_conn* conn, std::string spec, std::string schema);
  // The name of the statement prepared for |text| (numbered placeholders),
  // preparing it on first use for parameters like |values|.
  const std::string& Prepared(const std::string& text, const std::vector<Variant>& values);
  // Runs a prepared statement with |values|; returns its result (owned by
  // the caller) after checking it.
  pg_result* RunPrepared(const std::string& statement, const std::vector<Variant>& values,
                         std::string_view shown);
  // Checks |r| (cleared and raised as Error on failure) and notes the rows
  // it changed.
  pg_result* Checked(pg_result* r, std::string_view what, std::string_view shown);
  // Throws Error eErr_Locked: another writer held the lock past the wait.
  [[noreturn]] void FailLocked(std::string_view what) const;
  // The lock wait of the transaction begun, and the lock on QmKeys.
  void SetLockTimeout();
  void LockKeys();

  pg_conn* conn_;
  std::string spec_;
  std::string schema_;
  int lock_wait_ms_ = 0;
  int changes_ = 0;
  std::unordered_map<std::string, std::string> prepared_;  // text -> statement name
  std::unordered_map<std::string, Command> commands_;      // folded name
  std::vector<Load> loads_;                                // in order of first row
  std::unordered_map<std::string, size_t> load_at_;        // table and columns -> loads_
  size_t held_bytes_ = 0;
  std::vector<std::string> filled_;  // tables loaded in this transaction
  std::optional<Error> failed_load_;
};

}  // namespace qmxml
