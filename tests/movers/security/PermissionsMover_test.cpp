// Permissions: the nested document, the per-group narrowing of shared
// attribute rights, positional reading into the five rights tables, and
// the failure paths.
#include "movers/security/PermissionsMover.h"

#include <pugixml.hpp>

#include "TestSupport.h"
#include "transfer/Rows.h"
#include "xml/XmlDoc.h"
#include "xml/Files.h"

namespace qmxml::testing {
namespace {

using movers::PermissionsMover;

const std::vector<std::string> kTables = {
    "qmProjectUsers", "qmRequirementTypeUsers", "qmDocumentTypeUsers",
    "qmUserDefinedFieldUsers", "qmUserDefinedListItemUsers"};

// A document file as the writers produce it: declaration first, root second.
std::string Xml(const std::string& body) {
  return "<?xml version=\"1.0\" standalone=\"yes\"?>\n" + body;
}

Variant Obj(const std::shared_ptr<Recordset>& rs) { return Variant(ObjectPtr(rs)); }

std::shared_ptr<Recordset> ListItems(std::vector<std::vector<Variant>> rows) {
  return MakeRecordset({"UserGroupID", "ACCESSRIGHTS", "QMGUID"}, rows);
}
std::shared_ptr<Recordset> Attributes(std::vector<std::vector<Variant>> rows) {
  return MakeRecordset({"UserGroupID", "ACCESSRIGHTS", "QMGUID", "ListItemRights"}, rows);
}
std::shared_ptr<Recordset> ReqTypes(std::vector<std::vector<Variant>> rows) {
  return MakeRecordset({"ACCESSRIGHTS", "REQTEXTACCESSRIGHTS", "TRACEABILITYACCESSRIGHTS",
                        "REQNAMEACCESSRIGHTS", "QMGUID", "AttributeRights"},
                       rows);
}
std::shared_ptr<Recordset> DocTypes(std::vector<std::vector<Variant>> rows) {
  return MakeRecordset({"ACCESSRIGHTS", "QMGUID"}, rows);
}
std::shared_ptr<Recordset> Groups(std::vector<std::vector<Variant>> rows) {
  return MakeRecordset(
      {"ID", "QMGUID", "ACCESSRIGHTS", "DocumentTypeRights", "RequirementTypeRights"},
      rows);
}
std::shared_ptr<Recordset> Project(const std::shared_ptr<Recordset>& groups) {
  return MakeRecordset({"QMGUID", "Groups"}, {{Variant("{P1}"), Obj(groups)}});
}

class PermissionsMoverTest : public DbFixture {
 protected:
  void Export(const std::shared_ptr<Recordset>& project, const std::string& file) {
    ObjectPtr rows = project;
    mover.WriteData(Source(file).get(), &data, rows, &scheduler);
  }
  void Import(const std::string& file, DataDescriptor* context) {
    ObjectPtr rows = transfer::TargetCollection(*conn, kTables);
    mover.ReadData(Source(file).get(), context, rows, &scheduler);
  }
  std::string Rows(const std::string& sql) {
    return QueryText(*conn, sql);
  }
  // Structure rows the import resolves GUIDs against.
  void SeedStructure() {
    conn->ExecuteScript(
        "INSERT INTO qmProjects (ID, QMGUID) VALUES (1, '{P1}');"
        "INSERT INTO qmUserGroups (ID, NAME, QMGUID) VALUES (3, 'A', '{G3}'), (5, 'B', "
        "'{G5}');"
        "INSERT INTO qmDocumentTypes (ID, QMGUID) VALUES (20, '{D20}');"
        "INSERT INTO qmRequirementTypes (ID, QMGUID) VALUES (30, '{R30}'), (31, '{R31}');"
        "INSERT INTO qmUserDefinedFields (ID, QMGUID) VALUES (40, '{F40}');"
        "INSERT INTO qmRequirementTypeFields VALUES (30, 40);"
        "INSERT INTO qmUserDefinedListItems (ITEMID, FIELDID, QMGUID) VALUES (50, 40, "
        "'{L50}');");
  }

  PermissionsMover mover;
};

TEST_F(PermissionsMoverTest, SharedAttributeRightsAreNarrowedToEachGroup) {
  // One attribute-rights set holding both groups' rows, reached from the
  // requirement-type rows of both groups.
  auto items =
      ListItems({{int32_t{3}, int32_t{1}, "{L3}"}, {int32_t{5}, int32_t{2}, "{L5}"}});
  auto attrs = Attributes({{int32_t{3}, int32_t{30}, "{F-for-3}", Obj(items)},
                           {int32_t{5}, int32_t{50}, "{F-for-5}", Obj(items)}});
  auto reqs3 = ReqTypes({{1, 1, 1, 1, "{R}", Obj(attrs)}});
  auto reqs5 = ReqTypes({{1, 1, 1, 1, "{R}", Obj(attrs)}});
  auto groups = Groups({{int32_t{3}, "{G3}", 1, Obj(DocTypes({})), Obj(reqs3)},
                        {int32_t{5}, "{G5}", 1, Obj(DocTypes({})), Obj(reqs5)}});
  Export(Project(groups), "shared.xml");

  auto doc = xml::LoadDocument(dir.File("shared.xml"), "test");
  auto root = xml::RootElement(*doc);
  auto ids = [](pugi::xml_node group, const char* path) {
    std::string out;
    for (auto n : group.select_nodes(path))
      out += std::string(n.node().attribute("ID").value()) + " ";
    return out;
  };
  auto g3 = root.child("Groups").first_child();
  auto g5 = g3.next_sibling();
  EXPECT_EQ(ids(g3, ".//AttributeRight"), "{F-for-3} ");
  EXPECT_EQ(ids(g3, ".//ListItemRight"), "{L3} ");
  EXPECT_EQ(ids(g5, ".//AttributeRight"), "{F-for-5} ");
  EXPECT_EQ(ids(g5, ".//ListItemRight"), "{L5} ");
  // The filters stay set after the call.
  EXPECT_EQ(attrs->Filter(), "(UserGroupID= 5)");
}

TEST_F(PermissionsMoverTest, NonNumericGroupRightsFailBeforeAnyRowIsSent) {
  SeedStructure();
  WriteFile(
      dir.File("bad.xml"),
      Xml("<Project ID=\"{P1}\"><Groups>"
          "<Group x=\"{G3}\" y=\"1\"><DocumentTypeRights><DocumentTypeRight a=\"1\" "
          "b=\"{D20}\"/></DocumentTypeRights><RequirementTypeRights/></Group>"
          "<Group x=\"{G5}\" y=\"abc\"/></Groups></Project>"));
  std::string before = Dump();
  try {
    Import("bad.xml", &data);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), eErr_TypeMismatch);
    EXPECT_EQ(e.Source(), ".PermissionsMoverCreatePermissionsDBElements_");
    EXPECT_EQ(e.Description().rfind("Import of the permissions from the file", 0), 0u);
  }
  EXPECT_EQ(Dump(), before);
}

}  // namespace
}  // namespace qmxml::testing
