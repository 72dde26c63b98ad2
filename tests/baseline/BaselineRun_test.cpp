// Baseline and report runs as the faults and attacks they must stop: a run
// that fails half-way (a folder where a file must go, a list of another
// project, a DOCTYPE, a planted link, a killed process) leaves the baseline
// folder and everything around it as it was; outputs never replace a link,
// a device or the database; discussions nested three deep with keys that
// interleave across threads come out whole.
#include "qmxml/Baseline.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <pugixml.hpp>

#include <map>

#include "TestSupport.h"
#include "qmxml/Error.h"
#include "sample/SampleProject.h"

namespace qmxml::testing {
namespace {

namespace fs = std::filesystem;

// Everything under |root| without following links: each path with its
// kind and, for a file, its bytes (for a link, its target).
std::map<std::string, std::string> Snapshot(const fs::path& root) {
  std::map<std::string, std::string> out;
  if (!fs::exists(fs::symlink_status(root))) return out;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    const std::string rel = fs::relative(it->path(), root).string();
    const fs::file_status st = fs::symlink_status(it->path());
    if (fs::is_symlink(st))
      out[rel] = "link " + fs::read_symlink(it->path()).string();
    else if (fs::is_directory(st))
      out[rel] = "folder";
    else if (fs::is_regular_file(st))
      out[rel] = "file " + ReadFile(it->path().string());
    else
      out[rel] = "other";
  }
  return out;
}

// The texts of the nodes at |xpath| under |node|, joined by blanks.
std::string Words(pugi::xml_node node, const char* xpath) {
  std::string out;
  for (const auto& hit : node.select_nodes(xpath))
    out += (out.empty() ? "" : " ") + std::string(hit.node().text().get());
  return out;
}

int RunCli(const std::string& args) {
  const int status = std::system((std::string(QMXML_CLI) + " -q " + args + " 2>/dev/null").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

class BaselineRunTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    db = dbs.New("source.db");
    auto conn = CreateProjectDatabase(db);
    SampleOptions opts;
    opts.requirements = 120;
    opts.seed = 3;
    opts.key_file = dir.File("sample.key");
    FillSampleProject(*conn, opts);
  }
  TempDir dir;
  TestDatabases dbs{GetParam(), dir};
  std::string db;
};

INSTANTIATE_TEST_SUITE_P(Databases, BaselineRunTest, ::testing::ValuesIn(Backends()),
                         [](const auto& info) { return info.param; });

// The first file of |folder| whose name begins with "{".
fs::path FirstExtract(const fs::path& folder) {
  for (const auto& e : fs::directory_iterator(folder))
    if (e.path().filename().string().front() == '{') return e.path();
  return {};
}

TEST_P(BaselineRunTest, AFailedRunLeavesTheFolderAndItsSurroundingsAsTheyWere) {
  const fs::path first = dir.File("first");
  BaselineOptions o;
  o.discussions = true;
  o.label = "first";
  WriteBaseline(db, first.string(), o);
  const fs::path outside = dir.File("outside");
  fs::create_directory(outside);
  WriteFile((outside / "keep.txt").string(), "mine");

  struct Case {
    const char* fault;
    std::function<void(const fs::path&)> plant;
    int32_t error;
    const char* says;
  } cases[] = {
      {"a folder where an extract must go",
       [](const fs::path& d) {
         const fs::path extract = FirstExtract(d);
         fs::remove(extract);
         fs::create_directory(extract);
       },
       eErr_NotRegularFile, "it is a folder"},
      {"a folder where a resource file must go",
       [](const fs::path& d) {
         const fs::path resource = FirstExtract(d / "Resources");
         fs::remove(resource);
         fs::create_directories(resource / "inner");
       },
       eErr_NotRegularFile, "it is a folder"},
      {"a list of another project",
       [](const fs::path& d) {
         std::string list = ReadFile((d / "BaselineList.XML").string());
         const size_t at = list.find("<GUID>") + 6;
         list.replace(at, 38, "{00000000-0000-0000-0000-0000000000AA}");
         WriteFile((d / "BaselineList.XML").string(), list);
       },
       eErr_OtherProject, "belongs to the project {00000000-0000-0000-0000-0000000000AA}"},
      {"a list with a DOCTYPE",
       [](const fs::path& d) {
         std::string list = ReadFile((d / "BaselineList.XML").string());
         list.insert(list.find("<PROJECT"), "<!DOCTYPE PROJECT [<!ENTITY x \"y\">]>\n");
         WriteFile((d / "BaselineList.XML").string(), list);
       },
       eErr_NotWellFormed, "DOCTYPE"},
      {"a Resources link that leads out",
       [&](const fs::path& d) {
         fs::remove_all(d / "Resources");
         fs::create_directory_symlink(outside, d / "Resources");
       },
       eErr_OutsideFolder, "leads out of the baseline folder"},
      {"a folder where the list must go",
       [](const fs::path& d) {
         fs::remove(d / "BaselineList.XML");
         fs::create_directory(d / "BaselineList.XML");
       },
       eErr_NotRegularFile, "it is a folder"},
      {"a list that is a link to a file outside",
       [&](const fs::path& d) {
         fs::remove(d / "BaselineList.XML");
         fs::create_symlink(outside / "keep.txt", d / "BaselineList.XML");
       },
       eErr_NotRegularFile, "symbolic link"},
  };
  // The second run would change every file: the database changed meanwhile.
  OpenProjectDatabase(db)->ExecuteScript("UPDATE QmPackages SET NAME = NAME || ' (changed)'");
  o.label = "second";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    const fs::path out = dir.File("case");
    fs::remove_all(out);
    fs::copy(first, out, fs::copy_options::recursive);
    c.plant(out);
    const auto before = Snapshot(out);
    const auto outside_before = Snapshot(outside);
    try {
      WriteBaseline(db, out.string(), o);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.Number(), c.error) << e.Description();
      EXPECT_NE(e.Description().find(c.says), std::string::npos) << e.Description();
      // Messages name the files where the user knows them.
      EXPECT_EQ(e.Description().find(".baseline.partial-"), std::string::npos) << e.Description();
    }
    EXPECT_EQ(Snapshot(out), before);
    EXPECT_EQ(Snapshot(outside), outside_before);
  }
}

