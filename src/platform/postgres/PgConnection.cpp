// The connection to a PostgreSQL server over libpq. Values travel as text
// (bytes in binary), results come back as text and are turned into the
// same values the SQLite connection gives, so that a project reads the same
// from either database and exports byte for byte alike.
#include "platform/postgres/PgConnection.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cctype>
#include <cstring>
#include <optional>

#include "platform/StatementText.h"
#include "qmxml/Collection.h"
#include "qmxml/Error.h"

namespace qmxml {
namespace {

// Type oids of the columns the project schema uses.
constexpr Oid kBool = 16, kBytea = 17, kInt8 = 20, kInt2 = 21, kInt4 = 23, kFloat4 = 700,
              kFloat8 = 701, kNumeric = 1700;

// The server's reason, naming the database; the statement goes into the
// detail (shown on request), cut at 300 characters.
[[noreturn]] void Fail(std::string_view what, std::string_view shown_name, std::string reason,
                       std::string_view sql, int32_t number = eErr_Database) {
  for (char& c : reason)
    if (c == '\n' || c == '\t') c = ' ';
  while (!reason.empty() && reason.back() == ' ') reason.pop_back();
  std::string statement(sql.substr(0, 300));
  for (char& c : statement)
    if (static_cast<unsigned char>(c) < 32) c = ' ';
  if (sql.size() > 300) statement += "...";
  throw Error(number, "QmDataServices.Connection." + std::string(what),
              "Database " + std::string(shown_name) + ": " + reason)
      .WithDetail(std::move(statement));
}

VarType ColumnType(Oid type) {
  switch (type) {
    case kBool:
      return VarType::Boolean;
    case kInt2:
    case kInt4:
    case kInt8:
      return VarType::Long;
    case kFloat4:
    case kFloat8:
    case kNumeric:
      return VarType::Double;
    case kBytea:
      return VarType::ByteArray;
    default:
      return VarType::String;
  }
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;
}

Variant ReadValue(const PGresult* r, int row, int col, Oid type) {
  if (PQgetisnull(r, row, col)) return Variant::Null();
  const char* text = PQgetvalue(r, row, col);
  const int length = PQgetlength(r, row, col);
  switch (type) {
    case kBool:
      return Variant(text[0] == 't');
    case kInt2:
    case kInt4:
    case kInt8:
      return Variant(static_cast<int64_t>(std::strtoll(text, nullptr, 10)));
    case kFloat4:
    case kFloat8:
    case kNumeric:
      return Variant(std::strtod(text, nullptr));
    case kBytea: {  // "\x" and two hex digits per byte
      std::vector<uint8_t> bytes;
      if (length >= 2 && text[0] == '\\' && text[1] == 'x') {
        bytes.reserve(static_cast<size_t>(length - 2) / 2);
        for (int i = 2; i + 1 < length; i += 2)
          bytes.push_back(static_cast<uint8_t>(HexDigit(text[i]) * 16 + HexDigit(text[i + 1])));
      }
      return Variant(std::move(bytes));
    }
    default:
      return Variant(std::string(text, static_cast<size_t>(length)));
  }
}

std::shared_ptr<Recordset> RowsOf(const PGresult* r) {
  const int columns = PQnfields(r), rows = PQntuples(r);
  std::vector<Column> cols;
  std::vector<Oid> types;
  for (int c = 0; c < columns; ++c) {
    types.push_back(PQftype(r, c));
    cols.push_back({PQfname(r, c), ColumnType(types.back())});
  }
  auto rs = std::make_shared<Recordset>(std::move(cols));
  for (int i = 0; i < rows; ++i) {
    std::vector<Variant> row;
    row.reserve(static_cast<size_t>(columns));
    for (int c = 0; c < columns; ++c) row.push_back(ReadValue(r, i, c, types[static_cast<size_t>(c)]));
    rs->AppendRow(std::move(row));
  }
  rs->MoveFirst();
  return rs;
}

// A value (not Null, not bytes) as text, the form the server reads for
// any column type: parameters and COPY rows take the same text.
std::string ValueText(const Variant& v) {
  switch (v.Type()) {
    case VarType::Boolean:
      return v.ToBool() ? "1" : "0";
    case VarType::Single:
    case VarType::Double:
    case VarType::Currency: {
      char buf[40];
      std::snprintf(buf, sizeof buf, "%.17g", v.ToDouble());
      return buf;
    }
    case VarType::Date:
      return FormatDate(v.ToDate());
    default:
      return v.ToText();
  }
}

// The parameters of one call in libpq's form: text for every value but
// bytes, which go in binary.
struct Params {
  std::vector<std::string> texts;
  std::vector<const char*> values;
  std::vector<int> lengths, formats;

