// The view catalogue: the written document and a round trip from the
// project database back to entries.
#include "movers/lists/CatalogTestSupport.h"
#include "transfer/Rows.h"

namespace qmxml::testing {
namespace {

const std::vector<std::string> kViewKeys = {"NAME", "ID", "filepath"};

using ViewListMoverTest = CatalogFixture;

TEST_F(ViewListMoverTest, RoundTripFromTheProjectDatabase) {
  conn->ExecuteScript(
      "INSERT INTO qmProjects (ID, Name, QMGUID) VALUES (1, 'P', '{P1}'), (2, 'Other', "
      "'{P2}');"
      "INSERT INTO QmViews (ID, PROJECTID, VIEWNAME, QMGUID, FilePath) VALUES"
      " (5, 1, 'All <open> items', '{V1}', '/data/views/{V1}.xml'),"
      " (6, 1, NULL, '{V2}', NULL),"
      " (7, 2, 'Elsewhere', '{V3}', '/x.xml');");
  auto project =
      conn->Query("SELECT ID, QMGUID, NULL AS Views FROM qmProjects WHERE ID = 1");
  auto views = conn->Query(
      "SELECT PROJECTID, VIEWNAME, QMGUID, FilePath FROM QmViews ORDER BY ID");
  transfer::AttachChapter(*project, "ID", "Views", views, "PROJECTID");

  Write("ViewListMover", "views.xml", project);
  EXPECT_EQ(Text("views.xml"),
            "<?xml version=\"1.0\" standalone=\"yes\"?>\n"
            "<PROJECT ID=\"{P1}\" XMLVersion=\"2\">\n"
            "\t<VIEWS>\n"
            "\t\t<VIEW Name=\"All &lt;open> items\" ID=\"{V1}\" "
            "filepath=\"/data/views/{V1}.xml\" />\n"
            "\t\t<VIEW Name=\"\" ID=\"{V2}\" filepath=\"\" />\n"
            "\t</VIEWS>\n"
            "</PROJECT>\n");

  ObjectPtr rows;
  Read("ViewListMover", "views.xml", rows);
  auto entries = std::dynamic_pointer_cast<Collection>(rows);
  ASSERT_TRUE(entries);
  ASSERT_EQ(entries->Count(), 2u);
  EXPECT_EQ(EntryAt(*entries, 1, kViewKeys),
            (EntryText{{"NAME", "All <open> items"},
                       {"ID", "{V1}"},
                       {"filepath", "/data/views/{V1}.xml"}}));
  EXPECT_EQ(EntryAt(*entries, 2, kViewKeys),
            (EntryText{{"NAME", ""}, {"ID", "{V2}"}, {"filepath", ""}}));
}

TEST_F(ViewListMoverTest, ViewWithoutNameFailsWithTheViewListMessage) {
  WriteFile(dir.File("views.xml"),
            "<?xml version=\"1.0\"?><PROJECT ID=\"{P1}\" XMLVersion=\"2\"><VIEWS>"
            "<VIEW ID=\"{V1}\" filepath=\"/v.xml\"/></VIEWS></PROJECT>");
  ObjectPtr rows;
  try {
    Read("ViewListMover", "views.xml", rows);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), 91);
    EXPECT_EQ(e.Description().rfind("Import of the view list from the file", 0), 0u)
        << e.Description();
  }
}

TEST_F(ViewListMoverTest, UnwritableFileFailsWithTheViewListMessage) {
  auto project = MakeRecordset({"QMGUID", "Views"}, {{"{P1}", Variant::Null()}});
  try {
    Write("ViewListMover", "no/such/folder/views.xml", project);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), eErr_FileNotFound);
    EXPECT_EQ(e.Description().rfind("Export of the view list to the file", 0), 0u)
        << e.Description();
  }
}

}  // namespace
}  // namespace qmxml::testing