TEST_P(BaselineRunTest, StrictFailsOnWhatTheWritersLeftOutAndWritesNothing) {
  // A requirement its package holds but its project does not list, with a
  // resource whose GUID cannot name a file: the run's check before writing
  // covers the project's resources only, so the writer leaves it out.
  OpenProjectDatabase(db)->ExecuteScript(
      "UPDATE QmResources SET QMGUID = '../x' WHERE ID = (SELECT MIN(ID) FROM QmResources);"
      "DELETE FROM qmProjectRequirements WHERE RequirementID = "
      "(SELECT REQUIREMENTID FROM QmResources WHERE QMGUID = '../x')");
  BaselineOptions o;
  EXPECT_EQ(WriteBaseline(db, dir.File("lax"), o).left_out.size(), 1u);
  o.strict = true;
  try {
    WriteBaseline(db, dir.File("strict"), o);
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), eErr_LeftOut) << e.Description();
  }
  EXPECT_FALSE(fs::exists(dir.File("strict")));
}

// Discussions whose replies nest three deep and whose keys interleave
// across threads (a late reply to the first thread), each read by
// different users.
class NestedDiscussions : public DbFixture {
 protected:
  void SetUp() override {
    DbFixture::SetUp();
    std::string sql =
        "INSERT INTO qmProjects (ID, Name, QMGUID) VALUES "
        "(1, 'P', '{00000001-0000-0000-0000-000000000001}');"
        "INSERT INTO qmUsers (ID, FullName, QMGUID) VALUES "
        "(1, 'Ann', '{00000002-0000-0000-0000-000000000001}'),"
        "(2, 'Bob', '{00000002-0000-0000-0000-000000000002}');";
    for (const auto& post : kPosts) {
      const auto [id, parent, root] = post;
      const int key = id;  // a lambda may not capture a structured binding (clang 14)
      const bool answered = std::any_of(std::begin(kPosts), std::end(kPosts),
                                        [key](const auto& p) { return std::get<1>(p) == key; });
      const std::string k = std::to_string(id);
      sql += "INSERT INTO QmDiscussions (ID, Subject, AuthorID, RootID, ParentID, HasResponses) "
             "VALUES (" + k + ", 's" + k + "', 1, " + std::to_string(root) + ", " +
             std::to_string(parent) + ", " + (answered ? "1" : "0") + ");"
             "INSERT INTO QmProjectDiscussions VALUES (1, " + k + ");"
             "INSERT INTO QmDiscussionsRead (DiscussionID, UserID) VALUES (" + k + ", 1);";
      if (id % 2 == 0)
        sql += "INSERT INTO QmDiscussionsRead (DiscussionID, UserID) VALUES (" + k + ", 2);";
    }
    conn->ExecuteScript(sql);
  }
  // (key, parent, root): 0 is no parent.
  static constexpr std::tuple<int, int, int> kPosts[] = {
      {1, 0, 1}, {2, 0, 2}, {3, 1, 1}, {4, 2, 2}, {5, 3, 1},
      {6, 5, 1}, {7, 1, 1}, {8, 4, 2}, {9, 6, 1}};
};

