// PackageMover against real SQLite files and real package and resource
// files: the written document, the rows a package document inserts, the
// capacity rules, the named commands and resources. The round trip is the
// whole-project transfer test.
#include "movers/content/PackageMover.h"

#include <filesystem>
#include <map>

#include "TestSupport.h"
#include "movers/content/PackageXml.h"
#include "qmxml/Error.h"
#include "xml/XmlDoc.h"
#include "xml/Base64.h"
#include "xml/Files.h"

namespace qmxml::testing {
namespace {

using movers::PackageMover;

// Structure rows of a target project; keys start at |base| + 1 so that a
// second database holds the same GUIDs under other keys.
void Seed(Connection& c, int base) {
  auto k = [&](int n) { return std::to_string(base + n); };
  c.Execute("INSERT INTO qmProjects (ID, Name, QMGUID) VALUES (" + k(1) +
            ", 'Proj', '{P}')");
  c.Execute("INSERT INTO qmUserGroups (ID, NAME, QMGUID) VALUES (" + k(1) +
            ", 'Admins', '{G1}'), (" + k(2) + ", 'Readers', '{G2}')");
  c.Execute("INSERT INTO qmUsers (ID, LoginName, QMGUID) VALUES (" + k(1) +
            ", 'ann', '{U1}')");
  c.Execute("INSERT INTO qmRequirementTypes (ID, NAME, QMGUID) VALUES (" + k(1) +
            ", 'F', '{RT1}')");
  c.Execute(
      "INSERT INTO qmUserDefinedFields (ID, Label, FieldProperties, QMGUID) VALUES (" +
      k(1) + ", 'Priority', '', '{F1}'), (" + k(2) + ", 'ModraType', '', '{F2}'), (" +
      k(3) + ", 'Ticket', 'CustomType=1;TrkBridge.Connector', '{F3}')");
  c.Execute(
      "INSERT INTO qmUserDefinedListItems (ITEMID, FIELDID, ItemText, QMGUID) VALUES (" +
      k(1) + ", " + k(1) + ", 'High', '{L1}')");
  c.Execute("INSERT INTO qmDocuments (ID, Name, QMGUID) VALUES (" + k(1) +
            ", 'Spec', '{D1}')");
  c.Execute("INSERT INTO QmViews (ID, VIEWNAME, QMGUID) VALUES (" + k(1) +
            ", 'All', '{V1}')");
}

// A package document built the way the writer lays it out.
struct PackageDoc {
  explicit PackageDoc(const char* root_name = "PROJECT", const char* package = "{PK1}",
                      const char* parent = "") {
    root = doc->append_child(root_name);
    xml::SetIdentityText(root, "{P}");
    this->package = root.append_child("Package");
    for (auto [n, v] : {std::pair{"ID", package},
                        {"NAME", "Pkg"},
                        {"DESCRIPTION", "a\nb"},
                        {"ParentID", parent}})
      xml::SetAttr(this->package, n, v);
    groups = this->package.append_child("PackageSecurity").append_child("Groups");
    requirements = this->package.append_child("Requirements");
  }
  void Group(const char* guid, std::vector<const char*> rights) {
    auto g = groups.append_child("Group");
    g.append_child("Name").text().set("n");
    g.append_child("GUID").text().set(guid);
    const char* names[] = {"PackageAccessRights", "RequirementAccessRights",
                           "DocumentAccessRights", "ViewAccessRights"};
    for (int i = 0; i < 4; ++i) g.append_child(names[i]).text().set(rights[i]);
  }
  // A requirement in the writer's attribute order, with |text| and
  // references that Seed resolves; the attributes not named here are empty.
  pugi::xml_node Requirement(const std::string& guid, const std::string& text = "text") {
    const std::map<std::string_view, std::string> values = {
        {"ID", guid},
        {"Tag", "1"},
        {"BookmarkDocumentID", "{D1}"},
        {"RequirementText", text},
        {"Deleted", "False"},
        {"VersionUserGUID", "{U1}"},
        {"RequirementTypeGUID", "{RT1}"}};
    auto r = requirements.append_child("Requirement");
    for (const xml::AttrSpec& a : movers::package_xml::kRequirementAttrs.attrs) {
      auto it = values.find(a.name);
      xml::SetAttr(r, a.name, it == values.end() ? "" : it->second);
    }
    return r;
  }
  static void Value(pugi::xml_node req, const char* field, const char* label,
                    const char* value, const char* tk = "No") {
    auto parent = req.child("FieldValues") ? req.child("FieldValues")
                                           : req.append_child("FieldValues");
    auto v = parent.append_child("FieldValue");
    for (auto [n, t] : {std::pair{"ID", field},
                        {"Label", label},
                        {"FieldValue", value},
                        {"NumericValue", "2.5"},
                        {"TkIntegration", tk}})
      xml::SetAttr(v, n, t);
  }
  void Save(const std::string& path) { xml::SaveDocument(*doc, path); }

