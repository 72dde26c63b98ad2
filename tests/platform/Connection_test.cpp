// The SQLite connection: marker and date rewriting, named commands, key
// allocation, errors and transactions.
#include "qmxml/Connection.h"

#include "TestSupport.h"
#include "platform/sqlite/SqliteConnection.h"
#include "qmxml/Error.h"

namespace qmxml::testing {
namespace {

class ConnectionTest : public DbFixture {};

TEST_F(ConnectionTest, RewriteDropsMarkersAndTurnsDateLiteralsIntoText) {
  EXPECT_EQ(SqliteConnection::Rewrite("Insert Into \x05\x01\x06qmProjects(ID) Values ( 1)"),
            "Insert Into qmProjects(ID) Values ( 1)");
  EXPECT_EQ(SqliteConnection::Rewrite("VALUES ({ ts '2009-03-01 14:05:00'}, 'a{ ts ''x''}')"),
            "VALUES ('2009-03-01 14:05:00', 'a{ ts ''x''}')");
}

TEST_F(ConnectionTest, RejectedStatementsComeBackAsNumberedErrors) {
  try {
    conn->Execute("Insert Into nosuchtable (x) Values (1)");
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), eErr_Database);
    EXPECT_NE(e.Description().find("nosuchtable"), std::string::npos);
  }
}

TEST_F(ConnectionTest, NamedCommandsAreKeptUntilReleasedAndCoerceByDescriptor) {
  EXPECT_FALSE(conn->HasCommand("OverflowTextInsert"));
  conn->CreateCommand("OverflowTextInsert",
                      "INSERT INTO \x05\x01\x06QmOverflowText (OverFlowID, OverflowText) "
                      "VALUES (?, ?)",
                      {Variant(int32_t{3}), Variant("8000;8")});
  EXPECT_TRUE(conn->HasCommand("overflowtextinsert"));
  conn->ExecuteCommand("OverflowTextInsert", {Variant("12"), Variant(int32_t{5})});
  EXPECT_EQ(conn->Scalar("SELECT typeof(OverFlowID) || typeof(OverflowText) FROM QmOverflowText", {})
                .ToText(),
            "integertext");
  EXPECT_THROW(conn->ExecuteCommand("OverflowTextInsert", {Variant("1")}), Error);
  conn->ReleaseCommand("OverflowTextInsert");
  EXPECT_FALSE(conn->HasCommand("OverflowTextInsert"));
  EXPECT_THROW(conn->ExecuteCommand("OverflowTextInsert", {Variant("1"), Variant("x")}), Error);
}

TEST_F(ConnectionTest, RollbackLeavesTheDatabaseAsItWas) {
  std::string before = Dump();
  conn->Begin();
  conn->Execute("INSERT INTO qmUsers (ID, LoginName) VALUES (1, 'x')");
  EXPECT_TRUE(conn->InTransaction());
  conn->Rollback();
  EXPECT_EQ(Dump(), before);
}

TEST_F(ConnectionTest, LookupValueAnswersTextOrEmpty) {
  conn->Execute("INSERT INTO qmUsers (ID, LoginName) VALUES (1, 'ann')");
  long found = -1;
  EXPECT_EQ(conn->LookupValue("SELECT LoginName FROM qmUsers WHERE ID = 1", "LoginName", &found), "ann");
  EXPECT_EQ(found, 1);
  EXPECT_EQ(conn->LookupValue("SELECT LoginName FROM qmUsers WHERE ID = 2", "LoginName", &found), "");
  EXPECT_EQ(found, 0);
}

}  // namespace
}  // namespace qmxml::testing