  explicit Params(const std::vector<Variant>& in) {
    texts.resize(in.size());
    values.resize(in.size());
    lengths.resize(in.size());
    formats.resize(in.size());
    for (size_t i = 0; i < in.size(); ++i) {
      const Variant& v = in[i];
      if (v.IsNull() || v.IsEmpty()) {
        values[i] = nullptr;
        continue;
      }
      if (const auto* bytes = v.Bytes()) {
        values[i] = reinterpret_cast<const char*>(bytes->data());
        lengths[i] = static_cast<int>(bytes->size());
        formats[i] = 1;
        continue;
      }
      texts[i] = ValueText(v);
      values[i] = texts[i].c_str();
    }
  }
};

// Appends |v| as a field of a COPY row in text format: \N for Null, bytes
// in the bytea hex form, text with backslash, tab, line feed and carriage
// return escaped.
void AppendCopyField(std::string& out, const Variant& v) {
  if (v.IsNull() || v.IsEmpty()) {
    out += "\\N";
    return;
  }
  if (const auto* bytes = v.Bytes()) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += "\\\\x";
    for (uint8_t b : *bytes) {
      out.push_back(kHex[b >> 4]);
      out.push_back(kHex[b & 15]);
    }
    return;
  }
  const std::string own = v.Type() == VarType::String ? std::string() : ValueText(v);
  const std::string& text = v.Type() == VarType::String ? *v.Text() : own;
  for (char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        out.push_back(c);
    }
  }
}

// Table and columns of a statement that inserts one row with a placeholder
// per column ("INSERT INTO t (a, b) VALUES ($1, $2)"); false for any other.
bool SingleRowInsert(std::string_view sql, std::string* table, std::vector<std::string>* columns) {
  size_t i = 0;
  auto blanks = [&] {
    while (i < sql.size() && (sql[i] == ' ' || sql[i] == '\t' || sql[i] == '\r' || sql[i] == '\n'))
      ++i;
  };
  auto word = [&] {
    blanks();
    size_t start = i;
    while (i < sql.size() && (std::isalnum(static_cast<unsigned char>(sql[i])) || sql[i] == '_' ||
                              sql[i] == '$'))
      ++i;
    return std::string(sql.substr(start, i - start));
  };
  auto punct = [&](char c) {
    blanks();
    if (i >= sql.size() || sql[i] != c) return false;
    ++i;
    return true;
  };
  if (!EqualsNoCase(word(), "INSERT") || !EqualsNoCase(word(), "INTO")) return false;
  *table = word();
  if (table->empty() || !punct('(')) return false;
  columns->clear();
  do {
    columns->push_back(word());
    if (columns->back().empty()) return false;
  } while (punct(','));
  if (!punct(')') || !EqualsNoCase(word(), "VALUES") || !punct('(')) return false;
  size_t n = 0;
  do {
    if (word() != "$" + std::to_string(++n)) return false;
  } while (punct(','));
  if (!punct(')') || n != columns->size()) return false;
  blanks();
  return i == sql.size();
}

// Rows held back past this many bytes are sent at once.
constexpr size_t kMaxHeldBytes = size_t{32} << 20;

}  // namespace

