// The user's key file (the plain command-line flow needs no key options;
// keys are the owner's alone and never written through a planted link),
// the one rule for file names built from GUIDs across export, baseline and
// report, and strict runs that fail, writing nothing, on what was left out.
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>

#include "TestSupport.h"
#include "host/HostServices.h"
#include "qmxml/Baseline.h"
#include "qmxml/Error.h"
#include "sample/SampleProject.h"

namespace qmxml::testing {
namespace {
namespace fs = std::filesystem;

mode_t ModeOf(const fs::path& p) {
  struct stat st {};
  EXPECT_EQ(::lstat(p.c_str(), &st), 0) << p;
  return st.st_mode & 07777;
}

// Runs the command line with |env| in front; answers the exit code.
int Cli(const std::string& env, const std::string& args) {
  const std::string command =
      env + " " + std::string(QMXML_CLI) + " -q " + args + " >/dev/null 2>&1";
  return WEXITSTATUS(std::system(command.c_str()));
}

TEST(KeyFile, ThePlainFlowNeedsNoKeyOptionsAndTheKeyIsTheOwnersAlone) {
  // sample, export, import, export with no --key-file and no QMXML_KEY_FILE,
  // under a umask that would give everyone everything: the user's key is
  // made once, owner-only, and every saved query keeps its text.
  TempDir dir;
  const std::string env = "umask 000; unset QMXML_KEY_FILE; HOME=" + dir.File("home") +
                          " XDG_CONFIG_HOME=";
  fs::create_directory(dir.File("home"));
  ASSERT_EQ(Cli(env, "sample " + dir.File("a.db") + " --requirements 60"), 0);
  ASSERT_EQ(Cli(env, "export " + dir.File("a.db") + " " + dir.File("out")), 0);
  ASSERT_EQ(Cli(env, "import " + dir.File("out") + " " + dir.File("b.db") + " --strict"), 0);
  ASSERT_EQ(Cli(env, "export " + dir.File("b.db") + " " + dir.File("out2") + " --strict"), 0);
  const fs::path key = dir.Path() / "home/.config/qmxml/key";
  EXPECT_EQ(ModeOf(key), 0600);
  EXPECT_EQ(ModeOf(key.parent_path()), 0700);
  EXPECT_FALSE(fs::exists(dir.File("a.db.key")));
  EXPECT_EQ(ReadFile(dir.File("out2/queries.xml")), ReadFile(dir.File("out/queries.xml")));
  auto b = OpenProjectDatabase(dir.File("b.db"));
  EXPECT_GT(b->Scalar("SELECT COUNT(*) FROM QmQueryDefinitions", {}).ToLong(), 0);
  EXPECT_EQ(b->Scalar("SELECT COUNT(*) FROM QmQueryDefinitions WHERE QUERYSTRING IS NULL OR "
                      "QUERYSTRING = ''",
                      {})
                .ToLong(),
            0);
}

// ---- the one rule for file names, and strict runs ----

class NamesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db = dir.File("p.db");
    SampleOptions opts;
    opts.requirements = 60;
    opts.key_file = dir.File("p.key");
    setenv(kCipherKeyVariable, opts.key_file.c_str(), 1);
    FillSampleProject(*CreateProjectDatabase(db), opts);
    auto conn = OpenProjectDatabase(db);
    resource = conn->Scalar("SELECT MIN(ID) FROM QmResources", {}).ToLong();
    guid = conn->Scalar("SELECT QMGUID FROM QmResources WHERE ID = ?", {Variant(resource)}).ToText();
    package = conn->Scalar(
                      "SELECT p.QMGUID FROM QmPackages p JOIN QmPackageElements e ON e.PACKAGEID = "
                      "p.ID JOIN QmResources r ON r.REQUIREMENTID = e.REQUIREMENTID WHERE r.ID = ?",
                      {Variant(resource)})
                  .ToText();
  }
  void TearDown() override { unsetenv(kCipherKeyVariable); }
  void SetResourceGuid(const std::string& g) {
    OpenProjectDatabase(db)->Run("UPDATE QmResources SET QMGUID = ? WHERE ID = ?",
                                 {Variant(g), Variant(resource)});
  }
  TempDir dir;
  std::string db, guid, package;
  int32_t resource = 0;
};

