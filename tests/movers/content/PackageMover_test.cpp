// PackageMover against real SQLite files and real package and resource
// files: the written document, the rows a package document inserts, the
// capacity rules, the named commands and resources. The round trip is the
// whole-project transfer test.
#include "movers/content/PackageMover.h"

#include <filesystem>

#include "TestSupport.h"
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

// The 19 requirement attributes in writer order, with values to override.
std::vector<std::pair<std::string, std::string>> RequirementAttrs(
    const std::string& guid) {
  return {{"ID", guid},
          {"Tag", "1"},
          {"LastChildTag", "0"},
          {"BookmarkName", "bm"},
          {"BookmarkDocumentID", "{D1}"},
          {"DocumentPosition", "3"},
          {"LongTagNumber", "0001"},
          {"RequirementPrefix", "FEAT"},
          {"RequirementText", "text"},
          {"Deleted", "False"},
          {"VersionNumber", "1.0"},
          {"VersionLabel", "v1"},
          {"VersionUserGUID", "{U1}"},
          {"VersionDateTime", "2009-03-01 14:05:00"},
          {"VersionReason", "why"},
          {"Flags", "4"},
          {"LastDocText", "0"},
          {"REQUIREMENTNAME", "Name"},
          {"RequirementTypeGUID", "{RT1}"}};
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
  void Refs(const char* list, const char* ref, const char* guid) {
    auto parent = package.child(list) ? package.child(list)
                                      : package.insert_child_before(list, requirements);
    parent.append_child(ref).text().set(guid);
  }
  pugi::xml_node Requirement(
      const std::vector<std::pair<std::string, std::string>>& attrs) {
    auto r = requirements.append_child("Requirement");
    for (const auto& [n, v] : attrs) xml::SetAttr(r, n.c_str(), v);
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

std::shared_ptr<Collection> Rows(
    std::vector<std::pair<std::string, std::shared_ptr<Recordset>>> sets) {
  auto rows = std::make_shared<Collection>();
  for (auto& [key, rs] : sets) rows->Add(Variant(ObjectPtr(rs)), key);
  return rows;
}

// ---- writing ----

class PackageWriterTest : public PackageMoverTest {
 protected:
  std::shared_ptr<Collection> Sample(std::shared_ptr<Recordset> resources) {
    return Rows({
        {"QmPackage", MakeRecordset({"QMGUID", "NAME", "DESCRIPTION", "parentid"},
                                    {{"{PK1}", "Pkg", "d & <e>", ""}})},
        {"PackageSecurity",
         MakeRecordset(
             {"usergroupid", "GroupName", "GroupGUID", "packageaccessrights",
              "requirementaccessrights", "documentaccessrights", "viewaccessrights"},
             {{int32_t{7}, "Admins", "{G1}", int32_t{1}, int32_t{2}, int32_t{3}, int32_t{4}},
              {int32_t{9}, Variant::Null(), Variant::Null(), int32_t{-1}, Variant::Null(),
               int32_t{0}, int32_t{0}}})},
        {"Resources", resources},
        {"qmDocuments",
         MakeRecordset({"QMGUID", "WordFilePath"}, {{"{D1}", "C:\\d\\s.doc"}})},
        {"QmViews", MakeRecordset({"QMGUID"}, {{"{V1}"}})},
        {"qmRequirements",
         MakeRecordset(
             {"ID",
              "QMGUID",
              "Tag",
              "LastChildTag",
              "BookmarkName",
              "DOCGUID",
              "DocumentPosition",
              "LongTagNumber",
              "RequirementPrefix",
              "RequirementText",
              "OverflowInd",
              "OverflowText",
              "Deleted",
              "VersionNumber",
              "VersionLabel",
              "VersionUserGUID",
              "VersionDateTime",
              "VersionReason",
              "Flags",
              "LastDocText",
              "REQUIREMENTNAME",
              "RequirementTypeGUID"},
             {{int32_t{11},
               "{R1}",
               int32_t{1},
               int32_t{0},
               "bm",
               "{D1}",
               int32_t{3},
               "0001",
               "FEAT",
               "head",
               true,
               "the whole text",
               int32_t{1},
               "1.0",
               "",
               "{U1}",
               "2009-03-01 14:05:00",
               "why",
               int32_t{4},
               int32_t{0},
               "",
               "{RT1}"},
              {int32_t{12}, "{R2}",          int32_t{2}, int32_t{0}, "",
               "",          int32_t{0},      "0002",     "FEAT",     "  second  ",
               false,       Variant::Null(), int32_t{0}, "1.0",      "",
               "{U1}",      Variant::Null(), "",         int32_t{0}, int32_t{0},
               "N2",        "{RT1}"}})},
        {"qmUserDefinedFieldValues",
         MakeRecordset(
             {"RequirementID", "QMGUID", "Label", "FieldValue", "OverflowInd",
              "OverflowFieldValue", "NumericValue", "FieldProperties"},
             {{int32_t{12}, "{F1}", "Priority", "low", false, Variant::Null(), 1.5, ""},
              {int32_t{11}, "{F3}", "Ticket", "cut", true, "full value", 0.0,
               "CUSTOMTYPE=1;trkBridge.Connector"}})},
        {"qmUserDefinedListValues",
         MakeRecordset({"RequirementID", "QMGUID", "Label", "ItemText", "UDFGUID"},
                       {{int32_t{11}, "{L1}", "Priority", "High", "{F1}"}})},
    });
  }
  static std::shared_ptr<Recordset> ResourceRows(std::vector<std::vector<Variant>> rows) {
    return MakeRecordset({"NAME", "TYPE", "REQUIREMENTID", "VERSIONDATETIME", "Flags",
                          "QMGUID", "RESOURCEOBJ"},
                         rows);
  }
  void Write(std::shared_ptr<Collection> rows, PackageMover& mover) {
    data.Data = Variant("{P}");
    data.ElementGUID = Variant("{PK1}");
    data.SpectoProject = Variant("{P}");
    ObjectPtr o = rows;
    auto source = Source("{PK1}.XML");
    mover.WriteData(source.get(), &data, o, &scheduler);
  }
};

TEST_F(PackageWriterTest, WritesThePackageDocumentInItsFixedOrder) {
  auto resources =
      ResourceRows({{"a.png", "image/png", int32_t{11}, "2009-03-01 14:05:00", int32_t{2},
                     "{A0000000-0000-0000-0000-0000000000E1}", std::vector<uint8_t>{1, 2, 3}}});
  PackageMover mover;
  EXPECT_EQ(mover.RSResources(), nullptr);
  Write(Sample(resources), mover);
  EXPECT_EQ(mover.RSResources(), resources);

  auto doc = xml::LoadDocument(dir.File("{PK1}.XML"), "test");
  auto package = Find(xml::RootElement(*doc), "Package");
  EXPECT_EQ(AttrNames(package), "ID NAME DESCRIPTION ParentID");
  EXPECT_EQ(Values(package, "@DESCRIPTION"), "d & <e>");
  EXPECT_EQ(ChildNames(package), "PackageSecurity Documents Views Requirements");
  // Group 9 is not a group of the project: its name and GUID stay empty.
  EXPECT_EQ(ChildNames(Find(package, "//Group")),
            "Name GUID PackageAccessRights RequirementAccessRights DocumentAccessRights ViewAccessRights");
  EXPECT_EQ(Values(package, "//Group/*"), "Admins|{G1}|1|2|3|4|||-1||0|0|");
  EXPECT_EQ(Values(package, "Documents/DocumentRef"), "{D1}");
  EXPECT_EQ(Values(package, "Documents/DocumentRef/@WordFilePath"), "C:\\d\\s.doc");
  EXPECT_EQ(Values(package, "Views/ViewRef"), "{V1}");
  EXPECT_EQ(AttrNames(Find(package, "//Requirement")),
            "ID Tag LastChildTag BookmarkName BookmarkDocumentID DocumentPosition LongTagNumber "
            "RequirementPrefix RequirementText Deleted VersionNumber VersionLabel VersionUserGUID "
            "VersionDateTime VersionReason Flags LastDocText REQUIREMENTNAME RequirementTypeGUID");
  // The overflow text stands for the cut in-row text; blanks around go.
  EXPECT_EQ(Values(package, "//Requirement/@RequirementText"), "the whole text|second|");
  EXPECT_EQ(Values(package, "//Requirement/@Deleted"), "True|False|");
  EXPECT_EQ(Values(package, "//Requirement/@VersionDateTime"), "2009-03-01 14:05:00||");
  EXPECT_EQ(ChildNames(Find(package, "//Requirement")), "Resources FieldValues ListValues");
  EXPECT_EQ(ChildNames(Find(package, "//Requirement[2]")), "FieldValues ListValues");
  EXPECT_EQ(Values(package, "//Resources/Resource/GUID"), "{A0000000-0000-0000-0000-0000000000E1}");
  EXPECT_EQ(AttrNames(Find(package, "//FieldValue")), "ID Label FieldValue NumericValue TkIntegration");
  // Each requirement gets its own values; an overflowing value is written whole.
  EXPECT_EQ(Values(package, "//FieldValue/@*"), "{F3}|Ticket|full value|0|Yes|{F1}|Priority|low|1.5|No|");
  EXPECT_EQ(AttrNames(Find(package, "//ListValue")), "ID Label ItemText UDFGUID");
  EXPECT_EQ(Values(package, "//Requirement[2]/ListValues/*"), "");

  auto resource_doc = xml::LoadDocument(dir.File("Resources/{A0000000-0000-0000-0000-0000000000E1}.XML"), "test");
  auto resource = xml::RootElement(*resource_doc);
  EXPECT_EQ(AttrNames(resource), "xmlns:xsi xsi:noNamespaceSchemaLocation");
  EXPECT_EQ(ChildNames(resource), "GUID Resource");
  EXPECT_EQ(Values(resource, "GUID"), "{P}");
  EXPECT_EQ(ChildNames(Find(resource, "Resource")), "Name Type RequirementID VersionDateTime Flags GUID ResourceObject");
  EXPECT_EQ(Values(resource, "Resource/*"), "a.png|image/png|11|2009-03-01 14:05:00|2|{A0000000-0000-0000-0000-0000000000E1}|AQID|");
  EXPECT_EQ(AttrNames(Find(resource, "//ResourceObject")), "xmlns:dt dt:dt");
}

TEST_F(PackageWriterTest, ResourcesOutOfStepWithTheRequirementsAreLost) {
  // Rows for requirement 12 come first: requirement 11 finds none and
  // requirement 12 stops at the row that belongs to 11; an empty GUID gets
  // no entry and no file.
  auto resources = ResourceRows({{"b", "t", int32_t{12}, "", int32_t{0}, "{A0000000-0000-0000-0000-0000000000E2}", ""},
                                 {"e", "t", int32_t{12}, "", int32_t{0}, "", ""},
                                 {"a", "t", int32_t{11}, "", int32_t{0}, "{A0000000-0000-0000-0000-0000000000E1}", ""}});
  PackageMover mover;
  Write(Sample(resources), mover);
  auto doc = xml::LoadDocument(dir.File("{PK1}.XML"), "test");
  auto reqs = doc->select_nodes("//Requirement");
  ASSERT_EQ(reqs.size(), 2u);
  EXPECT_FALSE(reqs[0].node().child("Resources"));
  EXPECT_EQ(std::string(reqs[1].node().first_child().name()), "Resources");
  EXPECT_EQ(xml::Children(reqs[1].node().child("Resources")).size(), 1u);
  EXPECT_TRUE(xml::FileExists(dir.File("Resources/{A0000000-0000-0000-0000-0000000000E2}.XML")));
  EXPECT_FALSE(xml::FileExists(dir.File("Resources/{A0000000-0000-0000-0000-0000000000E1}.XML")));
}

TEST_F(PackageWriterTest, MissingSecurityRowsStopTheExport) {
  auto rows = Sample(ResourceRows({}));
  rows->Remove("PackageSecurity");
  PackageMover mover;
  try {
    Write(rows, mover);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), eErr_InvalidArgument);
    EXPECT_EQ(e.Description().rfind("Export of the package to the file", 0), 0u);
  }
  EXPECT_FALSE(xml::FileExists(dir.File("{PK1}.XML")));
}