TEST_F(NestedDiscussions, EveryReplyStandsUnderItsRealParentWithItsReadMarks) {
  BaselineOptions o;
  o.discussions = true;
  const std::string out = dir.File("bl");
  WriteBaseline(db_path, out, o);
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file((out + "/Discussions.XML").c_str()));
  // The roots and every reply that has replies, in key order.
  EXPECT_EQ(Words(doc, "/PROJECT/Discs/Disc/DID"), "1 2 3 4 5 6");
  std::map<std::string, std::string> replies;  // parent -> its replies
  for (const auto& x : doc.select_nodes("/PROJECT/Discs/Disc")) {
    pugi::xml_node disc = x.node();
    replies[disc.child_value("DID")] = Words(disc, "Replies/Disc/DID");
    for (pugi::xml_node reply : disc.child("Replies").children("Disc")) {
      // A reply carries its real parent and the root of its thread.
      EXPECT_STREQ(reply.child_value("PID"), disc.child_value("DID"));
      const int id = std::stoi(reply.child_value("DID"));
      EXPECT_EQ(std::stoi(reply.child_value("RID")), std::get<2>(kPosts[id - 1]));
      EXPECT_EQ(Words(reply, "DRead/DUsr/DUName"), id % 2 == 0 ? "Ann Bob" : "Ann") << id;
    }
    const int id = std::stoi(disc.child_value("DID"));
    EXPECT_EQ(Words(disc, "DRead/DUsr/DUName"), id % 2 == 0 ? "Ann Bob" : "Ann") << id;
  }
  EXPECT_EQ(replies, (std::map<std::string, std::string>{
                         {"1", "3 7"}, {"2", "4"}, {"3", "5"}, {"4", "8"}, {"5", "6"}, {"6", "9"}}));
}