TEST_F(NamesTest, AGuidWithOrWithoutBracesNamesAFileAndAnythingElseFailsEveryCommand) {
  // Stored without braces: every command names the file by the braced GUID,
  // and the import stores the GUID as it was.
  const std::string bare = guid.substr(1, 36);
  SetResourceGuid(bare);
  ExportProject(db, dir.File("out"), {});
  EXPECT_TRUE(fs::exists(dir.File("out/packages/Resources/" + guid + ".XML")));
  ImportProject(dir.File("out"), dir.File("copy.db"), {});
  EXPECT_EQ(OpenProjectDatabase(dir.File("copy.db"))
                ->Scalar("SELECT COUNT(*) FROM QmResources WHERE QMGUID = ?", {Variant(bare)})
                .ToLong(),
            1);
  BaselineOptions whole;
  WriteBaseline(db, dir.File("base"), whole);
  EXPECT_TRUE(fs::exists(dir.File("base/Resources/" + guid + ".XML")));
  ReportOptions report;
  report.package = package;
  report.reqs = true;
  EXPECT_NE(WriteReport(db, report).find(bare), std::string::npos);

  // Not a GUID: each command fails naming the row, and writes nothing.
  SetResourceGuid("../../escape");
  const std::vector<std::pair<const char*, std::function<void()>>> commands = {
      {"export", [&] { ExportProject(db, dir.File("out_bad"), {}); }},
      {"baseline", [&] { WriteBaseline(db, dir.File("base_bad"), whole); }},
      {"package baseline",
       [&] {
         BaselineOptions one;
         one.packages = {package};
         WriteBaseline(db, dir.File("base_bad"), one);
       }},
      {"report", [&] { WriteReport(db, report); }},
  };
  for (const auto& [name, run] : commands) {
    SCOPED_TRACE(name);
    try {
      run();
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.Number(), eErr_BadGuid);
      EXPECT_NE(e.Description().find("../../escape"), std::string::npos) << e.Description();
    }
  }
  EXPECT_FALSE(fs::exists(dir.File("out_bad")));
  EXPECT_FALSE(fs::exists(dir.File("base_bad")));
  EXPECT_FALSE(fs::exists(dir.File("escape.XML")));
}

TEST_F(NamesTest, QueryTextsThatCannotConvertAreCountedWithTheirCauseAndStrictRunsFail) {
  // A folder whose administrators' passwords were edited by hand: the
  // import goes on, the texts are stored empty and counted naming the user;
  // a strict import fails and leaves no database behind.
  ExportProject(db, dir.File("out"), {});
  const fs::path security = dir.File("out/security.xml");
  // Passwords are written as character codes: "QMC1:" becomes "EDIT:".
  std::string text = ReadFile(security.string());
  const std::string tag = "81;77;67;49;58;", edited = "69;68;73;84;58;";
  size_t edits = 0;
  for (size_t at = text.find(tag); at != std::string::npos; at = text.find(tag, at + 1), ++edits)
    text.replace(at, tag.size(), edited);
  ASSERT_GT(edits, 0u);
  WriteFile(security.string(), text);
  const ImportSummary summary = ImportProject(dir.File("out"), dir.File("b.db"), {});
  ASSERT_EQ(summary.losses.size(), 1u);
  EXPECT_NE(summary.losses.begin()->first.find("query text(s) stored empty (the stored password "
                                               "of the administrator \""),
            std::string::npos)
      << summary.losses.begin()->first;
  ImportOptions strict;
  strict.strict = true;
  try {
    ImportProject(dir.File("out"), dir.File("c.db"), strict);
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), eErr_Skipped);
  }
  EXPECT_FALSE(fs::exists(dir.File("c.db")));

  // An export without the key: written empty and counted naming the
  // missing key file; strict, it fails and writes no folder.
  setenv(kCipherKeyVariable, dir.File("gone.key").c_str(), 1);
  const ExportSummary exported = ExportProject(db, dir.File("out2"), {});
  bool named = false;
  for (const auto& [kind, n] : exported.losses)
    named = named || kind.find("cannot read its key file " + dir.File("gone.key")) != std::string::npos;
  EXPECT_TRUE(named);
  ExportOptions strict_export;
  strict_export.strict = true;
  try {
    ExportProject(db, dir.File("out3"), strict_export);
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), eErr_LeftOut);
    EXPECT_NE(e.Description().find("gone.key"), std::string::npos) << e.Description();
  }
  EXPECT_FALSE(fs::exists(dir.File("out3")));
}

}  // namespace
}  // namespace qmxml::testing
