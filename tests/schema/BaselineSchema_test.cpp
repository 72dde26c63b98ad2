// Every kind of extract the baseline and report commands write validates
// against the shipped schemas with a standard validator (xmllint), so that
// an archived baseline can be checked with ordinary tools. Also the
// traces into a linked project whose requirements are in the same database.
#include <pugixml.hpp>

#include <cstdlib>

#include "TestSupport.h"
#include "qmxml/Baseline.h"
#include "sample/SampleProject.h"

namespace qmxml::testing {
namespace {

namespace fs = std::filesystem;

// xmllint's verdict on |file| against |schema| (0 when it validates).
int Validate(const std::string& schema, const fs::path& file) {
  const std::string cmd = "xmllint --noout --schema '" + std::string(QMXML_SCHEMA_DIR) + "/" +
                          schema + "' '" + file.string() + "' >/dev/null 2>&1";
  const int status = std::system(cmd.c_str());
  return WEXITSTATUS(status);
}

class BaselineSchemaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db = dir.File("s.db");
    auto conn = CreateProjectDatabase(db);
    SampleOptions so;
    so.requirements = 300;
    FillSampleProject(*conn, so);
    // A second project in this database stands for the first linked
    // project; two requirements of the sample trace into it.
    conn->ExecuteScript(
        "INSERT INTO qmProjects (ID, Name, QMGUID) SELECT 900, 'Linked', QMGUID "
        "FROM qmExternalProjects WHERE ID = 1;"
        "INSERT INTO qmRequirements (ID, RequirementTypeID, Tag, RequirementPrefix, "
        "RequirementName, RequirementText, VersionNumber, QMGUID) VALUES (90001, 1, 7, 'FS', "
        "'Linked need', 'linked text', '3', '{90000000-0000-0000-0000-000000000001}');"
        "INSERT INTO qmProjectRequirements VALUES (900, 90001);"
        "INSERT INTO QmToRelationships (RequirementID, ExternalProjectID, ToID, "
        "ExternalProjectToID, State) VALUES (1, 0, 90001, 1, 0), (2, 0, 90001, 1, 1);");
  }

  TempDir dir;
  std::string db;
};

TEST_F(BaselineSchemaTest, EveryExtractKindValidates) {
  const fs::path out = dir.Path() / "bl";
  BaselineOptions whole;
  whole.project = "1";
  whole.history = whole.discussions = whole.cross_project = true;
  WriteBaseline(db, out.string(), whole);
  BaselineOptions named;
  named.project = "1";
  named.cross_project = true;
  named.documents = {"1"};
  named.views = {"1", "2"};
  named.packages = {"1"};
  WriteBaseline(db, out.string(), named);

  const fs::path reports = dir.Path() / "reports";
  fs::create_directory(reports);
  struct Report {
    const char* file;
    ReportOptions options;
  };
  std::vector<Report> kinds(4);
  kinds[0] = {"package.xml", {}};
  kinds[0].options.package = "1";
  kinds[0].options.docs = kinds[0].options.views = kinds[0].options.reqs = true;
  kinds[1] = {"package-bare.xml", {}};
  kinds[1].options.package = "2";
  kinds[2] = {"document.xml", {}};
  kinds[2].options.document = "1";
  kinds[2].options.reqs = true;
  kinds[3] = {"view.xml", {}};
  kinds[3].options.view = "1";
  kinds[3].options.reqs = true;
  for (Report& r : kinds) {
    r.options.project = "1";
    WriteFile((reports / r.file).string(), WriteReport(db, r.options));
  }

  size_t checked = 0;
  for (const fs::path& folder : {out, out / "Resources", reports}) {
    for (const auto& entry : fs::directory_iterator(folder)) {
      if (!entry.is_regular_file()) continue;
      const std::string name = entry.path().filename().string();
      const char* schema =
          name == "BaselineList.XML" ? "BaselineListSchema.xsd" : "BaselineSchemaPhaseII.xsd";
      EXPECT_EQ(Validate(schema, entry.path()), 0) << entry.path();
      ++checked;
    }
  }
  // Packages, documents, views, history, list, discussions, resources, reports.
  EXPECT_GT(checked, 20u);

  // The traces into the linked project carry its requirement's GUID.
  pugi::xml_document list;
  ASSERT_TRUE(list.load_file((out / "BaselineList.XML").c_str()));
  EXPECT_EQ(list.select_nodes("/PROJECT/Doc").size(), 1u);
  EXPECT_EQ(list.select_nodes("/PROJECT/View").size(), 2u);
  size_t linked = 0, linked_in_packages = 0;
  for (const auto& entry : fs::directory_iterator(out)) {
    if (entry.path().filename().string().front() != '{') continue;
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(entry.path().c_str()));
    // Package extracts name the traced requirement by GUID, the others by key.
    const bool package = doc.select_node("/PROJECT/Pkg");
    for (const auto& t : doc.select_nodes("//TTo/TReq[EPGUID]")) {
      EXPECT_STREQ(t.node().child_value("TRID"),
                   package ? "{90000000-0000-0000-0000-000000000001}" : "90001");
      EXPECT_STREQ(t.node().child_value("TRTag"), "FS7");
      ++linked;
      if (package) ++linked_in_packages;
    }
  }
  // The two requirements in their package's extract, and again in any view
  // or document extract that lists them.
  EXPECT_EQ(linked_in_packages, 2u);
  EXPECT_GE(linked, linked_in_packages);
}

TEST_F(BaselineSchemaTest, TheValidatorRefusesAWrongDocument) {
  const fs::path bad = dir.Path() / "bad.XML";
  WriteFile(bad.string(), "<?xml version=\"1.0\"?><PROJECT><Req/></PROJECT>");
  EXPECT_NE(Validate("BaselineSchemaPhaseII.xsd", bad), 0);
  WriteFile(bad.string(),
            "<?xml version=\"1.0\"?><PROJECT><GUID/><Label/><TimeStamp>2024</TimeStamp>"
            "<BaselineDesc/><BaselineType>Project</BaselineType></PROJECT>");
  EXPECT_NE(Validate("BaselineListSchema.xsd", bad), 0);
}

}  // namespace
}  // namespace qmxml::testing
