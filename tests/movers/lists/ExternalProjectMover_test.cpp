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

}  // namespace
}  // namespace qmxml::testing