// ---- reading ----

TEST_F(PackageMoverTest, ReadsThePackageItsGroupRightsAndMemberships) {
  Seed(*conn, 100);
  PackageDoc doc;
  doc.Group("{G1}", {"1", "-1", "0", "7"});
  doc.Group("{G2}", {"x", "1", "1", "1"});  // not a number: left out
  doc.Group("{G9}", {"1", "1", "1", "1"});  // unknown group: left out
  doc.Refs("Documents", "DocumentRef", "{D1}");
  doc.Refs("Views", "ViewRef", "{V1}");
  Read(doc);
  EXPECT_EQ(Text("SELECT PROJECTID || '|' || NAME || '|' || DESCRIPTION || '|' || QMGUID "
                 "|| '|' || "
                 "(PARENTID IS NULL) FROM QmPackages"),
            "101|Pkg|a\r\nb|{PK1}|1");
  EXPECT_EQ(
      Text("SELECT group_concat(usergroupid || ',' || packageaccessrights || ',' || "
           "coalesce(requirementaccessrights, 'NULL') || ',' || documentaccessrights || "
           "',' "
           "|| viewaccessrights) FROM qmPackageUsers"),
      "101,1,NULL,0,7");
  EXPECT_EQ(Text("SELECT group_concat(coalesce(DOCUMENTID, '-') || '/' || "
                 "coalesce(VIEWID, '-')) "
                 "FROM QmPackageElements"),
            "101/-,-/101");
}

