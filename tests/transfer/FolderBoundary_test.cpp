// The folder as a trust boundary. Each check is tried with the attack it
// stops: a path out of the folder on import and on export, identities that
// are not GUIDs or come twice, documents that are not well-formed, a second
// import of the same project, a held lock. Every refused import must leave
// the database exactly as it was.
#include <sys/stat.h>

#include <cstdlib>
#include <algorithm>
#include <functional>
#include <regex>
#include <thread>

#include "TestSupport.h"
#include "qmxml/Error.h"
#include "sample/SampleProject.h"
#include "qmxml/Baseline.h"
#include "qmxml/Transfer.h"

namespace qmxml::testing {
namespace {
namespace fs = std::filesystem;

// Every row of every table, in one text.
std::string DatabaseText(const std::string& spec) {
  return testing::DatabaseText(*OpenProjectDatabase(spec));
}

// The rows of |sql| whose text holds |needle|, sorted: compares chosen rows
// of two databases.
std::vector<std::string> RowsHolding(const std::string& spec, const std::string& sql,
                                     const std::string& needle) {
  std::vector<std::string> rows;
  std::istringstream in(QueryText(*OpenProjectDatabase(spec), sql));
  for (std::string line; std::getline(in, line);)
    if (line.find(needle) != std::string::npos) rows.push_back(line);
  std::sort(rows.begin(), rows.end());
  return rows;
}

// Replaces the first match of |pattern| in |file| by |replacement| (regex
// format); fails the test when nothing matches.
void Edit(const fs::path& file, const std::string& pattern, const std::string& replacement) {
  std::string text = ReadFile(file.string());
  std::smatch m;
  ASSERT_TRUE(std::regex_search(text, m, std::regex(pattern))) << pattern << " in " << file;
  text = m.prefix().str() + m.format(replacement) + m.suffix().str();
  WriteFile(file.string(), text);
}

// The first group of the first match of |pattern| in |file|.
std::string FirstMatch(const fs::path& file, const std::string& pattern) {
  const std::string text = ReadFile(file.string());
  std::smatch m;
  if (!std::regex_search(text, m, std::regex(pattern))) ADD_FAILURE() << pattern << " in " << file;
  return m.size() > 1 ? m[1].str() : "";
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The first package file of |dir| that holds |needle|.
fs::path PackageWith(const fs::path& dir, const std::string& needle) {
  for (const auto& e : fs::directory_iterator(dir / "packages"))
    if (e.path().extension() == ".XML" && ReadFile(e.path().string()).find(needle) != std::string::npos)
      return e.path();
  return {};
}

class FolderBoundaryTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    source = dbs.New("source.db");
    auto conn = CreateProjectDatabase(source);
    SampleOptions opts;
    opts.requirements = 80;
    opts.seed = 3;
    // Saved queries are converted on the project opened as an administrator,
    // whose password the sample enciphers with this key.
    opts.key_file = dir.File("sample.key");
    setenv("QMXML_KEY_FILE", opts.key_file.c_str(), 1);
    FillSampleProject(*conn, opts);
    exported = dir.File("e1");
    ExportProject(source, exported.string(), {});
  }
  // A copy of the export to spoil.
  fs::path Copy(const std::string& name) {
    fs::path to = dir.File(name);
    fs::remove_all(to);
    fs::copy(exported, to, fs::copy_options::recursive);
    return to;
  }
  // Runs the import and returns its error; fails when it succeeds.
  Error Refused(const fs::path& folder, const std::string& db, const ImportOptions& options) {
    try {
      ImportProject(folder.string(), db, options);
    } catch (const Error& e) {
      return e;
    }
    ADD_FAILURE() << "the import of " << folder << " was not refused";
    return Error(0, "", "");
  }
  void Exec(const std::string& sql, const std::vector<Variant>& values = {}) {
    OpenProjectDatabase(source)->Run(sql, values);
  }
  // A copy of the source project in a database of its own, for changes
  // that must not reach the source.
  std::string CopyOfSource(const std::string& name) {
    const std::string db = dbs.New(name);
    ImportProject(exported.string(), db, {});
    return db;
  }
  // A requirement of a package whose text is stored whole in its row (a
  // long text lives in the overflow table and is written from there).
  static std::string PlainRequirement(const char* min_or_max) {
    return std::string("(SELECT ") + min_or_max +
           "(r.ID) FROM qmRequirements r JOIN QmPackageElements e ON e.REQUIREMENTID = r.ID "
           "WHERE r.OverflowIND = 0)";
  }