  XmlDocumentPtr doc = xml::NewDocument();
  pugi::xml_node root, package, groups, requirements;
};

class PackageMoverTest : public DbFixture {
 protected:
  void Read(PackageDoc& doc, std::shared_ptr<DatabaseContainer> target = nullptr,
            const std::string& file = "{PK1}.XML") {
    doc.Save(dir.File(file));
    ReadPackage(file, std::move(target));
  }
  void ReadPackage(const std::string& file,
                   std::shared_ptr<DatabaseContainer> target = nullptr) {
    PackageMover mover;
    ObjectPtr rows = std::make_shared<Collection>();
    SourceContainer source(dir.File(file), target ? target : db);
    mover.ReadData(&source, &data, rows, &scheduler);
  }
  std::string Text(const std::string& sql) { return conn->Scalar(sql, {}).ToText(); }
};


// ---- reading ----

TEST_F(PackageMoverTest, RequirementTextCapacityIsCountedInCodePageBytes) {
  struct Case {
    int32_t code_page;
    std::string unit;
    int repeat;
    bool overflow;
  };
  const std::string e_acute = "\xC3\xA9", kanji = "\xE6\x97\xA5";
  const std::vector<Case> cases = {
      {65001, "a", 254, false},     {65001, "a", 255, true},
      {65001, e_acute, 127, false}, {65001, e_acute, 128, true},
      {1252, e_acute, 254, false},  {1252, e_acute, 255, true},
      {1200, "a", 127, false},      {1200, "a", 128, true},
      {932, kanji, 127, false},     {932, kanji, 128, true},
      {932, "a", 254, false},
  };
  Seed(*conn, 0);
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    const Case& c = cases[i];
    db->CodePage = c.code_page;
    db->OverflowRequirementTextSize = 255;  // used as 254
    std::string text;
    for (int n = 0; n < c.repeat; ++n) text += c.unit;
    PackageDoc doc("PROJECT", ("{PK" + std::to_string(i) + "}").c_str());
    doc.Requirement("{R" + std::to_string(i) + "}", text);
    Read(doc, nullptr, "p.XML");
    const std::string key = std::to_string(i + 1);
    EXPECT_EQ(Text("SELECT OverflowIND FROM qmRequirements WHERE ID = " + key),
              c.overflow ? "1" : "0");
    const std::string in_row =
        Text("SELECT RequirementText FROM qmRequirements WHERE ID = " + key);
    EXPECT_EQ(in_row, c.overflow ? Utf16Prefix(text, 127) : text);
    EXPECT_EQ(Text("SELECT OverflowText FROM QmOverflowText WHERE OverFlowID = " + key),
              c.overflow ? text : "");
  }
}

TEST_F(PackageMoverTest, AttributeValuesOverflowSkipAndListValues) {
  Seed(*conn, 0);
  db->OverflowFieldValueSize = 4;
  PackageDoc doc;
  auto r1 = doc.Requirement("{R1}");
  PackageDoc::Value(r1, "{F1}", "Priority", "abcd");
  PackageDoc::Value(r1, "{F2}", "modratype", "tool value");
  PackageDoc::Value(r1, "{F3}", "Ticket", "t", "YES");
  auto list = r1.append_child("ListValues").append_child("ListValue");
  for (auto [n, v] : {std::pair{"ID", "{L1}"},
                      {"Label", "Priority"},
                      {"ItemText", "High"},
                      {"UDFGUID", "{F1}"}})
    xml::SetAttr(list, n, v);
  auto r2 = doc.Requirement("{R2}");
  PackageDoc::Value(r2, "{F1}", "Priority", "abcde");
  Read(doc);
  EXPECT_EQ(
      Text("SELECT group_concat(REQUIREMENTID || ',' || FIELDID || ',' || FieldValue || "
           "',' "
           "|| OVERFLOWIND || ',' || NumericValue, ';') FROM qmUserDefinedFieldValues"),
      "1,1,abcd,0,2.5;2,1,abcd,1,2.5");
  EXPECT_EQ(Text("SELECT OverFlowRequirementID || ',' || OverFlowFieldID || ',' || "
                 "OverflowFieldValue FROM QmOverflowValues"),
            "2,1,abcde");
  EXPECT_EQ(Text("SELECT RequirementID || ',' || FieldID || ',' || ListItemID FROM "
                 "qmUserDefinedListValues"),
            "1,1,1");
}


}  // namespace
}  // namespace qmxml::testing