std::string PgConnection::QuoteIdentifier(std::string_view name) {
  std::string quoted = "\"";
  for (char c : name) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::shared_ptr<Connection> PgConnection::Open(const std::string& spec, const std::string& schema) {
  PGconn* conn = PQconnectdb(spec.c_str());
  if (PQstatus(conn) != CONNECTION_OK) {
    std::string reason = conn ? PQerrorMessage(conn) : "out of memory";
    PQfinish(conn);
    Fail("Open", HidePassword(spec), "cannot connect: " + reason, "");
  }
  auto pg = std::shared_ptr<PgConnection>(new PgConnection(conn, spec, schema));
  pg->SetShownName(HidePassword(spec));
  // Notices (such as "relation already exists, skipping") are not errors.
  PQsetNoticeProcessor(conn, [](void*, const char*) {}, nullptr);
  pg->ExecuteScript("SET client_encoding = 'UTF8'");
  // An export reads a batch of packages per statement, a few thousand rows
  // picked by key from tables of hundreds of thousands. On the default
  // costs the planner scans each whole table for every batch; with these
  // (for this session only) it looks the rows up by index, which is what a
  // server with its data in memory or on solid-state storage does best.
  pg->ExecuteScript("SET random_page_cost = 1.1; SET cpu_tuple_cost = 0.03");
  // The trace list joins and sorts every trace of a project in one
  // statement: with more memory per sort than the default 4 MB it sorts in
  // memory rather than in temporary files, and without parallel workers it
  // does not take the cores this program's own threads are using (on two
  // cores the workers made the statement slower, not faster).
  pg->ExecuteScript("SET work_mem = '64MB'; SET max_parallel_workers_per_gather = 0");
  // A schema that is missing stays missing: only a run that creates the
  // project tables creates it (BeginCreating), inside its transaction.
  if (!schema.empty()) pg->ExecuteScript("SET search_path TO " + QuoteIdentifier(schema));
  return pg;
}

PgConnection::PgConnection(pg_conn* conn, std::string spec, std::string schema)
    : conn_(conn), spec_(std::move(spec)), schema_(std::move(schema)) {}

PgConnection::~PgConnection() { PQfinish(conn_); }

std::string PgConnection::Rewrite(std::string_view sql, std::string_view prefix, bool number) {
  return RewriteStatement(sql, prefix, number ? "$" : nullptr);
}

pg_result* PgConnection::Checked(pg_result* r, std::string_view what, std::string_view shown) {
  const ExecStatusType status = PQresultStatus(r);
  if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) {
    const char* tuples = PQcmdTuples(r);
    changes_ = tuples && *tuples ? std::atoi(tuples) : 0;
    return r;
  }
  std::string reason = r ? PQresultErrorMessage(r) : PQerrorMessage(conn_);
  // A server that went away mid-run says so, rather than what the statement
  // might have done wrong.
  if (PQstatus(conn_) == CONNECTION_BAD) reason = "the connection to the server was lost: " + reason;
  const char* state = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
  const bool locked = state && (std::strcmp(state, "55P03") == 0);  // lock_not_available
  PQclear(r);
  if (locked) FailLocked(what);
  Fail(what, ShownName(), reason, shown);
}

void PgConnection::FailLocked(std::string_view what) const {
  char waited[32];
  std::snprintf(waited, sizeof waited, "%.1f", lock_wait_ms_ / 1000.0);
  throw Error(eErr_Locked, "QmDataServices.Connection." + std::string(what),
              "Another program is writing to the database " + ShownName() +
                  "; gave up after waiting " + waited + " s for it to finish.");
}

const std::string& PgConnection::Prepared(const std::string& text,
                                          const std::vector<Variant>& values) {
  auto it = prepared_.find(text);
  if (it != prepared_.end()) return it->second;
  std::string name = "qmxml_" + std::to_string(prepared_.size() + 1);
  // Whole numbers are declared as such, so that a parameter the statement
  // only tests ("? IS NOT NULL") has a type; the server infers the others
  // from where they stand.
  std::vector<Oid> types;
  for (const Variant& v : values)
    types.push_back(v.Type() == VarType::Long || v.Type() == VarType::Integer ? kInt8 : 0);
  PQclear(Checked(PQprepare(conn_, name.c_str(), text.c_str(), static_cast<int>(values.size()),
                            types.data()),
                  "Prepare", text));
  return prepared_.emplace(text, std::move(name)).first->second;
}

