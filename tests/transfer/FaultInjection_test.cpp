// A statement that fails at any step of an import leaves the target
// database as it was, on both kinds of database: the connection's fault
// hook makes the N-th statement fail, early, in the middle of the packages
// (where a server holds rows back to load them together), and at the very
// end (the commit).
#include "TestSupport.h"
#include "qmxml/Error.h"
#include "qmxml/Transfer.h"
#include "sample/SampleProject.h"

namespace qmxml::testing {
namespace {

class FaultInjectionTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    const std::string source = dbs.NewSample("source.db", 60, 3);
    folder = dir.File("e1");
    ExportProject(source, folder, {});
  }
  void TearDown() override { Connection::FailStatementForTesting(0); }

  // A target that already holds the project, so that the import under
  // test (a copy) adds to tables that have rows.
  std::string Target(const std::string& name) {
    std::string target = dbs.New(name);
    ImportProject(folder, target, {});
    return target;
  }

  TempDir dir;
  TestDatabases dbs{GetParam(), dir};
  std::string folder;
};

INSTANTIATE_TEST_SUITE_P(Databases, FaultInjectionTest, ::testing::ValuesIn(Backends()),
                         [](const auto& info) { return info.param; });

TEST_P(FaultInjectionTest, AFailingStatementAtAnyStepLeavesTheDatabaseUnchanged) {
  // How many statements a whole copy sends, counted on a twin of the target.
  const std::string twin = Target("twin.db");
  Connection::FailStatementForTesting(0);
  ImportProject(folder, twin, AsCopy());
  const long total = Connection::StatementsSent();
  ASSERT_GT(total, 100);

  const std::string target = Target("target.db");
  const std::string before = DatabaseText(*OpenProjectDatabase(target));
  for (long step : {1L, 5L, total / 3, total / 2, total * 3 / 4, total - 1, total}) {
    SCOPED_TRACE("statement " + std::to_string(step) + " of " + std::to_string(total));
    Connection::FailStatementForTesting(step);
    try {
      ImportProject(folder, target, AsCopy());
      ADD_FAILURE() << "the import did not fail";
    } catch (const Error& e) {
      EXPECT_EQ(e.Number(), eErr_Database) << e.Description();
      EXPECT_NE(e.Description().find("fault injected"), std::string::npos) << e.Description();
    }
    Connection::FailStatementForTesting(0);
    EXPECT_EQ(DatabaseText(*OpenProjectDatabase(target)), before);
  }
  // Without a fault the same import arrives.
  ImportProject(folder, target, AsCopy());
  EXPECT_NE(DatabaseText(*OpenProjectDatabase(target)), before);
}

}  // namespace
}  // namespace qmxml::testing
