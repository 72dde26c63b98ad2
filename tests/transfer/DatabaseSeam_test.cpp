// The database seam: a project database named by a locator is found,
// created, opened and dropped alike on either kind, and no command that
// reads a database writes its output over that database or its key file.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "TestSupport.h"
#include "qmxml/Baseline.h"
#include "qmxml/Error.h"
#include "qmxml/Output.h"
#include "qmxml/Reqif.h"
#include "sample/SampleProject.h"

namespace qmxml::testing {
namespace {

int32_t NumberOf(const std::function<void()>& run) {
  try {
    run();
  } catch (const Error& e) {
    return e.Number();
  }
  return 0;
}

class DatabaseSeamTest : public ::testing::TestWithParam<std::string> {
 protected:
  TempDir dir;
  TestDatabases dbs{GetParam(), dir};
};

INSTANTIATE_TEST_SUITE_P(Databases, DatabaseSeamTest, ::testing::ValuesIn(Backends()),
                         [](const auto& info) { return info.param; });

TEST_P(DatabaseSeamTest, AProjectDatabaseIsFoundCreatedAndDroppedByItsLocator) {
  const DatabaseLocator db = dbs.New("life.db");
  EXPECT_FALSE(ProjectDatabaseExists(db));
  EXPECT_EQ(NumberOf([&] { OpenProjectDatabase(db); }), eErr_FileNotFound);
  CreateProjectDatabase(db);
  EXPECT_TRUE(ProjectDatabaseExists(db));
  const std::vector<std::string> tables = ProjectTables(*OpenProjectDatabase(db));
  EXPECT_NE(std::find(tables.begin(), tables.end(), "qmProjects"), tables.end());
  EXPECT_NE(std::find(tables.begin(), tables.end(), "QmKeys"), tables.end());
  EXPECT_EQ(NumberOf([&] { CreateProjectDatabase(db); }), eErr_InvalidArgument);
  DropProjectDatabase(db);
  EXPECT_FALSE(ProjectDatabaseExists(db));
}

// However the path is spelled, before anything is read (the package named
// does not exist), and with the database left as it was.
TEST(CommandOutput, NoOutputReplacesTheDatabaseItReads) {
  TempDir dir;
  const std::string db = dir.File("own.db");
  std::filesystem::create_directory(dir.File("sub"));
  const std::string same_file = dir.File("sub/../own.db");
  SampleOptions opts;
  opts.requirements = 5;
  opts.seed = 3;
  opts.key_file = db + ".key";
  FillSampleProject(*CreateProjectDatabase(db), opts);
  const std::string before = ReadFile(db), key = ReadFile(opts.key_file);
  ReportOptions report;
  report.package = "no such package";
  ExportOptions replace;
  replace.force = true;
  struct Case {
    const char* what;
    std::function<void()> run;
  };
  const Case cases[] = {
      {"report", [&] { WriteReportTo(db, report, same_file); }},
      {"report over the key file", [&] { WriteReportTo(db, report, opts.key_file); }},
      {"query listing",
       [&] {
         WriteCommandOutput(db, same_file, [] {
           ADD_FAILURE() << "built before the check";
           return std::string("x");
         });
       }},
      {"ReqIF export", [&] { ExportReqif(db, same_file, {}); }},
      {"export replacing its folder", [&] { ExportProject(db, dir.Path().string(), replace); }},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NumberOf(c.run), eErr_OwnDatabase) << c.what;
    EXPECT_EQ(ReadFile(db), before) << c.what;
    EXPECT_EQ(ReadFile(opts.key_file), key) << c.what;
  }
}

}  // namespace
}  // namespace qmxml::testing