pg_result* PgConnection::RunPrepared(const std::string& statement,
                                     const std::vector<Variant>& values, std::string_view shown) {
  Params p(values);
  return Checked(PQexecPrepared(conn_, statement.c_str(), static_cast<int>(values.size()),
                                p.values.data(), p.lengths.data(), p.formats.data(), 0),
                 "Execute", shown);
}

void PgConnection::BeforeStatement(std::string_view what) {
  CountStatement(what);
  if (failed_load_) throw *failed_load_;
  Flush();
}

void PgConnection::Hold(std::string_view table, const std::vector<std::string>& columns,
                        const std::vector<Variant>& values) {
  std::string key(table);
  for (const auto& c : columns) key += "," + c;
  auto [it, fresh] = load_at_.try_emplace(std::move(key), loads_.size());
  if (fresh) loads_.push_back({std::string(table), columns, {}, 0});
  Load& load = loads_[it->second];
  const size_t before = load.data.size();
  for (size_t i = 0; i < values.size(); ++i) {
    if (i) load.data.push_back('\t');
    AppendCopyField(load.data, values[i]);
  }
  load.data.push_back('\n');
  ++load.rows;
  held_bytes_ += load.data.size() - before;
  if (held_bytes_ > kMaxHeldBytes) Flush();
}

void PgConnection::Flush() {
  if (loads_.empty()) return;
  std::vector<Load> loads = std::move(loads_);
  loads_.clear();
  load_at_.clear();
  held_bytes_ = 0;
  try {
    for (const Load& load : loads) {
      CopyIn(load);
      if (std::find(filled_.begin(), filled_.end(), load.table) == filled_.end())
        filled_.push_back(load.table);
    }
  } catch (const Error& e) {
    failed_load_ = e;
    throw;
  }
}

void PgConnection::CopyIn(const Load& load) {
  std::string sql = "COPY " + load.table + " (";
  for (size_t i = 0; i < load.columns.size(); ++i) sql += (i ? ", " : "") + load.columns[i];
  sql += ") FROM STDIN";
  const std::string shown =
      sql + " (" + std::to_string(load.rows) + " rows into " + load.table + ")";
  pg_result* r = PQexec(conn_, sql.c_str());
  if (PQresultStatus(r) != PGRES_COPY_IN) {
    PQclear(Checked(r, "Load", shown));
    Fail("Load", ShownName(), "the server did not start loading " + load.table, shown);
  }
  PQclear(r);
  bool sent = PQputCopyData(conn_, load.data.data(), static_cast<int>(load.data.size())) == 1;
  sent = PQputCopyEnd(conn_, sent ? nullptr : "the rows could not be sent") == 1 && sent;
  pg_result* result = PQgetResult(conn_);
  for (pg_result* more; (more = PQgetResult(conn_)) != nullptr;) PQclear(more);
  if (PQresultStatus(result) == PGRES_COMMAND_OK && sent) {
    PQclear(result);
    return;
  }
  std::string reason = result ? PQresultErrorMessage(result) : PQerrorMessage(conn_);
  PQclear(result);
  if (reason.empty()) reason = PQerrorMessage(conn_);
  Fail("Load", ShownName(),
       "loading " + std::to_string(load.rows) + " rows into " + load.table + " failed: " + reason,
       shown);
}

void PgConnection::Execute(std::string_view sql) {
  BeforeStatement("Execute");
  std::string text = Rewrite(sql, "", false);
  PQclear(Checked(PQexec(conn_, text.c_str()), "Execute", text));
}

void PgConnection::ExecuteScript(const std::string& sql) {
  BeforeStatement("ExecuteScript");
  PQclear(Checked(PQexec(conn_, sql.c_str()), "ExecuteScript", sql));
}

