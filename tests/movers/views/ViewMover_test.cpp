// ViewMover: the property conversion rule by rule (table-driven, against a
// real project database), its caches, the view document both ways and the
// failure of a view whose query is unknown.
#include "movers/views/ViewMover.h"

#include <gtest/gtest.h>

#include <tuple>

#include "TestSupport.h"
#include "qmxml/Error.h"
#include "qmxml/Mover.h"
#include "qmxml/ViewPropertyConverter.h"
#include "xml/XmlDoc.h"

namespace qmxml::testing {
namespace {

constexpr const char* kProjectGuid = "{00000000-0000-0000-0000-0000000000AA}";
constexpr const char* kTypeGuid = "{10000000-0000-0000-0000-000000000001}";
constexpr const char* kType2Guid = "{10000000-0000-0000-0000-000000000002}";
constexpr const char* kAttr5 = "{50000000-0000-0000-0000-000000000005}";
constexpr const char* kAttr7 = "{70000000-0000-0000-0000-000000000007}";
constexpr const char* kAttr9 =
    "{90000000-0000-0000-0000-000000000009}";  // in no type of the project
constexpr const char* kQueryGuid = "{C0000000-0000-0000-0000-000000000001}";
constexpr const char* kUserGuid = "{E0000000-0000-0000-0000-000000000001}";

class ViewTest : public DbFixture {
 protected:
  void SetUp() override {
    DbFixture::SetUp();
    conn->ExecuteScript(
        std::string("INSERT INTO qmProjects (ID, Name, QMGUID) VALUES (1, 'P', '") +
        kProjectGuid +
        "');"
        "INSERT INTO qmRequirementTypes (ID, NAME, QMGUID) VALUES (3, 'FEAT', '" +
        kTypeGuid +
        "'),"
        " (4, 'NOGUID', NULL), (6, 'SW', '" +
        kType2Guid +
        "');"
        "INSERT INTO qmProjectRequirementTypes VALUES (1, 3), (1, 6);"
        "INSERT INTO qmUserDefinedFields (ID, Label, QMGUID) VALUES (5, 'Priority', '" +
        kAttr5 + "'), (7, 'Status', '" + kAttr7 +
        "'), (8, 'NoGuid', NULL), (9, 'Stray', '" + kAttr9 +
        "');"
        "INSERT INTO qmRequirementTypeFields VALUES (3, 5), (3, 7), (6, 8);");
  }

  std::string ToGuids(const std::string& props, int32_t project = 1) {
    std::string p = props;
    return mover.GetConvertedProp(conn, project, db->keys, p, 0);
  }
  std::string ToKeys(const std::string& props, int16_t direction = 1) {
    std::string p = props;
    int32_t project = 1;
    return mover.GetConvertedProp(conn, project, db->keys, p, direction);
  }