  TempDir dir;
  TestDatabases dbs{GetParam(), dir};
  std::string source;
  fs::path exported;
};

INSTANTIATE_TEST_SUITE_P(Databases, FolderBoundaryTest, ::testing::ValuesIn(Backends()),
                         [](const auto& info) { return info.param; });

TEST_P(FolderBoundaryTest, ImportRefusesFoldersThatAreNotWhatAnExportWrites) {
  const fs::path with_resource = PackageWith(exported, "<Resource>");
  ASSERT_FALSE(with_resource.empty());
  const fs::path package = with_resource.filename();
  struct Attack {
    const char* what;
    std::function<void(const fs::path&)> spoil;
    int32_t number;
    std::vector<std::string> mentions;
  };
  const std::vector<Attack> attacks = {
      {"a document list entry that climbs out",
       [](const fs::path& d) { Edit(d / "doclist.xml", "(<DOC [^>]*ID=\")[^\"]*\"", "$1../../../outside\""); },
       eErr_BadGuid, {"doclist.xml", "../../../outside", "line 4"}},
      {"a package list entry with a Windows path",
       [](const fs::path& d) { Edit(d / "pcklist.xml", "(<Package ID=\")[^\"]*\"", "$1..\\..\\x\""); },
       eErr_BadGuid, {"pcklist.xml", "..\\..\\x", "line 4"}},
      {"a package listed twice",
       [](const fs::path& d) { Edit(d / "pcklist.xml", "(<Package ID=\"[^\"]*\" />)", "$1$1"); },
       eErr_Duplicate, {"pcklist.xml", "twice", "line 4"}},
      {"a resource GUID that climbs out",
       [&](const fs::path& d) { Edit(d / "packages" / package, "<Resource>\\s*<GUID>[^<]*</GUID>",
              "<Resource><GUID>../../../../tmp/x</GUID>"); },
       eErr_BadGuid, {package.string(), "../../../../tmp/x", "<Resource>, line", "not a GUID"}},
      {"a package file that is a link to a file outside",
       [&](const fs::path& d) {
         fs::copy_file(d / "packages" / package, dir.File("outside.XML"));
         fs::remove(d / "packages" / package);
         fs::create_symlink(dir.File("outside.XML"), d / "packages" / package);
       },
       eErr_BadGuid, {package.string(), "leads outside"}},
      {"an attribute given twice",
       [](const fs::path& d) { Edit(d / "structure.xml", "<RequirementType Name=", "<RequirementType Name=\"x\" Name="); },
       eErr_NotWellFormed, {"structure.xml", "Name twice", "line 4"}},
      {"bytes that are not UTF-8",
       [&](const fs::path& d) { Edit(d / "packages" / package, "DESCRIPTION=\"", "DESCRIPTION=\"\xC3\x28"); },
       eErr_NotWellFormed, {package.string(), "not UTF-8", "line 3"}},
      {"a NUL character",
       [](const fs::path& d) { Edit(d / "security.xml", "<Groups>", std::string("<Groups>\0", 9)); },
       eErr_NotWellFormed, {"security.xml", "NUL", "line 3"}},
      {"a DOCTYPE with an entity",
       [](const fs::path& d) {
         Edit(d / "project.xml", "\\?>\n", "?>\n<!DOCTYPE Project [<!ENTITY big \"xxxxxxxx\">]>\n");
       },
       eErr_NotWellFormed, {"project.xml", "DOCTYPE", "line 2"}},
      {"a user whose identity is not a GUID",
       [](const fs::path& d) { Edit(d / "security.xml", "(<User [^>]*ID=\")[^\"]*\"", "$1not-a-guid\""); },
       eErr_BadGuid, {"security.xml", "not-a-guid", "<User", "line"}},
      {"two users with one GUID",
       [](const fs::path& d) {
         Edit(d / "security.xml", "(<User [^>]*ID=\"([^\"]*)\" />\\s*<User [^>]*ID=\")[^\"]*\"", "$1$2\"");
       },
       eErr_Duplicate, {"security.xml", "user", "second time", "<User"}},
      {"two requirements with one GUID",
       [&](const fs::path& d) {
         Edit(d / "packages" / package,
              "(<Requirement ID=\"([^\"]*)\"[\\s\\S]*?<Requirement ID=\")[^\"]*\"", "$1$2\"");
       },
       eErr_Duplicate, {package.string(), "requirement", "second time", "<Requirement"}},
      {"a resource named by a plain name",
       [&](const fs::path& d) { Edit(d / "packages" / package, "<Resource>\\s*<GUID>[^<]*</GUID>",
              "<Resource><GUID>notes</GUID>"); },
       eErr_BadGuid, {package.string(), "\"notes\"", "<Resource>, line"}},
      {"a package listed twice in other letter case",
       [](const fs::path& d) {
         const std::string id = FirstMatch(d / "pcklist.xml", "<Package ID=\"([^\"]*)\"");
         Edit(d / "pcklist.xml", "(<Package ID=\"[^\"]*\" />)", "$1<Package ID=\"" + Lower(id) + "\" />");
       },
       eErr_Duplicate, {"pcklist.xml", "twice", "line 4"}},
      {"a package whose parent is itself",
       [](const fs::path& d) {
         Edit(PackageWith(d, "<Package ID"), "(<Package ID=\"([^\"]*)\"[^>]*ParentID=\")[^\"]*\"", "$1$2\"");
       },
       eErr_PackageCycle, {"parent is itself", "line 3", ".XML", "own ancestors"}},
      {"a trace listed twice",
       [](const fs::path& d) { Edit(d / "traces.xml", "(<TraceTo [^>]*/>)", "$1$1"); },
       eErr_Duplicate, {"traces.xml", "second time", "<TraceTo>, line 4"}},
      {"a resource file larger than any export writes",
       [](const fs::path& d) {
         const fs::path any = fs::directory_iterator(d / "packages" / "Resources")->path();
         fs::resize_file(any, (uintmax_t{1536} << 20) + 1);  // sparse: costs no disk
       },
       eErr_TooLarge, {"Resources", "1610612737 bytes"}},
  };
  const std::string before = DatabaseText(source);
  for (const auto& attack : attacks) {
    SCOPED_TRACE(attack.what);
    const fs::path bad = Copy("bad");
    attack.spoil(bad);
    Error e = Refused(bad, source, AsCopy());
    EXPECT_EQ(e.Number(), attack.number) << e.Description();
    for (const auto& m : attack.mentions)
      EXPECT_NE(e.Description().find(m), std::string::npos) << m << " not in: " << e.Description();
    EXPECT_TRUE(DatabaseText(source) == before) << "the database changed";
    // Into a new database: refused the same way, and no database is left.
    const std::string fresh = dbs.New("new.db");
    EXPECT_EQ(Refused(bad, fresh, {}).Number(), attack.number);
    EXPECT_FALSE(ProjectDatabaseExists(fresh));
  }
  EXPECT_FALSE(fs::exists("/tmp/x.XML"));
}

TEST_P(FolderBoundaryTest, ASecondImportWithKeptGuidsIsRefusedAndACopyIsNot) {
  const std::string before = DatabaseText(source);
  Error e = Refused(exported, source, {});
  EXPECT_EQ(e.Number(), eErr_ProjectExists);
  auto conn = OpenProjectDatabase(source);
  const std::string name = conn->Scalar("SELECT Name FROM qmProjects", {}).ToText();
  const std::string guid = conn->Scalar("SELECT QMGUID FROM qmProjects", {}).ToText();
  for (const std::string& m : {name, guid, std::string("key 1"), std::string("--new-guids")})
    EXPECT_NE(e.Description().find(m), std::string::npos) << m << " not in: " << e.Description();
  EXPECT_TRUE(DatabaseText(source) == before) << "the database changed";
  EXPECT_GT(ImportProject(exported.string(), source, AsCopy()).project_key, 1);
}

TEST_P(FolderBoundaryTest, ExportRefusesRowsWhoseGuidCannotNameAFile) {
  struct Row {
    const char* what;
    const char* sql;
    const char* mention;
  };
  const Row rows[] = {
      {"package", "UPDATE QmPackages SET QMGUID = '../../../escape' WHERE ID = (SELECT MIN(ID) FROM QmPackages)",
       "../../../escape"},
      {"document", "UPDATE qmDocuments SET QMGUID = '/tmp/escape' WHERE ID = (SELECT MIN(ID) FROM qmDocuments)",
       "/tmp/escape"},
      {"resource", "UPDATE QmResources SET QMGUID = '..\\escape' WHERE ID = (SELECT MIN(ID) FROM QmResources)",
       "..\\escape"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const std::string evil = CopyOfSource(std::string("evil_") + row.what + ".db");
    OpenProjectDatabase(evil)->ExecuteScript(row.sql);
    try {
      ExportProject(evil, dir.File("out"), {});
      ADD_FAILURE() << "exported";
    } catch (const Error& e) {
      EXPECT_EQ(e.Number(), eErr_BadGuid);
      EXPECT_NE(e.Description().find(row.mention), std::string::npos) << e.Description();
      EXPECT_NE(e.Description().find(row.what), std::string::npos) << e.Description();
    }
    // Nothing written: no folder, no half-done sibling, no escaped file.
    for (const auto& e : fs::recursive_directory_iterator(dir.Path()))
      EXPECT_EQ(e.path().filename().string().find("escape"), std::string::npos) << e.path();
    EXPECT_FALSE(fs::exists(dir.File("out")));
    for (const auto& e : fs::directory_iterator(dir.Path()))
      EXPECT_EQ(e.path().filename().string().find(".out."), std::string::npos) << e.path();
  }
}

TEST_P(FolderBoundaryTest, ExportReplacesAFolderOnlyWhenForcedAndOnlyWhenDone) {
  const fs::path out = dir.File("out");
  fs::create_directories(out);
  ExportProject(source, out.string(), {});  // an empty folder is taken
  EXPECT_TRUE(fs::exists(out / "project.xml"));
  WriteFile((out / "mine.txt").string(), "keep");
  try {
    ExportProject(source, out.string(), {});
    ADD_FAILURE() << "a folder that holds files was filled";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), eErr_FolderNotEmpty);
    EXPECT_NE(e.Description().find("--force"), std::string::npos);
  }
  EXPECT_EQ(ReadFile((out / "mine.txt").string()), "keep");
  // A failing forced export leaves the old folder as it was.
  const std::string evil = CopyOfSource("evil.db");
  OpenProjectDatabase(evil)->ExecuteScript(
      "UPDATE QmPackages SET QMGUID = 'x' WHERE ID = (SELECT MAX(ID) FROM QmPackages)");
  ExportOptions force;
  force.force = true;
  EXPECT_THROW(ExportProject(evil, out.string(), force), Error);
  EXPECT_EQ(ReadFile((out / "mine.txt").string()), "keep");
  ExportProject(source, out.string(), force);
  EXPECT_FALSE(fs::exists(out / "mine.txt"));
  EXPECT_EQ(ReadFile((out / "project.xml").string()), ReadFile((exported / "project.xml").string()));
  size_t entries = 0;
  for (const auto& e : fs::directory_iterator(dir.Path())) entries += e.path().filename().string()[0] == '.';
  EXPECT_EQ(entries, 0u) << "a hidden work folder was left";
}