std::shared_ptr<Recordset> PgConnection::Query(std::string_view sql) {
  BeforeStatement("Query");
  std::string text = Rewrite(sql, "", false);
  pg_result* r = Checked(PQexec(conn_, text.c_str()), "Query", text);
  auto rs = RowsOf(r);
  PQclear(r);
  return rs;
}

std::shared_ptr<Recordset> PgConnection::Query(std::string_view sql,
                                               const std::vector<Variant>& values) {
  BeforeStatement("Query");
  std::string text = Rewrite(sql, "", true);
  pg_result* r = RunPrepared(Prepared(text, values), values, text);
  auto rs = RowsOf(r);
  PQclear(r);
  return rs;
}

std::vector<std::shared_ptr<Recordset>> PgConnection::QueryEach(
    const std::vector<BoundQuery>& queries) {
  BeforeStatement("Query");
  for (size_t i = 1; i < queries.size(); ++i) CountStatement("Query");
  // Prepared first, one at a time; then sent in one pipeline, so that the
  // server runs the next statement while the rows of one are read here.
  std::vector<std::string> texts;
  std::vector<const std::string*> names;
  for (const BoundQuery& q : queries) {
    texts.push_back(Rewrite(q.sql, "", true));
    names.push_back(&Prepared(texts.back(), q.values));
  }
  if (PQenterPipelineMode(conn_) != 1) Fail("Query", ShownName(), PQerrorMessage(conn_), "");
  struct Leave {
    pg_conn* conn;
    ~Leave() { PQexitPipelineMode(conn); }
  } leave{conn_};
  for (size_t i = 0; i < queries.size(); ++i) {
    Params p(queries[i].values);
    if (PQsendQueryPrepared(conn_, names[i]->c_str(), static_cast<int>(p.values.size()),
                            p.values.data(), p.lengths.data(), p.formats.data(), 0) != 1)
      Fail("Query", ShownName(), PQerrorMessage(conn_), texts[i]);
  }
  if (PQpipelineSync(conn_) != 1) Fail("Query", ShownName(), PQerrorMessage(conn_), "");
  // Every result is taken up to the sync, also after a failure, so that the
  // connection leaves the pipeline ready for the next statement.
  std::vector<std::shared_ptr<Recordset>> rows;
  std::optional<Error> failed;
  for (size_t i = 0; i < queries.size(); ++i) {
    pg_result* r = PQgetResult(conn_);
    try {
      if (!failed) rows.push_back(RowsOf(Checked(r, "Query", texts[i])));
    } catch (const Error& e) {
      failed = e;
      r = nullptr;  // Checked let it go
    }
    if (r != nullptr) PQclear(r);
    while ((r = PQgetResult(conn_)) != nullptr) PQclear(r);  // this statement's end
  }
  for (pg_result* r; (r = PQgetResult(conn_)) != nullptr;) {
    const bool sync = PQresultStatus(r) == PGRES_PIPELINE_SYNC;
    PQclear(r);
    if (sync) break;
  }
  if (failed) throw *failed;
  return rows;
}

std::shared_ptr<Recordset> PgConnection::EmptyRows(std::string_view table) {
  return Query("SELECT * FROM " + std::string(table) + " WHERE false");
}

void PgConnection::InsertRow(std::string_view table, const std::vector<std::string>& columns,
                             const std::vector<Variant>& values) {
  if (InTransaction() && !columns.empty()) {
    CountStatement("InsertRow");
    if (failed_load_) throw *failed_load_;
    Hold(table, columns, values);
    return;
  }
  BeforeStatement("InsertRow");
  std::string sql = "INSERT INTO " + std::string(table) + " (";
  std::string marks;
  for (size_t i = 0; i < columns.size(); ++i) {
    sql += (i ? ", " : "") + columns[i];
    marks += (i ? ", $" : "$") + std::to_string(i + 1);
  }
  sql += ") VALUES (" + marks + ")";
  if (columns.empty()) sql = "INSERT INTO " + std::string(table) + " DEFAULT VALUES";
  PQclear(RunPrepared(Prepared(sql, values), values, sql));
}