  movers::ViewMover mover;
};

TEST_F(ViewTest, KeyFormToGuidForm) {
  const std::string g5 = std::string("/g") + kAttr5, g7 = std::string("/g") + kAttr7;
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", ""},
      {"version=3;sortColumn=/y(1);showDeleted=0",
       "version=3;sortColumn=/y(1);showDeleted=0"},
      {"horizReqTypeKey=/i3", std::string("horizReqTypeKey=/g") + kTypeGuid},
      {"HORIZREQTYPEKEY=/I3", std::string("HORIZREQTYPEKEY=/g") + kTypeGuid},
      {"horizReqTypeKey=/i4", "horizReqTypeKey=/i4"},    // type without a GUID stays
      {"horizReqTypeKey=/i99", "horizReqTypeKey=/i99"},  // unknown type stays
      {"horizReqTypeKey=3", "horizReqTypeKey=3"},        // no switch
      {"attributeKeys=/c(/i5,/i7)", "attributeKeys=/c(" + g5 + "," + g7 + ")"},
      // the middle item goes with its comma; the last one leaves the comma before it
      {"attributeKeys=/c(/i5,/i8,/i7)", "attributeKeys=/c(" + g5 + "," + g7 + ")"},
      {"attributeKeys=/c(/i5,/i7,/i8)", "attributeKeys=/c(" + g5 + "," + g7 + ",)"},
      {"attributeKeys=/c(/i9,/i5)",
       "attributeKeys=/c(" + g5 + ")"},  // not in a project type
      {"attributeKeys=/c()", "attributeKeys=/c()"},
      {"attributeKeys=(/i5)", "attributeKeys=(/i5)"},  // no "/c": not a collection
      {"columnWidths=/d(/i5-/120,/i7-/80)",
       "columnWidths=/d(" + g5 + "-/120," + g7 + "-/80)"},
      {"columnWidths=/d(/i5-/120,/i8-/80,/i7-/5)",
       "columnWidths=/d(" + g5 + "-/120," + g7 + "-/5)"},
      {"columnWidths=/d(/i5-/5,/i8-/80)", "columnWidths=/d(" + g5 + "-/5,)"},
      {"a=1;attributeKeys=/c(/i5);columnWidths=/d(/i5-/i5);b=2",
       "a=1;attributeKeys=/c(" + g5 + ");columnWidths=/d(" + g5 + "-/i5);b=2"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(ToGuids(in), out) << in;
}

TEST_F(ViewTest, GuidFormToKeyForm) {
  db->keys->Remember("UserDefinedField", kAttr5, 15);
  db->keys->Remember("UserDefinedField", kAttr7, 17);
  db->keys->Remember("RequirementType", kTypeGuid, 13);
  const std::string g5 = std::string("/g") + kAttr5, g7 = std::string("/g") + kAttr7;
  const std::string unknown = "/g{AAAAAAAA-0000-0000-0000-000000000000}";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {std::string("horizReqTypeKey=/g") + kTypeGuid, "horizReqTypeKey=/i13"},
      {"horizReqTypeKey=" + unknown, "horizReqTypeKey=" + unknown},
      {"horizReqTypeKey=/g  ", "horizReqTypeKey=/g  "},
      {"attributeKeys=/c(" + g5 + "," + g7 + ")", "attributeKeys=/c(/i15,/i17)"},
      {"attributeKeys=/c(" + g5 + "," + unknown + "," + g7 + ")",
       "attributeKeys=/c(/i15,/i17)"},
      {"attributeKeys=/c(" + g5 + ",/i3)",
       "attributeKeys=/c(/i15,)"},  // "/i" items are dropped
      {"attributeKeys=/c(/g," + g5 + ")",
       "attributeKeys=/c(/g,/i15)"},  // empty GUID stays
      {"columnWidths=/d(" + g5 + "-/50," + g7 + "-/60)",
       "columnWidths=/d(/i15-/50,/i17-/60)"},
      {"columnWidths=/d(" + unknown + "-/50," + g7 + "-/60)",
       "columnWidths=/d(/i17-/60)"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(ToKeys(in), out) << in;
  // Any direction other than 0 converts GUIDs to keys.
  EXPECT_EQ(ToKeys("attributeKeys=/c(" + g5 + ")", -1), "attributeKeys=/c(/i15)");
}

TEST_F(ViewTest, ItemsChangeWhereTheyStandAndEntriesInAnyLetterCase) {
  db->keys->Remember("UserDefinedField", kAttr5, 15);
  const std::string g5 = std::string("/g") + kAttr5;
  // Entry names are recognised in any letter case; an item changes in its
  // own place, never where the same text stands elsewhere (outside the list
  // or in another entry).
  const std::vector<std::tuple<int, std::string, std::string>> cases = {
      {0, "AttributeKeys=/c(/i5,/i8)", "AttributeKeys=/c(" + g5 + ",)"},
      {0, "ATTRIBUTEKEYS=/C(/I5)", "ATTRIBUTEKEYS=/C(" + g5 + ")"},
      {0, "ColumnWidths=/D(/i5-/7)", "ColumnWidths=/D(" + g5 + "-/7)"},
      {0, "attributeKeys=/c(/i8,/i5)/I8,", "attributeKeys=/c(" + g5 + ")/I8,"},
      {0, "columnWidths=/d(/i8-/1,/i5-/2)/I8-/1,", "columnWidths=/d(" + g5 + "-/2)/I8-/1,"},
      {0, "x=attributeKeys=/c(/i5);attributeKeys=/c(/i5)",
       "x=attributeKeys=/c(/i5);attributeKeys=/c(" + g5 + ")"},
      {1, "AttributeKeys=/c(" + g5 + ")", "AttributeKeys=/c(/i15)"},
      {1, "attributeKeys=/c(" + g5 + ",/i15)", "attributeKeys=/c(/i15,)"},
      // A width item without "-/" is all attribute: converted whole, or
      // dropped, alike in both directions.
      {0, "columnWidths=/d(/i5,/i8,/i7-/3)",
       "columnWidths=/d(" + g5 + ",/g" + std::string(kAttr7) + "-/3)"},
      {1, "columnWidths=/d(" + g5 + ",/g{AAAAAAAA-0000-0000-0000-000000000000})",
       "columnWidths=/d(/i15,)"},
  };
  for (const auto& [direction, in, out] : cases)
    EXPECT_EQ(direction == 0 ? ToGuids(in) : ToKeys(in), out) << in;
}

// ---- the view document ----

class ViewReadTest : public ViewTest {
 protected:
  void SetUp() override {
    ViewTest::SetUp();
    db->keys->Remember("Project", kProjectGuid, 1);
    db->keys->Remember("Query", kQueryGuid, 41);
    db->keys->Remember("Query", "{C0000000-0000-0000-0000-000000000002}", 42);
    db->keys->Remember("User", kUserGuid, 8);
  }
  void Read(const std::string& view_xml) {
    WriteFile(dir.File("in.xml"), std::string("<?xml version=\"1.0\"?><PROJECT ID=\"") +
                                      kProjectGuid + "\" XMLVersion=\"2\">" + view_xml +
                                      "</PROJECT>");
    ObjectPtr rows = std::make_shared<Collection>();
    std::dynamic_pointer_cast<Collection>(rows)->Add(Variant(ObjectPtr(TargetViews())),
                                                     "QmViews");
    auto src = Source("in.xml");
    mover.ReadData(src.get(), &data, rows, &scheduler);
  }
  std::shared_ptr<Recordset> TargetViews() {
    auto rs = conn->Query("SELECT * FROM QmViews WHERE 0");
    rs->Bind(conn.get(), "QmViews");
    return rs;
  }
  std::string Views() {
    return QueryText(
        *conn,
        "SELECT ID, PROJECTID, REQUIREMENTTYPEID, SECONDARYREQTYPEID, VIEWNAME, "
        "replace(VIEWDESCRIPTION, char(13), '\\r'), VIEWTYPE, VISIBILITY, PROPERTIES, "
        "QUERYID, SECONDARYQUERYID, VIEWUSERID, VIEWDATETIME, VIEWREASON, QMGUID FROM "
        "QmViews");
  }
};

TEST_F(ViewReadTest, UnknownQueryFailsAndStoresNothing) {
  for (const char* attrs :
       {"queryid=\"{C9}\"", "",
        "queryid=\"{C0000000-0000-0000-0000-000000000001}\" secondaryqueryid=\"{C9}\""}) {
    try {
      Read(std::string("<VIEW Name=\"V\" ID=\"{F1}\" ") + attrs +
           "><VIEWDESCRIPTION/><PROPERTIES/></VIEW>");
      ADD_FAILURE() << "no error for " << attrs;
    } catch (const Error& e) {
      EXPECT_EQ(e.Number(), eErr_Dangling);
      EXPECT_NE(e.Description().find("<VIEW"), std::string::npos) << e.Description();
      EXPECT_NE(e.Description().find("in.xml"), std::string::npos) << e.Description();
    }
    EXPECT_EQ(Count("QmViews"), 0);
  }
  // A VIEW without any attribute is read too, and fails the same way.
  EXPECT_THROW(Read("<VIEW><VIEWDESCRIPTION/><PROPERTIES/></VIEW>"), Error);
  EXPECT_EQ(Count("QmViews"), 0);
}

}  // namespace
}  // namespace qmxml::testing