TEST_F(PackageMoverTest, ChildPackageFindsItsParentAndNewGuidsAreIssued) {
  Seed(*conn, 0);
  data.ProjectFlags = 1;
  PackageDoc parent("PROJECT", "{PK0}");
  Read(parent, nullptr, "{PK0}.XML");
  PackageDoc child("PROJECT", "{PK1}", "{PK0}");
  child.Requirement(RequirementAttrs("{R1}"));
  Read(child);
  EXPECT_EQ(Count("QmPackages WHERE QMGUID IN ('{PK0}', '{PK1}')"), 0);
  EXPECT_EQ(Text("SELECT c.PARENTID = p.ID FROM QmPackages c, QmPackages p WHERE c.ID = "
                 "2 AND p.ID = 1"),
            "1");
  EXPECT_NE(Text("SELECT QMGUID FROM qmRequirements"), "{R1}");
  EXPECT_EQ(Text("SELECT PACKAGEID || '/' || REQUIREMENTID FROM QmPackageElements"),
            "2/1");
}

TEST_F(PackageMoverTest, MembershipListsMayBeMissing) {
  Seed(*conn, 0);
  PackageDoc views_only;
  views_only.Refs("Views", "ViewRef", "{V1}");
  Read(views_only);
  PackageDoc documents_only("PROJECT", "{PK2}");
  documents_only.Refs("Documents", "DocumentRef", "{D1}");
  Read(documents_only, nullptr, "{PK2}.XML");
  EXPECT_EQ(
      Text("SELECT group_concat(PACKAGEID || ':' || coalesce(DOCUMENTID, '-') || '/' || "
           "coalesce(VIEWID, '-')) FROM QmPackageElements"),
      "1:-/1,2:1/-");
}

