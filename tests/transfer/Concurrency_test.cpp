// Transfers that meet on one database, on both kinds of database: two
// imports at the same time each arrive whole (the second waits for the
// first), and an export that runs while an import is under way sees none of
// the import's rows.
#include <atomic>
#include <chrono>
#include <set>
#include <thread>

#include "TestSupport.h"
#include "qmxml/Error.h"
#include "qmxml/Transfer.h"
#include "sample/SampleProject.h"

namespace qmxml::testing {
namespace {
namespace fs = std::filesystem;

class ConcurrencyTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    const std::string source = dbs.New("source.db");
    auto conn = CreateProjectDatabase(source);
    SampleOptions opts;
    opts.requirements = 60;
    opts.seed = 11;
    opts.key_file = dir.File("sample.key");
    setenv("QMXML_KEY_FILE", opts.key_file.c_str(), 1);
    FillSampleProject(*conn, opts);
    exported = dir.File("e1");
    ExportProject(source, exported, {});
  }
  TempDir dir;
  TestDatabases dbs{GetParam(), dir};
  std::string exported;
};

INSTANTIATE_TEST_SUITE_P(Databases, ConcurrencyTest, ::testing::ValuesIn(Backends()),
                         [](const auto& info) { return info.param; });

TEST_P(ConcurrencyTest, TwoImportsAtOnceBothArriveWholeUnderKeysOfTheirOwn) {
  const std::string target = dbs.New("target.db");
  CreateProjectDatabase(target);
  ImportOptions copy;
  copy.new_guids = true;
  copy.lock_wait_ms = 60000;
  std::atomic<int> failures{0};
  auto run = [&] {
    try {
      ImportProject(exported, target, copy);
    } catch (const Error& e) {
      ADD_FAILURE() << e.Description();
      ++failures;
    }
  };
  std::thread a(run), b(run);
  a.join();
  b.join();
  ASSERT_EQ(failures, 0);
  auto conn = OpenProjectDatabase(target);
  EXPECT_EQ(conn->CountRows("qmProjects"), 2);
  // Each project holds the whole sample, and no requirement key is shared.
  auto per_project = conn->Query(
      "SELECT ProjectID, COUNT(*) AS N FROM qmProjectRequirements GROUP BY ProjectID ORDER BY ProjectID");
  int projects = 0;
  for (; !per_project->IsEOF(); per_project->MoveNext(), ++projects)
    EXPECT_EQ(per_project->Value("N").ToLong(), 60);
  EXPECT_EQ(projects, 2);
  EXPECT_EQ(conn->Scalar("SELECT COUNT(DISTINCT ID) FROM qmRequirements", {}).ToLong(), 120);
}

TEST_P(ConcurrencyTest, AnExportDuringAnImportSeesNoneOfItsRows) {
  const std::string target = dbs.New("target.db");
  std::atomic<bool> importing{false}, exported_meanwhile{false};
  ImportOptions options;
  options.progress = [&](const std::string& step) {
    // Halfway through (the project and structure are in, not committed),
    // hold the import until the export has run.
    if (step != "import packages" || importing) return;
    importing = true;
    for (int i = 0; i < 2000 && !exported_meanwhile; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  };
  std::thread import([&] { ImportProject(exported, target, options); });
  while (!importing) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  // The database may exist already (a server schema does); its project
  // does not, until the import commits.
  try {
    ExportProject(target, dir.File("during"), {});
    ADD_FAILURE() << "the export saw a project that was not committed";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), ProjectDatabaseExists(target) ? eErr_Transfer : eErr_FileNotFound)
        << e.Description();
  }
  exported_meanwhile = true;
  import.join();
  ExportProject(target, dir.File("after"), {});
  EXPECT_EQ(ReadFile(dir.File("after/project.xml")), ReadFile(exported + "/project.xml"));
  EXPECT_FALSE(fs::exists(dir.File("during")));
}

}  // namespace
}  // namespace qmxml::testing
