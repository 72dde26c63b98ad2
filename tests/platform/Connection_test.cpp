// The connections, on both kinds of database: marker and date rewriting,
// placeholders, named commands, bytes, the case-insensitive GUID lookup,
// errors, transactions and the write lock, and keys allocated by writers
// that run at the same time.
#include "qmxml/Connection.h"

#include <set>
#include <thread>

#include "TestSupport.h"
#include "platform/postgres/PgConnection.h"
#include "platform/sqlite/SqliteConnection.h"
#include "qmxml/Error.h"
#include "qmxml/KeyMap.h"

namespace qmxml::testing {
namespace {

TEST(ConnectionText, EachDialectRewritesMarkersDatesAndPlaceholders) {
  struct Case {
    std::string in, sqlite, server;
  };
  const Case cases[] = {
      {"Insert Into \x05\x01\x06qmProjects(ID) Values ( 1)", "Insert Into qmProjects(ID) Values ( 1)",
       "Insert Into team.qmProjects(ID) Values ( 1)"},
      {"VALUES ({ ts '2009-03-01 14:05:00'}, 'a{ ts ''x''}')",
       "VALUES ('2009-03-01 14:05:00', 'a{ ts ''x''}')",
       "VALUES ('2009-03-01 14:05:00', 'a{ ts ''x''}')"},
      // A marker or "?" inside a literal is text.
      {"SELECT '\x05\x01\x06?' FROM \x05\x01\x06T WHERE A = ? AND B = ?", "SELECT '\x05\x01\x06?' FROM T WHERE A = ? AND B = ?",
       "SELECT '\x05\x01\x06?' FROM team.T WHERE A = $1 AND B = $2"},
      // Numbered parameters, and a plain one after them, count as SQLite does.
      {"WHERE A = ?2 OR B = ?1 OR C = ?", "WHERE A = ?2 OR B = ?1 OR C = ?",
       "WHERE A = $2 OR B = $1 OR C = $3"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SqliteConnection::Rewrite(c.in), c.sqlite);
    EXPECT_EQ(PgConnection::Rewrite(c.in, "team.", true), c.server);
  }
}

class ConnectionTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    spec = dbs.New("c.db");
    conn = CreateProjectDatabase(spec);
  }
  TempDir dir;
  TestDatabases dbs{GetParam(), dir};
  std::string spec;
  std::shared_ptr<Connection> conn;
};

INSTANTIATE_TEST_SUITE_P(Databases, ConnectionTest, ::testing::ValuesIn(Backends()),
                         [](const auto& info) { return info.param; });

TEST_P(ConnectionTest, RejectedStatementsComeBackAsNumberedErrors) {
  try {
    conn->Execute("Insert Into nosuchtable (x) Values (1)");
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), eErr_Database);
    EXPECT_NE(e.Description().find("nosuchtable"), std::string::npos);
  }
}

TEST_P(ConnectionTest, QueriesSentTogetherComeBackInOrderAndARejectedOneLeavesTheConnectionServing) {
  for (int id : {1, 2})
    conn->Run("INSERT INTO qmUsers (ID, LoginName) VALUES (?, ?)",
              {Variant(int32_t{id}), Variant(std::string(1, static_cast<char>('a' + id - 1)))});
  const std::string login = "SELECT LoginName FROM qmUsers WHERE ID = ?";
  auto rows = conn->QueryEach({{login, {Variant(int32_t{2})}}, {login, {Variant(int32_t{1})}}});
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0]->ValueAt(0).ToText(), "b");
  EXPECT_EQ(rows[1]->ValueAt(0).ToText(), "a");
  // A server refuses to divide by zero while the statements after it are
  // already on their way; SQLite gives Null.
  bool rejected = false;
  try {
    conn->QueryEach({{login, {Variant(int32_t{1})}},
                     {"SELECT 1 / ? FROM qmUsers", {Variant(int32_t{0})}},
                     {login, {Variant(int32_t{2})}}});
  } catch (const Error& e) {
    rejected = true;
    EXPECT_EQ(e.Number(), eErr_Database);
  }
  EXPECT_EQ(rejected, dbs.OnServer());
  EXPECT_EQ(conn->Scalar(login, {Variant(int32_t{2})}).ToText(), "b");
}

TEST_P(ConnectionTest, BytesTextsAndNumbersComeBackAsTheyWent) {
  std::vector<uint8_t> bytes;
  for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<uint8_t>(i));
  const std::string text = "Zuständig: Jürgen – 東京 \x1a|\r\n\t'\"\\";
  conn->Run("INSERT INTO QmResources (ID, NAME, RESOURCEOBJ, QMGUID) VALUES (?, ?, ?, ?)",
            {Variant(int32_t{7}), Variant(text), Variant(bytes), Variant("{g}")});
  // The same through SQL text with the values written in (the readers' way).
  conn->Execute("INSERT INTO \x05\x01\x06QmUserDefinedFieldValues (REQUIREMENTID, FIELDID, "
                "FieldValue, NumericValue) VALUES (1, 2, 'it''s', 0.25)");
  auto rs = conn->Query("SELECT NAME, RESOURCEOBJ FROM QmResources WHERE ID = ?", {Variant(int32_t{7})});
  ASSERT_FALSE(rs->IsEOF());
  EXPECT_EQ(rs->ValueAt(0).ToText(), text);
  ASSERT_NE(rs->ValueAt(1).Bytes(), nullptr);
  EXPECT_TRUE(*rs->ValueAt(1).Bytes() == bytes);
  auto v = conn->Query("SELECT FieldValue, NumericValue FROM QmUserDefinedFieldValues");
  EXPECT_EQ(v->ValueAt(0).ToText(), "it's");
  EXPECT_DOUBLE_EQ(v->ValueAt(1).ToDouble(), 0.25);
}

