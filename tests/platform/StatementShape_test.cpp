// INSERT texts split into shape and values, and stored exactly as the text
// itself would store them.
#include "platform/StatementShape.h"

#include "TestSupport.h"
#include "platform/sqlite/SqliteConnection.h"

namespace qmxml::testing {
namespace {

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
