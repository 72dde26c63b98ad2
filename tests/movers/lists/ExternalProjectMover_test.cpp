// The external project list: the written document from link rows of a
// project database, the empty list, the failure text and the reader that
// does nothing.
#include "movers/lists/CatalogTestSupport.h"

namespace qmxml::testing {
namespace {

using ExternalProjectMoverTest = CatalogFixture;

constexpr const char* kLinks =
    "SELECT p.QMGUID AS ProjectGUID, e.QMGUID AS ExtProjectGUID, l.Prefix, e.NAME, "
    "e.Directory, "
    "e.Filename, l.ConnectAtOpen FROM qmProjectExternalProjects l "
    "JOIN qmProjects p ON p.ID = l.ProjectID JOIN qmExternalProjects e ON e.ID = "
    "l.ExternalProjectID "
    "WHERE l.ProjectID = 1 ORDER BY e.ID";

TEST_F(ExternalProjectMoverTest, WritesOneElementPerLinkInRowOrder) {
  conn->ExecuteScript(
      "INSERT INTO qmProjects (ID, Name, QMGUID) VALUES (1, 'P', '{P1}');"
      "INSERT INTO qmExternalProjects (ID, QMGUID, NAME, Directory, Filename) VALUES"
      " (1, '{E1}', 'Billing', '/projects/billing', 'billing.qm'),"
      " (2, '{E2}', 'Legacy \"old\"', NULL, NULL);"
      "INSERT INTO qmProjectExternalProjects VALUES (1, 1, 'BIL', 1), (1, 2, NULL, "
      "NULL);");
  const std::string before = Dump();
  Write("ExternalProjectMover", "ext.xml", conn->Query(kLinks));
  EXPECT_EQ(Text("ext.xml"),
            "<?xml version=\"1.0\" standalone=\"yes\"?>\n"
            "<PROJECT GUID=\"{P1}\">\n"
            "\t<ExternalProject GUID=\"{E1}\" Prefix=\"BIL\" Name=\"Billing\" "
            "Directory=\"/projects/billing\" "
            "Filename=\"billing.qm\" ConnectAtOpen=\"True\" />\n"
            "\t<ExternalProject GUID=\"{E2}\" Prefix=\"\" Name=\"Legacy "
            "&quot;old&quot;\" Directory=\"\" "
            "Filename=\"\" ConnectAtOpen=\"False\" />\n"
            "</PROJECT>\n");
  EXPECT_EQ(Dump(), before);
}

TEST_F(ExternalProjectMoverTest, NoLinksGiveABareProjectAndNoRowsObjectNoFile) {
  Write("ExternalProjectMover", "ext.xml", conn->Query(kLinks));
  EXPECT_EQ(Text("ext.xml"), "<?xml version=\"1.0\" standalone=\"yes\"?>\n<PROJECT />\n");
  Write("ExternalProjectMover", "none.xml", nullptr);
  EXPECT_FALSE(Exists("none.xml"));
}

TEST_F(ExternalProjectMoverTest, FailureKeepsNumberAndSourceUnderItsOwnText) {
  auto rows = MakeRecordset({"ProjectGUID", "ExtProjectGUID"}, {{"{P1}", "{E1}"}});
  try {
    Write("ExternalProjectMover", "no/such/folder/ext.xml", rows);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), eErr_FileNotFound);
    EXPECT_EQ(e.Source(), "modWriteXML.SaveDocument");
    EXPECT_EQ(e.Description().rfind(
                  "$$Unable to write the External Projects XML. cannot write", 0),
              0u)
        << e.Description();
  }
  try {
    Write("ExternalProjectMover", "ext.xml", std::make_shared<Collection>());
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), eErr_TypeMismatch);
  }
}

TEST_F(ExternalProjectMoverTest, ReadDataDoesNothing) {
  WriteFile(dir.File("ext.xml"), "not xml at all <");
  const std::string before = Dump();
  ObjectPtr rows = std::make_shared<Collection>();
  ObjectPtr held = rows;
  Read("ExternalProjectMover", "ext.xml", rows);
  ObjectPtr none;
  New("ExternalProjectMover")->ReadData(nullptr, nullptr, none, nullptr);
  EXPECT_EQ(rows, held);
  EXPECT_EQ(std::static_pointer_cast<Collection>(rows)->Count(), 0u);
  EXPECT_FALSE(none);
  EXPECT_EQ(Dump(), before);
}

}  // namespace
}  // namespace qmxml::testing