void PgConnection::Run(std::string_view sql, const std::vector<Variant>& values) {
  BeforeStatement("Run");
  std::string text = Rewrite(sql, "", true);
  PQclear(RunPrepared(Prepared(text, values), values, text));
}

Variant PgConnection::Scalar(std::string_view sql, const std::vector<Variant>& values) {
  BeforeStatement("Scalar");
  std::string text = Rewrite(sql, "", true);
  pg_result* r = RunPrepared(Prepared(text, values), values, text);
  Variant v = PQntuples(r) > 0 && PQnfields(r) > 0 ? ReadValue(r, 0, 0, PQftype(r, 0))
                                                   : Variant::Null();
  PQclear(r);
  return v;
}

bool PgConnection::HasCommand(std::string_view name) const {
  return commands_.count(FoldCase(name)) > 0;
}

void PgConnection::CreateCommand(std::string_view name, std::string_view sql,
                                 const std::vector<Variant>& descriptors) {
  std::string text = Rewrite(sql, "", true);
  size_t marks = 0;
  for (size_t at = text.find('$'); at != std::string::npos; at = text.find('$', at + 1)) ++marks;
  if (marks != descriptors.size())
    throw Error(eErr_InvalidArgument, "QmDataServices.Connection.CreateCommand",
                "command " + std::string(name) + " has " + std::to_string(marks) +
                    " placeholders but " + std::to_string(descriptors.size()) + " descriptors");
  Command cmd;
  for (const auto& d : descriptors) cmd.types.push_back(DescriptorType(d));
  // The descriptors say which placeholders take whole numbers.
  std::vector<Variant> shapes;
  for (int type : cmd.types) shapes.push_back(type == 2 || type == 3 ? Variant(int32_t{0}) : Variant());
  cmd.statement = Prepared(text, shapes);
  if (!SingleRowInsert(text, &cmd.table, &cmd.columns)) cmd.table.clear();
  commands_[FoldCase(name)] = std::move(cmd);
}

void PgConnection::ExecuteCommand(std::string_view name, const std::vector<Variant>& values) {
  auto it = commands_.find(FoldCase(name));
  if (it == commands_.end())
    throw Error(eErr_InvalidArgument, "QmDataServices.Connection.ExecuteCommand",
                "no command named " + std::string(name));
  const Command& cmd = it->second;
  if (values.size() != cmd.types.size())
    throw Error(eErr_InvalidArgument, "QmDataServices.Connection.ExecuteCommand",
                "command " + std::string(name) + " takes " + std::to_string(cmd.types.size()) +
                    " values, given " + std::to_string(values.size()));
  std::vector<Variant> coerced;
  coerced.reserve(values.size());
  for (size_t i = 0; i < values.size(); ++i) coerced.push_back(Coerce(values[i], cmd.types[i]));
  if (!cmd.table.empty() && InTransaction()) {
    CountStatement("ExecuteCommand");
    if (failed_load_) throw *failed_load_;
    Hold(cmd.table, cmd.columns, coerced);
    return;
  }
  BeforeStatement("ExecuteCommand");
  PQclear(RunPrepared(cmd.statement, coerced, name));
}

void PgConnection::ReleaseCommand(std::string_view name) { commands_.erase(FoldCase(name)); }

std::vector<std::string> PgConnection::Tables() {
  std::vector<std::string> names;
  auto rs = Query(
      "SELECT table_name FROM information_schema.tables WHERE table_schema = current_schema() "
      "AND table_type = 'BASE TABLE' ORDER BY table_name");
  for (; !rs->IsEOF(); rs->MoveNext()) names.push_back(rs->Value("table_name").ToText());
  return names;
}

std::string PgConnection::EqualsNoCaseSql(std::string_view column) const {
  return "UPPER(" + std::string(column) + ") = UPPER(?)";
}

void PgConnection::SetLockWait(int milliseconds) {
  lock_wait_ms_ = milliseconds < 0 ? 0 : milliseconds;
}