TEST_P(ConnectionTest, GuidsAreFoundWhateverTheirCase) {
  conn->Execute("INSERT INTO qmUsers (ID, LoginName, QMGUID) VALUES (4, 'ann', '{ABCDEF01-0000-0000-0000-00000000000A}')");
  KeyMap keys(conn.get());
  EXPECT_EQ(keys.getKeyFromGUID("User", "{abcdef01-0000-0000-0000-00000000000a}"), 4);
  EXPECT_EQ(conn->Scalar("SELECT ID FROM qmUsers WHERE " + conn->EqualsNoCaseSql("QMGUID"),
                         {Variant("{AbCdEf01-0000-0000-0000-00000000000A}")})
                .ToLong(),
            4);
  EXPECT_EQ(keys.getKeyFromGUID("User", "{abcdef01-0000-0000-0000-00000000000b}"), 0);
}

TEST_P(ConnectionTest, RollbackLeavesTheDatabaseAsItWas) {
  const std::string before = DatabaseText(*conn);
  conn->Begin();
  conn->Execute("INSERT INTO qmUsers (ID, LoginName) VALUES (1, 'x')");
  EXPECT_TRUE(conn->InTransaction());
  conn->Rollback();
  EXPECT_FALSE(conn->InTransaction());
  EXPECT_EQ(DatabaseText(*conn), before);
}

TEST_P(ConnectionTest, ASecondWriterWaitsForTheFirstAndGivesUpWhenToldTo) {
  auto other = OpenProjectDatabase(spec);
  conn->Begin();
  other->SetLockWait(100);
  try {
    other->Begin();
    ADD_FAILURE() << "two writers at once";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), eErr_Locked);
  }
  EXPECT_FALSE(other->InTransaction());
  conn->Commit();
  other->Begin();  // free now
  other->Rollback();
}

// A second reader reads what the first reads, not what was committed after
// the first began; a file in WAL mode, where it could, gives none.
TEST_P(ConnectionTest, ASecondReaderSeesTheSnapshotOfTheFirst) {
  conn->Execute("INSERT INTO qmUsers (ID, LoginName) VALUES (1, 'before')");
  auto reader = OpenProjectDatabase(spec);
  EXPECT_EQ(reader->OpenSnapshotReader(), nullptr);  // outside a snapshot: none
  reader->BeginSnapshot();
  EXPECT_EQ(reader->CountRows("qmUsers"), 1);
  // A file's writer waits for the first reader; a server's commits.
  conn->SetLockWait(100);
  auto write = [&](const char* sql) {
    try {
      conn->Execute(sql);
    } catch (const Error& e) {
      EXPECT_FALSE(dbs.OnServer()) << e.Description();
    }
  };
  write("INSERT INTO qmUsers (ID, LoginName) VALUES (2, 'between')");
  auto second = reader->OpenSnapshotReader();
  ASSERT_NE(second, nullptr);
  write("INSERT INTO qmUsers (ID, LoginName) VALUES (3, 'after')");
  EXPECT_EQ(second->CountRows("qmUsers"), 1);
  EXPECT_EQ(reader->CountRows("qmUsers"), 1);
  second.reset();
  reader->Rollback();
  EXPECT_EQ(OpenProjectDatabase(spec)->CountRows("qmUsers"), dbs.OnServer() ? 3 : 1);
  if (dbs.OnServer()) return;
  conn->Execute("PRAGMA journal_mode = WAL");
  reader->BeginSnapshot();
  EXPECT_EQ(reader->CountRows("qmUsers"), 1);
  EXPECT_EQ(reader->OpenSnapshotReader(), nullptr);
}

// On a server the tables are those of the schema named when the database
// is opened (--pg-schema), whatever the server's search path.
TEST_P(ConnectionTest, TheMarkerNamesTheSchemaGivenOnAServer) {
  if (!dbs.OnServer()) GTEST_SKIP() << "a file database has no schemas";
  const std::string server = std::getenv("QMXML_TEST_PG");
  const std::string schema = "qmxml_marker_" + std::to_string(::getpid());
  auto team = CreateProjectDatabase({server, schema});
  team->Execute("INSERT INTO \x05\x01\x06qmUsers (ID, LoginName) VALUES (1, 'in the schema')");
  auto plain = Connection::Open(server, false);
  EXPECT_EQ(plain->Scalar("SELECT LoginName FROM " + schema + ".qmUsers", {}).ToText(), "in the schema");
  EXPECT_TRUE(ProjectDatabaseExists({server, schema}));
  DropProjectDatabase({server, schema});
  EXPECT_FALSE(ProjectDatabaseExists({server, schema}));
  plain->ExecuteScript("DROP SCHEMA " + schema + " CASCADE");
}

}  // namespace
}  // namespace qmxml::testing