// A file in WAL mode gives no second reader, so its baseline is written by
// one thread: the two-thread baseline of the same rows must match it file
// for file, list entries in package order, counts and all.
TEST(BaselineOutputs, TwoWritingThreadsWriteWhatOneThreadWrites) {
  TempDir dir;
  const std::string db = dir.File("s.db");
  {
    SampleOptions opts;
    opts.requirements = 1500;
    opts.seed = 11;
    opts.key_file = dir.File("sample.key");
    FillSampleProject(*CreateProjectDatabase(db), opts);
  }
  BaselineOptions o;
  o.history = o.discussions = o.traces = true;
  const BaselineSummary two = WriteBaseline(db, dir.File("two"), o);
  OpenProjectDatabase(db)->ExecuteScript("PRAGMA journal_mode = WAL");
  const BaselineSummary one = WriteBaseline(db, dir.File("one"), o);
  EXPECT_EQ(two.files, one.files);
  EXPECT_GE(two.files.at("package"), 10);
  EXPECT_EQ(two.requirements, one.requirements);
  EXPECT_EQ(two.left_out, one.left_out);
  auto without_time = [](std::map<std::string, std::string> files) {
    std::string& list = files.at("BaselineList.XML");
    const size_t at = list.find("<TimeStamp>");
    list.erase(at, list.find("</TimeStamp>") - at);
    return files;
  };
  EXPECT_EQ(without_time(Snapshot(dir.File("two"))), without_time(Snapshot(dir.File("one"))));
  // The list holds the packages in the order of the package list.
  pugi::xml_document list, packages;
  ASSERT_TRUE(list.load_file(dir.File("two/BaselineList.XML").c_str()));
  ASSERT_TRUE(packages.load_file(dir.File("two/PackageList.XML").c_str()));
  std::string listed, ordered;
  for (const auto& hit : list.select_nodes("/PROJECT/Pkg/GUID")) listed += hit.node().text().get();
  for (const auto& hit : packages.select_nodes("/PROJECT/Pkg/@GUID"))
    ordered += hit.attribute().value();
  EXPECT_EQ(listed, ordered);
}

TEST(BaselineOutputs, CommandsRefuseToWriteOverWhatIsNotTheirs) {
  TempDir dir;
  const std::string db = dir.File("s.db");
  ASSERT_EQ(RunCli("sample " + db + " --key-file " + db + ".key --requirements 40 >/dev/null"), 0);
  std::string package;
  {
    auto conn = OpenProjectDatabase(db);
    package = conn->Scalar("SELECT MIN(QMGUID) FROM QmPackages", {}).ToText();
  }
  const std::string report = "report " + db + " --package " + package + " --reqs";
  const std::string victim = dir.File("victim.txt");
  WriteFile(victim, "precious");
  fs::create_symlink(victim, dir.File("link.xml"));
  ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
  const auto before = Snapshot(dir.Path());

  struct Case {
    const char* what;
    std::string args;
    int exit;
  } cases[] = {
      {"a report onto a link", report + " -o " + dir.File("link.xml"), 2},
      {"a report onto a FIFO", report + " -o " + dir.File("fifo"), 2},
      {"a report onto the database", report + " -o " + db, 2},
      {"a report onto the database's key file", report + " -o " + db + ".key", 2},
      {"a report to a full device", report + " > /dev/full", 2},
      {"a report to a closed output", report + " >&-", 2},
      {"an export summary to a full device", "export " + db + " " + dir.File("e") + " > /dev/full", 2},
      {"an export that replaces the database's folder", "export " + db + " " + dir.Path().string() + " --force", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(RunCli(c.args), c.exit);
    auto now = Snapshot(dir.Path());
    // An export whose summary could not be printed has written its folder.
    now.erase("e");
    for (auto it = now.begin(); it != now.end();) it = it->first.rfind("e/", 0) == 0 ? now.erase(it) : std::next(it);
    EXPECT_EQ(now, before);
  }
  // A report to a new name, and to "-", works; a "<name>.part" link planted
  // beside the name is not written through.
  fs::create_symlink(victim, dir.File("r.xml.part"));
  EXPECT_EQ(RunCli(report + " -o " + dir.File("r.xml")), 0);
  EXPECT_EQ(ReadFile(victim), "precious");
  EXPECT_NE(ReadFile(dir.File("r.xml")).find("<Requirements>"), std::string::npos);
  EXPECT_EQ(RunCli(report + " -o - > " + dir.File("r2.xml")), 0);
  EXPECT_EQ(ReadFile(dir.File("r2.xml")), ReadFile(dir.File("r.xml")));
}

}  // namespace
}  // namespace qmxml::testing