void PgConnection::Begin() {
  ExecuteScript("BEGIN");
  try {
    SetLockTimeout();
    LockKeys();
  } catch (...) {
    Rollback();
    throw;
  }
}

void PgConnection::SetLockTimeout() {
  if (lock_wait_ms_ > 0)
    ExecuteScript("SET LOCAL lock_timeout = " + std::to_string(lock_wait_ms_));
}

void PgConnection::LockKeys() {
  ExecuteScript(lock_wait_ms_ > 0 ? "LOCK TABLE QmKeys IN EXCLUSIVE MODE"
                                  : "LOCK TABLE QmKeys IN EXCLUSIVE MODE NOWAIT");
}

void PgConnection::BeginCreating() {
  ExecuteScript("BEGIN");
  try {
    SetLockTimeout();
    // Creators of one schema follow one another: a lock on the schema's
    // name in a class of qmxml's own (the search path's first schema when
    // none is named), held to the end of the transaction.
    static constexpr const char* kLock =
        "SELECT %s(74096, hashtext(COALESCE(NULLIF(?, ''), current_schema(), '')))";
    char sql[128];
    std::snprintf(sql, sizeof sql, kLock,
                  lock_wait_ms_ > 0 ? "pg_advisory_xact_lock" : "pg_try_advisory_xact_lock");
    const Variant got = Scalar(sql, {Variant(schema_)});
    if (got.Type() == VarType::Boolean && !got.ToBool())
      FailLocked("BeginCreating");
    if (!schema_.empty())
      ExecuteScript("CREATE SCHEMA IF NOT EXISTS " + QuoteIdentifier(schema_));
    if (!Scalar("SELECT to_regclass(?) IS NOT NULL", {Variant("qmkeys")}).ToBool())
      return;  // no project tables yet: nobody else can write them
    LockKeys();
  } catch (...) {
    Rollback();
    throw;
  }
}

void PgConnection::BeginSnapshot() {
  // A reading run sends each of its statements many times with other keys
  // (an export's batches of packages, a baseline's extracts): planned once
  // for any key rather than again for the first executions of each.
  ExecuteScript(
      "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY; "
      "SET LOCAL plan_cache_mode = force_generic_plan");
}

std::shared_ptr<Connection> PgConnection::OpenSnapshotReader() {
  if (!InTransaction()) return nullptr;
  // The server hands this transaction's snapshot to another session, which
  // adopts it as the first step of its own repeatable-read transaction.
  const std::string snapshot = Scalar("SELECT pg_export_snapshot()", {}).ToText();
  // An identifier of hexadecimal numbers and dashes, spliced as a literal.
  if (snapshot.empty() ||
      snapshot.find_first_not_of("0123456789ABCDEFabcdef-") != std::string::npos)
    return nullptr;
  try {
    auto reader = Open(spec_, schema_);
    reader->SetShownName(ShownName());
    reader->ExecuteScript("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY; "
                          "SET TRANSACTION SNAPSHOT '" + snapshot + "'");
    return reader;
  } catch (const Error&) {
    return nullptr;  // no second session to be had (the server's connection limit): one reads
  }
}

void PgConnection::Commit() {
  BeforeStatement("Commit");
  // The tables just loaded have statistics of their empty selves: without
  // new ones the planner reads them as tiny until autovacuum comes by.
  for (const std::string& table : filled_)
    PQclear(Checked(PQexec(conn_, ("ANALYZE " + table).c_str()), "Commit", "ANALYZE " + table));
  filled_.clear();
  PQclear(Checked(PQexec(conn_, "COMMIT"), "Commit", "COMMIT"));
}

void PgConnection::Rollback() {
  loads_.clear();
  load_at_.clear();
  held_bytes_ = 0;
  filled_.clear();
  failed_load_.reset();
  if (InTransaction()) PQclear(PQexec(conn_, "ROLLBACK"));
}

bool PgConnection::InTransaction() const { return PQtransactionStatus(conn_) != PQTRANS_IDLE; }

}  // namespace qmxml
