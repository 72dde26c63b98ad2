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

// A connection string names a server database, which has no file; any
// other text is a file's path.
TEST(ConnectionText, ServerDatabasesAreNamedByTheirConnectionString) {
  EXPECT_EQ(DatabaseLocator("postgresql://host/db", "team").File(), "");
  EXPECT_EQ(DatabaseLocator("postgres:///db?host=/tmp").File(), "");
  EXPECT_EQ(DatabaseLocator("postgresql.db").File(), "postgresql.db");
  EXPECT_EQ(DatabaseLocator("/data/postgres://x", "team").File(), "/data/postgres://x");
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

TEST_P(ConnectionTest, NamedCommandsAreKeptUntilReleasedAndCoerceByDescriptor) {
  EXPECT_FALSE(conn->HasCommand("OverflowTextInsert"));
  conn->CreateCommand("OverflowTextInsert",
                      "INSERT INTO \x05\x01\x06QmOverflowText (OverFlowID, OverflowText) "
                      "VALUES (?, ?)",
                      {Variant(int32_t{3}), Variant("8000;8")});
  EXPECT_TRUE(conn->HasCommand("overflowtextinsert"));
  // Text for the number, a number for the text: each converted by its descriptor.
  conn->ExecuteCommand("OverflowTextInsert", {Variant("12"), Variant(int32_t{5})});
  auto rs = conn->Query("SELECT OverFlowID, OverflowText FROM QmOverflowText");
  EXPECT_EQ(rs->Columns()[0].type, VarType::Long);
  EXPECT_EQ(rs->ValueAt(0).ToLong(), 12);
  EXPECT_EQ(rs->ValueAt(1).Type(), VarType::String);
  EXPECT_EQ(rs->ValueAt(1).ToText(), "5");
  EXPECT_THROW(conn->ExecuteCommand("OverflowTextInsert", {Variant("1")}), Error);
  conn->ReleaseCommand("OverflowTextInsert");
  EXPECT_FALSE(conn->HasCommand("OverflowTextInsert"));
  EXPECT_THROW(conn->ExecuteCommand("OverflowTextInsert", {Variant("1"), Variant("x")}), Error);
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

TEST_P(ConnectionTest, LookupValueAnswersTextOrEmpty) {
  conn->Execute("INSERT INTO qmUsers (ID, LoginName) VALUES (1, 'ann')");
  long found = -1;
  EXPECT_EQ(conn->LookupValue("SELECT LoginName FROM qmUsers WHERE ID = 1", "LoginName", &found), "ann");
  EXPECT_EQ(found, 1);
  EXPECT_EQ(conn->LookupValue("SELECT LoginName FROM qmUsers WHERE ID = 2", "LoginName", &found), "");
  EXPECT_EQ(found, 0);
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

// Two writers that allocate keys of one type at the same time, each in its
// own transaction: the write lock makes the second wait, and its key map
// starts above what the first committed, so no key is issued twice.
TEST_P(ConnectionTest, WritersAtTheSameTimeNeverShareAKey) {
  auto allocate = [&](std::vector<int32_t>* out) {
    auto c = OpenProjectDatabase(spec);
    c->SetLockWait(20000);
    c->Begin();
    KeyMap keys(c.get());
    for (int i = 0; i < 50; ++i) {
      const int32_t key = keys.GetNextDBKey("User", "{u" + std::to_string(i) + "}");
      c->Run("INSERT INTO qmUsers (ID, LoginName) VALUES (?, 'w')", {Variant(key)});
      out->push_back(key);
    }
    c->Commit();
  };
  std::vector<int32_t> a, b;
  std::thread first(allocate, &a), second(allocate, &b);
  first.join();
  second.join();
  ASSERT_EQ(a.size(), 50u);
  ASSERT_EQ(b.size(), 50u);
  std::set<int32_t> all(a.begin(), a.end());
  all.insert(b.begin(), b.end());
  EXPECT_EQ(all.size(), 100u);
  EXPECT_EQ(conn->CountRows("qmUsers"), 100);
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
