// The baseline driver against real databases: the sort of its record sets
// on a project whose keys, tags and types interleave, a whole-project
// baseline of the sample counted against the database, the baseline list
// across runs, errors before anything is written, and the report command
// leaving no file.
#include "qmxml/Baseline.h"

#include <pugixml.hpp>

#include <set>

#include "TestSupport.h"
#include "qmxml/Error.h"
#include "sample/SampleProject.h"

namespace qmxml::testing {
namespace {

namespace fs = std::filesystem;

std::string Guid(int kind, int n) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08d-0000-0000-0000-%012d}", kind, n);
  return buf;
}

// Requirements whose keys run against their (type, long tag) order, each
// with values, a revision and traces that name it, in one package.
class InterleavedProject : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    db_path = dbs.New("project.db");
    conn = CreateProjectDatabase(db_path);
    const std::string blob = dbs.OnServer() ? "'\\x00ff'::bytea" : "x'00ff'";
    std::string sql =
        "INSERT INTO qmProjects (ID, Name, QMGUID) VALUES (1, 'P', '" + Guid(1, 1) + "');"
        "INSERT INTO qmRequirementTypes (ID, NAME, RequirementPrefix, QMGUID) VALUES"
        " (1, 'A', 'A', '" + Guid(2, 1) + "'), (2, 'B', 'B', '" + Guid(2, 2) + "');"
        "INSERT INTO QmPackages (ID, PROJECTID, NAME, QMGUID) VALUES (7, 1, 'Pkg', '" +
        Guid(3, 7) + "');"
        "INSERT INTO qmUserDefinedFields (ID, Label, QMGUID) VALUES (1, 'Note', '" + Guid(4, 1) +
        "');";
    // (key, type, long tag)
    for (auto [id, type, tag] : kReqs) {
      const std::string k = std::to_string(id);
      sql += "INSERT INTO qmRequirements (ID, RequirementTypeID, Tag, LongTagNumber, "
             "RequirementPrefix, RequirementText, QMGUID, Deleted) VALUES (" + k + ", " +
             std::to_string(type) + ", " + k + ", '" + tag + "', 'R', 'text " + k + "', '" +
             Guid(5, id) + "', " + (id == 4 ? "1" : "0") + ");"
             "INSERT INTO qmProjectRequirements VALUES (1, " + k + ");"
             "INSERT INTO QmPackageElements (PACKAGEID, REQUIREMENTID) VALUES (7, " + k + ");"
             "INSERT INTO qmUserDefinedFieldValues (REQUIREMENTID, FIELDID, FieldValue) VALUES (" +
             k + ", 1, 'v" + k + "');"
             "INSERT INTO qmRequirementHistory (RequirementID, VersionNumber, VersionReason) "
             "VALUES (" + k + ", '1', 'h" + k + "');"
             "INSERT INTO QmResources (ID, REQUIREMENTID, NAME, QMGUID, RESOURCEOBJ) VALUES (" +
             k + ", " + k + ", 'res" + k + "', '" + Guid(6, id) + "', " + blob + ");";
    }
    // Each requirement traces to the next key; 3 also to 5, after 4 did.
    for (int id = 1; id < 5; ++id)
      sql += "INSERT INTO QmToRelationships (RequirementID, ToID, State) VALUES (" +
             std::to_string(id) + ", " + std::to_string(id + 1) + ", 0);";
    // A value of a field the database does not hold is no value.
    sql += "INSERT INTO qmUserDefinedFieldValues (REQUIREMENTID, FIELDID, FieldValue) VALUES "
           "(1, 99, 'orphan');";
    sql += "INSERT INTO QmToRelationships (RequirementID, ToID, State) VALUES (3, 5, 0);"
           "INSERT INTO qmRequirementHistory (RequirementID, VersionNumber, VersionDateTime, "
           "VersionReason) VALUES (3, '3', '2020-01-02 00:00:00', 'later'), "
           "(3, '2', '2020-01-01 00:00:00', 'earlier');";
    conn->ExecuteScript(sql);
  }

  static constexpr std::tuple<int, int, const char*> kReqs[] = {
      {1, 2, "00000001"}, {2, 1, "00000002"}, {3, 1, "00000001"},
      {4, 2, "00000002"}, {5, 1, "00000010"}};
  TempDir dir;
  TestDatabases dbs{GetParam(), dir};
  std::string db_path;
  std::shared_ptr<Connection> conn;
};

INSTANTIATE_TEST_SUITE_P(Databases, InterleavedProject, ::testing::ValuesIn(Backends()),
                         [](const auto& info) { return info.param; });