TEST_F(PackageMoverTest, NothingHappensWithoutPackageOrConnection) {
  Seed(*conn, 0);
  const std::string before = Dump();
  PackageDoc doc;
  doc.root.remove_child("Package");
  Read(doc);
  auto no_connection = std::make_shared<DatabaseContainer>();
  ReadPackage("missing.XML", no_connection);
  EXPECT_EQ(Dump(), before);
}

TEST_F(PackageMoverTest, ParseErrorStopsTheImportAndWritesNothing) {
  Seed(*conn, 0);
  const std::string before = Dump();
  WriteFile(dir.File("{PK1}.XML"),
            "<PROJECT ID=\"{P}\"><Package ID=\"{PK1}\"></PROJECT>");
  try {
    ReadPackage("{PK1}.XML");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), static_cast<int32_t>(pugi::status_end_element_mismatch));
    EXPECT_EQ(e.Description().rfind("Import of the package from the file", 0), 0u);
  }
  EXPECT_EQ(Dump(), before);
}

TEST_F(PackageMoverTest, RequirementAttributesAreReadByPosition) {
  Seed(*conn, 100);
  db->OverflowVersionReasonSize = 5;
  PackageDoc doc;
  auto attrs = RequirementAttrs("{R1}");
  attrs[14].second = "because";
  doc.Requirement(attrs);
  attrs = RequirementAttrs("{R2}");
  attrs[3].second = "";   // BookmarkName
  attrs[4].second = "";   // BookmarkDocumentID
  attrs[17].second = "";  // REQUIREMENTNAME
  attrs[9].second = "True";
  doc.Requirement(attrs);
  attrs = RequirementAttrs("{R3}");
  attrs[4].second = "7";  // one character: taken as it stands
  attrs.pop_back();       // RequirementTypeGUID missing
  doc.Requirement(attrs);
  Read(doc);
  const std::string columns =
      "SELECT group_concat(ID || '|' || RequirementTypeID || '|' || Tag || '|' || "
      "coalesce(BookmarkName, 'NULL') || '|' || coalesce(BookmarkDocumentID, 'NULL') || "
      "'|' || "
      "DocumentPosition || '|' || LongTagNumber || '|' || RequirementText || '|' || "
      "OverflowIND "
      "|| '|' || Deleted || '|' || VersionUserID || '|' || VersionDateTime || '|' || "
      "VersionReason || '|' || QMGUID || '|' || Flags || '|' || "
      "coalesce(RequirementName, "
      "'NULL'), '\n') FROM qmRequirements";
  EXPECT_EQ(Text(columns),
            "1|101|1|bm|101|3|0001|text|0|0|101|2009-03-01 14:05:00|becau|{R1}|4|Name\n"
            "2|101|1|NULL|NULL|3|0001|text|0|1|101|2009-03-01 14:05:00|why|{R2}|4|NULL\n"
            "3|0|1|bm|7|3|0001|text|0|0|101|2009-03-01 14:05:00|why|{R3}|4|Name");
  EXPECT_EQ(Count("qmProjectRequirements WHERE ProjectID = 101"), 3);
}

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
    auto attrs = RequirementAttrs("{R" + std::to_string(i) + "}");
    attrs[8].second = text;
    doc.Requirement(attrs);
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
  auto r1 = doc.Requirement(RequirementAttrs("{R1}"));
  PackageDoc::Value(r1, "{F1}", "Priority", "abcd");
  PackageDoc::Value(r1, "{F2}", "modratype", "tool value");
  PackageDoc::Value(r1, "{F3}", "Ticket", "t", "YES");
  auto list = r1.append_child("ListValues").append_child("ListValue");
  for (auto [n, v] : {std::pair{"ID", "{L1}"},
                      {"Label", "Priority"},
                      {"ItemText", "High"},
                      {"UDFGUID", "{F1}"}})
    xml::SetAttr(list, n, v);
  auto r2 = doc.Requirement(RequirementAttrs("{R2}"));
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