TEST_P(FolderBoundaryTest, ExportsAreXml10AndCode26ComesBackOnTheRows) {
  // Code 26 in texts that each kind of reader stores: through SQL text
  // (requirements, packages, documents) and through record sets (groups,
  // users, attributes, requirement types, traces).
  const char* const kColumns[][2] = {
      {"qmRequirements", "RequirementText"}, {"QmPackages", "NAME"},
      {"qmDocuments", "Name"},              {"qmUserGroups", "DESCRIPTION"},
      {"qmUsers", "FullName"},              {"qmUserDefinedFields", "DESCRIPTION"},
      {"qmRequirementTypes", "NAME"}};
  const std::string bars = "a\x1a" "b\x1a";
  for (const auto& [table, column] : kColumns) {
    const std::string row = std::string(table) == "qmRequirements"
                                ? PlainRequirement("MIN")
                                : std::string("(SELECT MIN(ID) FROM ") + table + ")";
    Exec(std::string("UPDATE ") + table + " SET " + column + " = ? WHERE ID = " + row, {Variant(bars)});
  }
  Exec("UPDATE QmToRelationships SET Name = ? WHERE RequirementID = (SELECT MIN(RequirementID) "
       "FROM QmToRelationships)",
       {Variant("to\x1a" "from")});
  const fs::path out = dir.File("bars");
  auto summary = ExportProject(source, out.string(), {});
  EXPECT_EQ(summary.documents_with_control_characters, 0);
  if (std::system("xmllint --version >/dev/null 2>&1") == 0) {
    const std::string cmd = "cd " + out.string() +
                            " && find . -type f -print0 | xargs -0 xmllint --noout >/dev/null 2>&1";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << "a file a standard XML parser refuses";
  }
  const std::string back = dbs.New("back.db");
  ImportProject(out.string(), back, {});
  for (const auto& [table, column] : kColumns) {
    const std::string sql = std::string("SELECT QMGUID, ") + column + " FROM " + table;
    const auto rows = RowsHolding(source, sql, "\x1a");
    EXPECT_FALSE(rows.empty()) << table;
    EXPECT_EQ(RowsHolding(back, sql, "\x1a"), rows) << table << "." << column;
  }
  const std::string traces = "SELECT Name FROM QmToRelationships";
  EXPECT_EQ(RowsHolding(back, traces, "\x1a"), RowsHolding(source, traces, "\x1a"));
  EXPECT_FALSE(RowsHolding(source, traces, "\x1a").empty());
}