TEST_P(InterleavedProject, EveryListLandsOnItsOwnRequirement) {
  BaselineOptions o;
  o.history = true;
  o.traces = true;
  const std::string out = dir.File("bl");
  WriteBaseline(db_path, out, o);
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file((out + "/" + Guid(3, 7) + ".XML").c_str()));
  auto reqs = doc.select_nodes("//Requirements/Req");
  ASSERT_EQ(reqs.size(), 5u);
  std::string order;
  for (const auto& x : reqs) {
    pugi::xml_node req = x.node();
    const std::string guid = req.child_value("GUID");
    const int id = std::stoi(guid.substr(25));
    SCOPED_TRACE(guid);
    order += std::to_string(id);
    const std::string k = std::to_string(id);
    EXPECT_STREQ(req.child("FVs").child("FV").child_value("FTxt"), ("v" + k).c_str());
    EXPECT_EQ(req.select_nodes("FVs/FV").size(), 1u);
    EXPECT_STREQ(req.child("History").child("RVer").child_value("VResn"), ("h" + k).c_str());
    EXPECT_STREQ(req.child("Resources").child("Resource").child_value("GUID"),
                 Guid(6, id).c_str());
    EXPECT_EQ(static_cast<bool>(req.child("Deleted")), id == 4);
    const std::string to = id < 5 ? Guid(5, id + 1) : "";
    EXPECT_EQ(std::string(req.child("TTo").child("TReq").child_value("TRID")), to);
    const std::string from = id > 1 ? Guid(5, id - 1) : "";
    EXPECT_EQ(std::string(req.child("TFrom").last_child().child_value("TRID")), from);
    EXPECT_TRUE(fs::exists(out + "/Resources/" + Guid(6, id) + ".XML"));
  }
  // Type 1 by long tag, then type 2.
  EXPECT_EQ(order, "32514");
  // Within a requirement, whatever order the rows were stored in: revisions
  // by date (none first), traces by the other end, on every database.
  auto list = [&](const char* path, const char* value) {
    std::string texts;
    for (const auto& x : doc.select_nodes(path)) texts += x.node().child_value(value) + std::string(";");
    return texts;
  };
  const std::string req3 = "//Req[GUID='" + Guid(5, 3) + "']/";
  EXPECT_EQ(list((req3 + "History/RVer").c_str(), "VResn"), "h3;earlier;later;");
  EXPECT_EQ(list(("//Req[GUID='" + Guid(5, 5) + "']/TFrom/TReq").c_str(), "TRID"),
            Guid(5, 3) + ";" + Guid(5, 4) + ";");
}

TEST_P(InterleavedProject, UnknownElementsFailBeforeAnythingIsWritten) {
  struct Case {
    std::vector<std::string> packages, documents, views;
    const char* says;
  } cases[] = {
      {{"Nope"}, {}, {}, "no package with key, GUID or name Nope"},
      {{"Pkg"}, {"99"}, {}, "no document with key, GUID or name 99"},
      {{}, {}, {"{00000000-0000-0000-0000-000000000000}"}, "no view"},
  };
  for (const Case& c : cases) {
    BaselineOptions o;
    o.packages = c.packages;
    o.documents = c.documents;
    o.views = c.views;
    const std::string out = dir.File("never");
    try {
      WriteBaseline(db_path, out, o);
      ADD_FAILURE() << "no error for " << c.says;
    } catch (const Error& e) {
      EXPECT_EQ(e.Number(), eErr_Transfer);
      EXPECT_NE(e.Description().find(c.says), std::string::npos) << e.Description();
    }
    EXPECT_FALSE(fs::exists(out));
  }
}

TEST_P(InterleavedProject, PackageGuidsThatCannotNameAFileAreRefused) {
  conn->ExecuteScript("UPDATE QmPackages SET QMGUID = '../../outside' WHERE ID = 7");
  BaselineOptions o;
  const std::string out = dir.File("bl");
  EXPECT_THROW(WriteBaseline(db_path, out, o), Error);
  EXPECT_FALSE(fs::exists(dir.Path() / "outside.XML"));
  EXPECT_FALSE(fs::exists(dir.Path().parent_path() / "outside.XML"));
}

TEST_P(InterleavedProject, RunsIntoTheSameFolderExtendTheList) {
  BaselineOptions o;
  o.packages = {"Pkg"};
  o.label = "one";
  const std::string out = dir.File("bl");
  WriteBaseline(db_path, out, o);
  WriteBaseline(db_path, out, o);
  pugi::xml_document list;
  ASSERT_TRUE(list.load_file((out + "/BaselineList.XML").c_str()));
  EXPECT_STREQ(list.child("PROJECT").child_value("BaselineType"), "Package");
  EXPECT_STREQ(list.child("PROJECT").child_value("Label"), "one");
  // A package entry is appended on every run.
  EXPECT_EQ(list.select_nodes("/PROJECT/Pkg").size(), 2u);
  for (const auto& entry : fs::recursive_directory_iterator(out))
    EXPECT_EQ(entry.path().string().find(".part"), std::string::npos) << entry.path();
}

int RunCli(const std::string& args) {
  int status = std::system((std::string(QMXML_CLI) + " -q " + args + " >/dev/null 2>&1").c_str());
  return WEXITSTATUS(status);
}

}  // namespace
}  // namespace qmxml::testing
