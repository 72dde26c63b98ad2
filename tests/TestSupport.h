// Shared test support: a temporary folder per test, a fresh project
// database from the shipped schema, transfer objects wired to it, and
// record sets built by hand.
#pragma once

#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "qmxml/Collection.h"
#include "qmxml/Connection.h"
#include "qmxml/DataDescriptor.h"
#include "qmxml/KeyMap.h"
#include "qmxml/ProjectDatabase.h"
#include "qmxml/Recordset.h"
#include "qmxml/Scheduler.h"
#include "qmxml/Services.h"
#include "qmxml/Transfer.h"
#include "qmxml/SourceContainer.h"
#include "sample/SampleProject.h"

namespace qmxml::testing {

// A folder under the system's temporary folder, removed at the end.
class TempDir {
 public:
  TempDir() {
    auto base = std::filesystem::temp_directory_path();
    for (int i = 0;; ++i) {
      path_ = base / ("qmxml_test_" + std::to_string(::getpid()) + "_" + std::to_string(i));
      if (std::filesystem::create_directory(path_)) break;
    }
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string File(const std::string& name) const { return (path_ / name).string(); }
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

// The rows of |sql| on |conn| as text: each value followed by "|", a line
// per row. Compares database contents in one assertion.
inline std::string QueryText(Connection& conn, const std::string& sql) {
  std::string out;
  for (auto rs = conn.Query(sql); !rs->IsEOF(); rs->MoveNext()) {
    for (size_t c = 0; c < rs->Columns().size(); ++c)
      out += rs->ValueAt(static_cast<int>(c)).ToText() + "|";
    out += "\n";
  }
  return out;
}

// ---- the databases a test runs against ----
//
// Transfer and connection tests run on both kinds of database: a SQLite
// file always, and PostgreSQL when QMXML_TEST_PG holds a libpq connection
// string of a server the tests may use (scripts/test.sh starts one). On the
// server every database a test asks for is a schema of its own, dropped at
// the end.

inline std::vector<std::string> Backends() {
  std::vector<std::string> kinds = {"sqlite"};
  const char* pg = std::getenv("QMXML_TEST_PG");
  if (pg != nullptr && *pg != '\0') kinds.push_back("postgres");
  return kinds;
}

class TestDatabases {
 public:
  TestDatabases(std::string backend, const TempDir& dir) : backend_(std::move(backend)), dir_(dir) {}
  ~TestDatabases() {
    if (schemas_.empty()) return;
    try {
      auto conn = Connection::Open(Server(), false);
      for (const auto& s : schemas_) conn->ExecuteScript("DROP SCHEMA IF EXISTS " + s + " CASCADE");
    } catch (const std::exception&) {
    }
  }
  TestDatabases(const TestDatabases&) = delete;
  TestDatabases& operator=(const TestDatabases&) = delete;

  const std::string& Backend() const { return backend_; }
  bool OnServer() const { return backend_ == "postgres"; }
  // Names a database that does not exist yet: a file in the test's folder,
  // or a new, empty schema on the server.
  std::string New(const std::string& name) {
    if (!OnServer()) return dir_.File(name);
    static int counter = 0;
    std::string schema = "qmxml_t" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
    Connection::Open(Server(), false)->ExecuteScript("CREATE SCHEMA " + schema);
    schemas_.push_back(schema);
    const std::string base = Server();
    return base + (base.find('?') == std::string::npos ? "?" : "&") +
           "options=-csearch_path%3D" + schema;
  }
  // New(name) holding a sample project of |requirements| made from |seed|,
  // its key in the test's folder (QMXML_KEY_FILE names it for the runs).
  std::string NewSample(const std::string& name, int requirements, uint32_t seed) {
    const std::string db = New(name);
    SampleOptions opts;
    opts.requirements = requirements;
    opts.seed = seed;
    opts.key_file = dir_.File("sample.key");
    setenv("QMXML_KEY_FILE", opts.key_file.c_str(), 1);
    FillSampleProject(*CreateProjectDatabase(db), opts);
    return db;
  }

 private:
  static std::string Server() { return std::getenv("QMXML_TEST_PG"); }
  std::string backend_;
  const TempDir& dir_;
  std::vector<std::string> schemas_;
};

// Options of an import that copies the project (new GUIDs): what a
// failing import into the database that holds the original is tried with,
// so that the fault under test, not the project already being there, stops it.
inline ImportOptions AsCopy() {
  ImportOptions copy;
  copy.new_guids = true;
  return copy;
}

// Every row of every table of |conn|, in one text: compares a database
// before and after.
inline std::string DatabaseText(Connection& conn) {
  std::string out;
  for (const std::string& t : conn.Tables()) {
    std::vector<std::string> lines;
    for (auto rows = conn.Query("SELECT * FROM " + t); !rows->IsEOF(); rows->MoveNext()) {
      std::string line;
      for (size_t c = 0; c < rows->Columns().size(); ++c)
        line += rows->ValueAt(static_cast<int>(c)).ToText() + "|";
      lines.push_back(std::move(line));
    }
    std::sort(lines.begin(), lines.end());  // rows in no particular order on a server
    out += "[" + t + "]\n";
    for (const auto& l : lines) out += l + "\n";
  }
  return out;
}

// The names of |element|'s child elements in order, blank-separated.
inline std::string ChildNames(pugi::xml_node element) {
  std::string out;
  for (auto c : element.children())
    if (c.type() == pugi::node_element) out += (out.empty() ? "" : " ") + std::string(c.name());
  return out;
}

// Builds a record set from column names and rows of values; every column
// is typed from the first non-Null value in it (String when none).
inline std::shared_ptr<Recordset> MakeRecordset(const std::vector<std::string>& names,
                                                const std::vector<std::vector<Variant>>& rows) {
  std::vector<Column> cols;
  for (size_t c = 0; c < names.size(); ++c) {
    VarType t = VarType::String;
    for (const auto& r : rows)
      if (c < r.size() && !r[c].IsNull() && !r[c].IsEmpty()) {
        t = r[c].Type();
        break;
      }
    cols.push_back({names[c], t});
  }
  auto rs = std::make_shared<Recordset>(std::move(cols));
  for (const auto& r : rows) rs->AppendRow(r);
  rs->MoveFirst();
  return rs;
}

// A fresh project database in a temporary folder, with a database
// container (connection, key map) and a source container for one file.
class DbFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    db_path = dir.File("project.db");
    conn = CreateProjectDatabase(db_path);
    db = std::make_shared<DatabaseContainer>();
    db->connection = conn;
    db->keys = std::make_shared<KeyMap>(conn.get());
    db->view_builder = std::make_shared<AttrViewBuilder>();
  }
  std::shared_ptr<SourceContainer> Source(const std::string& file) {
    return std::make_shared<SourceContainer>(dir.File(file), db);
  }
  // The count of rows of |table|.
  long Count(const std::string& table) {
    return conn->Scalar("SELECT COUNT(*) FROM " + table, {}).ToLong();
  }
  // Every row of every table, to compare the database before and after.
  std::string Dump() { return DatabaseText(*conn); }

  TempDir dir;
  std::string db_path;
  std::shared_ptr<Connection> conn;
  std::shared_ptr<DatabaseContainer> db;
  DataDescriptor data;
  Scheduler scheduler;
};

}  // namespace qmxml::testing