TEST_P(FolderBoundaryTest, ControlCharactersAndNulAreCountedNotLostSilently) {
  const std::string bell = "bell\x07" "end";
  Exec("UPDATE qmRequirements SET RequirementText = ? WHERE ID = " + PlainRequirement("MIN"),
       {Variant(bell)});
  // A server text cannot hold a NUL at all; only a file database can.
  const bool nul = !dbs.OnServer();
  if (nul)
    Exec("UPDATE qmRequirements SET VersionReason = ? WHERE ID = " + PlainRequirement("MAX"),
         {Variant(std::string("cut\0here", 8))});
  auto summary = ExportProject(source, dir.File("ctrl"), {});
  EXPECT_EQ(summary.documents_with_control_characters, 1);
  EXPECT_EQ(summary.texts_cut_at_nul, nul ? 1 : 0);
  // The character reference carries code 7 back to the row.
  const std::string back = dbs.New("back.db");
  ImportProject(dir.File("ctrl"), back, {});
  EXPECT_EQ(OpenProjectDatabase(back)
                ->Scalar("SELECT COUNT(*) FROM qmRequirements WHERE RequirementText = ?", {Variant(bell)})
                .ToLong(),
            1);
}

TEST_P(FolderBoundaryTest, ValuesStoredOrLeftOutByRuleAreCountedAndFailStrict) {
  const fs::path bad = Copy("notes");
  const fs::path package = PackageWith(bad, "<FieldValue ");
  ASSERT_FALSE(package.empty());
  Edit(package, "(<FieldValue [^>]*)Label=\"[^\"]*\"", "$1Label=\"ModraItemID\"");
  // Rights that are not numbers: a file database stores the text (and the
  // report says so); a server's integer column refuses it, and with it the
  // whole import.
  const fs::path rights = Copy("rights");
  Edit(rights / "permissions.xml", "(<AttributeRight AccessRights=\")[^\"]*\"", "$1abc\"");
  if (dbs.OnServer()) {
    const std::string before = DatabaseText(source);
    EXPECT_EQ(Refused(rights, source, AsCopy()).Number(), eErr_Database);
    EXPECT_TRUE(DatabaseText(source) == before);
  } else {
    auto summary = ImportProject(rights.string(), dbs.New("rights.db"), {});
    EXPECT_EQ(summary.read_notes.at("rights that are not numbers, stored as text"), 1);
  }
  auto summary = ImportProject(bad.string(), dbs.New("lenient.db"), {});
  EXPECT_EQ(summary.read_notes.at("tracker or modelling-tool attribute values left out"), 1);

  const std::string before = DatabaseText(source);
  ImportOptions strict = AsCopy();
  strict.strict = true;
  EXPECT_EQ(Refused(bad, source, strict).Number(), eErr_Skipped);
  EXPECT_TRUE(DatabaseText(source) == before) << "the database changed";
  // A clean folder has nothing to report, strict or not.
  EXPECT_TRUE(ImportProject(exported.string(), dbs.New("clean.db"), strict).read_notes.empty());
}