TEST_F(PackageMoverTest, NamedCommandsAreCreatedOncePerConnection) {
  Seed(*conn, 0);
  PackageDoc first;
  PackageDoc::Value(first.Requirement(RequirementAttrs("{R1}")), "{F1}", "Priority",
                    "one");
  Read(first);
  EXPECT_TRUE(conn->HasCommand("OverflowTextInsert"));
  EXPECT_TRUE(conn->HasCommand("ReqAttrInsert"));
  EXPECT_EQ(conn->CommandCount(), 2u);
  // Swap in a command of the same name that marks what it stores: the
  // second package must use it rather than make its own.
  conn->CreateCommand(
      "ReqAttrInsert",
      "INSERT INTO qmUserDefinedFieldValues (REQUIREMENTID,FIELDID,FIELDVALUE,"
      "OVERFLOWIND,NUMERICVALUE) VALUES (?,?,upper(?),?,?)",
      {Variant(int32_t{3}), Variant(int32_t{3}), Variant("255;8"), Variant(int32_t{3}),
       Variant(int32_t{5})});
  PackageDoc second("PROJECT", "{PK2}");
  PackageDoc::Value(second.Requirement(RequirementAttrs("{R2}")), "{F1}", "Priority",
                    "two");
  Read(second, nullptr, "{PK2}.XML");
  EXPECT_EQ(Text("SELECT group_concat(FieldValue) FROM qmUserDefinedFieldValues"),
            "one,TWO");
  EXPECT_EQ(conn->CommandCount(), 2u);
}

