// INSERT texts split into shape and values, and stored exactly as the text
// itself would store them.
#include "platform/StatementShape.h"

#include "TestSupport.h"
#include "platform/sqlite/SqliteConnection.h"

namespace qmxml::testing {
namespace {

TEST(StatementShape, SplitsLiteralsAndLeavesTheRestAlone) {
  struct Case {
    const char* sql;
    const char* shape;
    std::vector<std::string> values;  // as text; "<null>" for NULL
  } cases[] = {
      {"Insert Into T(A, B) Values ( 1, 'x')", "Insert Into T(A, B) Values ( ?, ?)", {"1", "x"}},
      {"INSERT INTO T2 (C1) VALUES ('O''Brien')", "INSERT INTO T2 (C1) VALUES (?)", {"O'Brien"}},
      {"insert into t (a,b,c) values (NULL, -2.5, 'nul')", "insert into t (a,b,c) values (?, -?, ?)",
       {"<null>", "2.5", "nul"}},
      {"INSERT INTO \"Table 9\" (x) VALUES ('a|b\x1a')", "INSERT INTO \"Table 9\" (x) VALUES (?)",
       {"a|b\x1a"}},
      {"INSERT INTO T (Nullable) VALUES ('')", "INSERT INTO T (Nullable) VALUES (?)", {""}},
  };
  for (const auto& c : cases) {
    StatementShape shape;
    ASSERT_TRUE(SplitInsertShape(c.sql, &shape)) << c.sql;
    EXPECT_EQ(shape.text, c.shape);
    ASSERT_EQ(shape.values.size(), c.values.size()) << c.sql;
    for (size_t i = 0; i < c.values.size(); ++i)
      EXPECT_EQ(shape.values[i].IsNull() ? "<null>" : shape.values[i].ToText(), c.values[i]);
  }
  StatementShape shape;
  EXPECT_FALSE(SplitInsertShape("UPDATE T SET A = 1", &shape));
  EXPECT_FALSE(SplitInsertShape("INSERT INTO T (B) VALUES (X'00FF')", &shape));
  EXPECT_FALSE(SplitInsertShape("INSERT INTO T (B) VALUES ('open", &shape));
}

class StatementShapeDb : public DbFixture {};

TEST_F(StatementShapeDb, ShapedInsertsStoreWhatTheTextWouldStore) {
  const std::string rows[] = {
      "Insert Into \x05\x01\x06qmProjects(ID, Name, Prefix, Flags, VersionDateTime) Values ( 7, "
      "'A''b|c', NULL, 3, { ts '2009-03-01 14:05:00'})",
      "Insert Into \x05\x01\x06qmProjects(ID, Name, Prefix, Flags, VersionDateTime) Values ( 8, "
      "'', 'P', 0, NULL)",
  };
  for (const auto& r : rows) conn->Execute(r);
  auto other = CreateProjectDatabase(dir.File("plain.db"));
  for (const auto& r : rows) other->ExecuteScript(SqliteConnection::Rewrite(r));
  const char* q =
      "SELECT group_concat(ID || ':' || typeof(Name) || Name || ':' || typeof(Prefix) || ':' || "
      "typeof(Flags) || Flags || ':' || typeof(VersionDateTime), ';') FROM qmProjects";
  EXPECT_EQ(conn->Scalar(q, {}).ToText(), other->Scalar(q, {}).ToText());
  EXPECT_EQ(conn->Scalar(q, {}).ToText(),
            "7:textA'b|c:null:integer3:text;8:text:text:integer0:null");
}

}  // namespace
}  // namespace qmxml::testing