TEST_P(FolderBoundaryTest, ExportAndBaselineRefuseAProjectWhosePackagesFormACycle) {
  const std::string db = CopyOfSource("cycle.db");
  auto conn = OpenProjectDatabase(db);
  conn->Run("UPDATE QmPackages SET PARENTID = ID WHERE ID = (SELECT MIN(ID) FROM QmPackages)", {});
  conn.reset();
  for (const bool baseline : {false, true}) {
    SCOPED_TRACE(baseline ? "baseline" : "export");
    const fs::path out = dir.File(baseline ? "cycle-base" : "cycle-out");
    try {
      if (baseline)
        WriteBaseline(db, out.string(), {});
      else
        ExportProject(db, out.string(), {});
      ADD_FAILURE() << "not refused";
    } catch (const Error& e) {
      EXPECT_EQ(e.Number(), eErr_PackageCycle) << e.Description();
      EXPECT_NE(e.Description().find("own ancestors"), std::string::npos) << e.Description();
    }
    EXPECT_FALSE(fs::exists(out) && !fs::is_empty(out)) << "files were written";
  }
}

// A child listed before its parent in pcklist.xml finds the parent of its
// own project: into the database the folder came from (as a copy), the
// stored original of the parent must not be taken, and into a new database
// the hierarchy must not be flattened.
TEST_P(FolderBoundaryTest, AChildListedBeforeItsParentHangsUnderItsOwnProjectsParent) {
  // The last package gets a child, and that a child of its own.
  const std::string top = OpenProjectDatabase(source)->Scalar(
      "SELECT QMGUID FROM QmPackages WHERE ID = (SELECT MAX(ID) FROM QmPackages)", {}).ToText();
  for (std::string n : {"1", "2"})
    Exec("INSERT INTO QmPackages (ID, PROJECTID, NAME, DESCRIPTION, QMGUID, PARENTID) "
         "SELECT MAX(ID) + 1, MIN(PROJECTID), ?, '', ?, MAX(ID) FROM QmPackages",
         {Variant("Child " + n), Variant("{0C0C0C0C-0000-4000-8000-00000000000" + n + "}")});
  const fs::path nested = dir.File("nested");
  ExportProject(source, nested.string(), {});
  // The catalogue lists parents first; put the last entry (the
  // grandchild) first.
  std::string list = ReadFile((nested / "pcklist.xml").string());
  const size_t first = list.find("<Package ");
  const size_t last = list.rfind("<Package ");
  const size_t end = list.find("/>", last) + 2;
  const std::string child = list.substr(last, end - last);
  list.erase(last, end - last);
  list.insert(first, child + "\n\t\t");
  WriteFile((nested / "pcklist.xml").string(), list);

  // How many packages of the newest project have a parent; each must be of
  // the same project.
  auto parents = [](const std::string& db) {
    auto rows = OpenProjectDatabase(db)->Query(
        "SELECT p.PROJECTID AS PP, c.PROJECTID AS CP FROM QmPackages c "
        "LEFT JOIN QmPackages p ON p.ID = c.PARENTID "
        "WHERE c.PROJECTID = (SELECT MAX(ID) FROM qmProjects) AND c.PARENTID IS NOT NULL "
        "AND c.PARENTID <> 0", {});
    size_t n = 0;
    for (; !rows->IsEOF(); rows->MoveNext(), ++n)
      EXPECT_EQ(rows->Value("PP").IsNull() ? -1 : rows->Value("PP").ToLong(),
                rows->Value("CP").ToLong());
    return n;
  };
  ImportProject(nested.string(), source, AsCopy());
  EXPECT_EQ(parents(source), 2u);
  const std::string fresh = dbs.New("nested.db");
  ImportProject(nested.string(), fresh, {});
  EXPECT_EQ(parents(fresh), 2u);
  // The top package's file names another package: the child waits for a
  // parent that never comes, and it still goes in before the grandchild.
  Edit(nested / "packages" / (top + ".XML"), "<Package ID=\"[^\"]*\"",
       "<Package ID=\"{0C0C0C0C-0000-4000-8000-0000000000FF}\"");
  const std::string orphan = dbs.New("orphan.db");
  ImportProject(nested.string(), orphan, {});
  EXPECT_EQ(parents(orphan), 1u);
}

}  // namespace
}  // namespace qmxml::testing