class PackageResourceTest : public PackageMoverTest {
 protected:
  void ResourceFile(const std::string& guid, const char* root = "PROJECT") {
    std::filesystem::create_directories(dir.File("Resources"));
    auto doc = xml::NewDocument();
    auto project = doc->append_child(root);
    project.append_child("GUID").text().set("{P}");
    auto r = project.append_child("Resource");
    for (auto [n, v] : {std::pair{"Name", "pic"},
                        {"Type", "png"},
                        {"RequirementID", "77"},
                        {"VersionDateTime", "2010-05-06 07:08:09"},
                        {"Flags", "3"}})
      r.append_child(n).text().set(v);
    r.append_child("GUID").text().set(guid.c_str());
    xml::SetBase64Value(r.append_child("ResourceObject"), {9, 8, 7});
    xml::SaveDocument(*doc, dir.File("Resources/" + guid + ".XML"));
  }
  void Reference(pugi::xml_node requirement, const char* guid) {
    auto list = requirement.child("Resources") ? requirement.child("Resources")
                                               : requirement.append_child("Resources");
    list.append_child("Resource").append_child("GUID").text().set(guid);
  }
};

TEST_F(PackageResourceTest, EachResourceGetsAKeyAndACommandOfItsOwn) {
  Seed(*conn, 0);
  ResourceFile("{A0000000-0000-0000-0000-0000000000E1}");
  ResourceFile("{A0000000-0000-0000-0000-0000000000E2}");
  PackageDoc doc("Project");  // the package document's root name is not looked at
  doc.Requirement(RequirementAttrs("{R0}"));
  auto r = doc.Requirement(RequirementAttrs("{R1}"));
  Reference(r, "{A0000000-0000-0000-0000-0000000000E1}");
  Reference(r, "{A0000000-0000-0000-0000-0000000000E2}");
  Read(doc);
  EXPECT_FALSE(conn->HasCommand("0ResourceObjInsert"));
  EXPECT_FALSE(conn->HasCommand("1ResourceObjInsert"));
  EXPECT_EQ(conn->CommandCount(), 2u);
  EXPECT_EQ(Text("SELECT group_concat(ID || ',' || NAME || ',' || TYPE || ',' || "
                 "REQUIREMENTID || "
                 "',' || hex(RESOURCEOBJ) || ',' || QMGUID || ',' || Flags || ',' || "
                 "VERSIONDATETIME, ';') FROM QmResources"),
            "1,pic,png,2,090807,{A0000000-0000-0000-0000-0000000000E1},3,2010-05-06 07:08:09;"
            "2,pic,png,2,090807,{A0000000-0000-0000-0000-0000000000E2},3,2010-05-06 07:08:09");
  EXPECT_EQ(Text("SELECT LastKey FROM QmKeys WHERE KeyClass = 'Resource'"), "2");
  EXPECT_EQ(Count("qmProjectRequirements WHERE ProjectID = 1"), 2);
}

TEST_F(PackageResourceTest, ResourceFileNeedsAResourceUnderPROJECT) {
  Seed(*conn, 0);
  ResourceFile("{A0000000-0000-0000-0000-0000000000E1}", "Project");
  PackageDoc doc;
  Reference(doc.Requirement(RequirementAttrs("{R1}")), "{A0000000-0000-0000-0000-0000000000E1}");
  Reference(doc.Requirement(RequirementAttrs("{R2}")), "{A0000000-0000-0000-0000-0000000000E9}");  // no file at all
  try {
    Read(doc);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), eErr_BadDocument);
    EXPECT_EQ(e.Source(), "PackageMover.CreateResourcesDBElement_");
  }
  EXPECT_EQ(Count("QmResources"), 0);
  doc.requirements.remove_child(doc.requirements.first_child());
  try {
    Read(doc, nullptr, "{PK2}.XML");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), eErr_FileNotFound);
  }
}

}  // namespace
}  // namespace qmxml::testing
