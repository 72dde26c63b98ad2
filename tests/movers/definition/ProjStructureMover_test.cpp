// The project structure document: names and order of the written
// attributes, default-item marking, the reader's keys, defaults, links and
// views, failures, and a database-to-database round trip.
#include "TestSupport.h"
#include "frame/Components.h"
#include "movers/definition/ProjStructureMover.h"
#include "qmxml/Error.h"
#include "transfer/Rows.h"
#include "xml/XmlDoc.h"

namespace qmxml::testing {
namespace {

using movers::ProjStructureMover;

Variant Chapter(std::shared_ptr<Recordset> rs) { return Variant(ObjectPtr(std::move(rs))); }

const std::vector<std::string> kAttrColumns = {
    "Label", "Rank", "AutoSuspect", "Required", "DataType", "DefaultValue",
    "FLAGS", "DESCRIPTION", "FieldProperties", "QMGUID", "ListItems"};

std::shared_ptr<Recordset> Items() {
  return MakeRecordset({"ITEMID", "ITEMTEXT", "ITEMRANK", "QMGUID"},
                       {{12, "High", 1, "{I12}"}, {15, "Mid", 2, "{I15}"}, {16, "Low", 3, "{I16}"}});
}

std::shared_ptr<Recordset> ListAttribute(int data_type, const std::string& default_value) {
  return MakeRecordset(kAttrColumns, {{"Prio", 2, true, false, data_type, default_value, 0, "",
                                       "", "{LA}", Chapter(Items())}});
}

std::shared_ptr<Collection> WriterRows(std::shared_ptr<Recordset> types) {
  auto rows = std::make_shared<Collection>();
  rows->Add(Chapter(MakeRecordset({"QMGUID", "RequirementTypes"}, {{"{P}", Chapter(types)}})),
            "RequirementTypes");
  return rows;
}

std::shared_ptr<Recordset> NoTypes() {
  return MakeRecordset({"NAME", "QMGUID", "ReqTypeAttrs"}, {});
}

XmlDocumentPtr WriteToScheduler(const std::shared_ptr<Collection>& rows) {
  ProjStructureMover m;
  DataDescriptor data;
  data.ReturnAsXMLStream = true;
  Scheduler scheduler;
  ObjectPtr o = rows;
  m.WriteData(nullptr, &data, o, &scheduler);
  return scheduler.XMLDoc;
}

TEST(ProjStructureWriter, WritesEveryElementWithItsAttributesInOrder) {
  auto links = MakeRecordset({"Label", "QMGUID"}, {{"Prio", "{LA}"}});
  auto types = MakeRecordset(
      {"NAME", "DESCRIPTION", "RequirementPrefix", "RequirementColor", "RequirementStyle",
       "RequirementMustContain", "InitialReqNumber", "LastReqNumber",
       "AllowExternalReferences", "QMGUID", "ReqTypeAttrs"},
      {{"Feature", Variant::Null(), "FEAT", 20, 2, "  x ", 1, 9, true, "{RT}", Chapter(links)}});
  auto rows = WriterRows(types);
  rows->Add(Chapter(MakeRecordset(kAttrColumns, {{"Owner", 1, false, true, 1, "nobody", 4,
                                                  "who", "fp", "{TA}", Variant()}})),
            "Attributes");
  rows->Add(Chapter(ListAttribute(10, "12, 15")), "MultiAttributes");
  rows->Add(Chapter(MakeRecordset(
                {"NAME", "DESCRIPTION", "FileExtension", "RTName", "TemplateName",
                 "TemplateDescription", "TemplateFileName", "TemplateHelpFile", "RTGUID",
                 "QMGUID"},
                {{"Design", "", "spc", "Feature", "t", "td", "tf", "th", "{RT}", "{DT}"}})),
            "DocumentTypes");

  TempDir dir;
  auto db = std::make_shared<DatabaseContainer>();
  SourceContainer source(dir.File("structure.xml"), db);
  DataDescriptor data;
  ProjStructureMover m;
  ObjectPtr o = rows;
  m.WriteData(&source, &data, o, nullptr);

  auto doc = xml::LoadDocument(dir.File("structure.xml"), "test");
  auto project = xml::RootElement(*doc);
  EXPECT_EQ(AttrNames(project), "ID XMLVersion");
  EXPECT_EQ(ChildNames(project), "RequirementTypes Attributes DocumentTypes");
  EXPECT_EQ(AttrNames(Find(project, "RequirementTypes/RequirementType")),
            "Name Description RequirementPrefix RequirementColorName RequirementColor "
            "RequirementStyleName RequirementStyle RequirementMustContain InitialReqNumber "
            "LastReqNumber AllowExternalReferences ID");
  EXPECT_EQ(AttrNames(Find(project, "//RequirementType/Attributes/Attribute")), "Label ID");
  EXPECT_EQ(Values(project, "Attributes/Attribute/@Label"), "Owner|Prio|");
  EXPECT_EQ(AttrNames(Find(project, "Attributes/Attribute")),
            "Label Rank AutoSuspect Required DataTypeName DataType DefaultValue Flags Description "
            "FieldProperties ID");
  EXPECT_EQ(AttrNames(Find(project, "//ListItem")), "ItemText ItemRank Default ID");
  EXPECT_EQ(AttrNames(Find(project, "//DocumentType")),
            "Name Description FileExtension DefaultRequirementName TemplateName TemplateDescription "
            "TemplateFileName TemplateHelpFile DefaultRequirementTypeGUID ID");
  // What the reader does not read back: names beside codes, the type's name.
  EXPECT_EQ(Values(project, "//RequirementType/@RequirementColorName"), "Invalid ReqType Color Code");
  EXPECT_EQ(Values(project, "//RequirementType/@RequirementStyleName"), "Small Capitals");
  EXPECT_EQ(Values(project, "Attributes/Attribute/@DataTypeName"), "Text|MultiSelect|");
  EXPECT_EQ(Values(project, "//DocumentType/@DefaultRequirementName"), "Feature");
  // A Null description is written empty; blanks around a text are dropped.
  EXPECT_EQ(Values(project, "//RequirementType/@Description"), "");
  EXPECT_EQ(Values(project, "//RequirementType/@RequirementMustContain"), "x");
  EXPECT_EQ(Values(project, "//RequirementType/@AllowExternalReferences"), "True");
}

TEST(ProjStructureWriter, MarksDefaultItemsFromTheKeyFormOfDefaultValue) {
  struct Case {
    const char* group;
    int data_type;
    const char* default_value;
    const char* marks;  // Default of items 12, 15, 16
  } cases[] = {
      {"MultiAttributes", 10, "12, 15", "TTF"},
      {"MultiAttributes", 10, "\"12\", \"15\"", "TTF"},
      {"MultiAttributes", 10, "16", "FFT"},
      {"MultiAttributes", 10, "", "FFF"},
      {"ListAttributes", 0, "12, 15", "FFF"},
      {"ListAttributes", 0, "15", "FTF"},
      {"ListAttributes", 0, "", "FFF"},
  };
  for (const auto& c : cases) {
    auto rows = WriterRows(NoTypes());
    rows->Add(Chapter(ListAttribute(c.data_type, c.default_value)), c.group);
    auto doc = WriteToScheduler(rows);
    ASSERT_TRUE(doc) << c.default_value;
    std::string marks;
    for (auto item : doc->select_nodes("//ListItem"))
      marks += item.node().attribute("Default").value()[0];
    EXPECT_EQ(marks, c.marks) << c.group << " " << c.default_value;
  }
}

TEST(ProjStructureWriter, EmptyProjectSetWritesNoFileAndHandsNothingBack) {
  auto empty = MakeRecordset({"QMGUID", "RequirementTypes"}, {});
  auto rows = std::make_shared<Collection>();
  rows->Add(Chapter(empty), "RequirementTypes");
  EXPECT_FALSE(WriteToScheduler(rows));

  TempDir dir;
  SourceContainer source(dir.File("s.xml"), nullptr);
  DataDescriptor data;
  ObjectPtr o = rows;
  ProjStructureMover().WriteData(&source, &data, o, nullptr);
  EXPECT_FALSE(xml::FileExists(dir.File("s.xml")));
}

// ---------------------------------------------------------------- reader

const char* kStructureXml = R"(<?xml version="1.0" standalone="yes"?>
<PROJECT ID="{P}" XMLVersion="2">
 <RequirementTypes>
  <RequirementType Name="Feature" Description="a&#10;b" RequirementPrefix="FEAT" RequirementColorName="Blue" RequirementColor="2" RequirementStyleName="Normal" RequirementStyle="1" RequirementMustContain="" InitialReqNumber="1" LastReqNumber="9" AllowExternalReferences="True" ID="{RT}">
   <Attributes><Attribute Label="Prio" ID="{LIST}"/><Attribute Label="Gone" ID="{NOWHERE}"/></Attributes>
  </RequirementType>
 </RequirementTypes>
 <Attributes>
  <Attribute Label="Prio" Rank="1" AutoSuspect="True" Required="False" DataTypeName="List" DataType="0" DefaultValue="999" Flags="4" Description="d" FieldProperties="" ID="{LIST}">
   <ListItems><ListItem ItemText="High" ItemRank="1" Default="true" ID="{I1}"/><ListItem ItemText="Low" ItemRank="2" Default="TRUE" ID="{I2}"/></ListItems>
  </Attribute>
  <Attribute Label="Tags" Rank="2" AutoSuspect="False" Required="True" DataTypeName="MultiSelect" DataType="10" DefaultValue="" Flags="0" Description="" FieldProperties="" ID="{MULTI}">
   <ListItems><ListItem ItemText="A" ItemRank="1" Default="True" ID="{I3}"/><ListItem ItemText="B" ItemRank="2" Default="True" ID="{I4}"/></ListItems>
  </Attribute>
  <Attribute Label="None" Rank="3" AutoSuspect="False" Required="False" DataTypeName="MultiSelect" DataType="10" DefaultValue="7" Flags="0" Description="" FieldProperties="" ID="{NONE}">
   <ListItems><ListItem ItemText="C" ItemRank="1" Default="False" ID="{I5}"/></ListItems>
  </Attribute>
  <Attribute Label="Owner" Rank="4" AutoSuspect="False" Required="False" DataTypeName="Text" DataType="1" DefaultValue="  nobody " Flags="x" Description="" FieldProperties="fp" ID="{TEXT}"/>
 </Attributes>
 <DocumentTypes>
  <DocumentType Name="Design" Description="x&#10;y" FileExtension="spc" DefaultRequirementName="Feature" TemplateName="t" TemplateDescription="td" TemplateFileName="tf" TemplateHelpFile="th" DefaultRequirementTypeGUID="{RT}" ID="{DT}"/>
 </DocumentTypes>
</PROJECT>
)";

const std::vector<std::string> kTargetTables = {
    "qmUserDefinedFields",       "qmUserDefinedListItems", "qmRequirementTypes",
    "qmProjectRequirementTypes", "qmRequirementTypeFields", "qmDocumentTypes",
    "qmProjectDocumentTypes"};

class ProjStructureReader : public DbFixture {
 protected:
  void Read(const std::string& text) {
    WriteFile(dir.File("s.xml"), text);
    auto source = Source("s.xml");
    ObjectPtr rows = transfer::TargetCollection(*conn, kTargetTables);
    ProjStructureMover().ReadData(source.get(), &data, rows, &scheduler);
  }
  std::string Text(const std::string& sql, const std::string& arg) {
    return conn->Scalar(sql, {Variant(arg)}).ToText();
  }
  int32_t Key(const char* word, const char* guid) { return db->keys->getKeyFromGUID(word, guid); }
};

TEST_F(ProjStructureReader, StoresNewKeysDefaultsLinksAndProjectMembership) {
  db->keys->Remember("Project", "{P}", 7);
  data.ProjectFlags = 1;  // new GUIDs: references must still resolve
  Read(kStructureXml);

  const int32_t list = Key("UserDefinedField", "{LIST}");
  auto F = [&](const char* col, const char* label) {
    return Text("SELECT " + std::string(col) + " FROM qmUserDefinedFields WHERE Label = ?", label);
  };
  EXPECT_EQ(F("DefaultValue", "Prio"), std::to_string(Key("UserDefinedListItem", "{I2}")));
  EXPECT_EQ(F("DefaultValue", "Tags"), std::to_string(Key("UserDefinedListItem", "{I3}")) + ", " +
                                           std::to_string(Key("UserDefinedListItem", "{I4}")));
  EXPECT_EQ(F("DefaultValue", "None"), "");
  EXPECT_EQ(F("DefaultValue", "Owner"), "  nobody ");
  EXPECT_EQ(F("AutoSuspect || Required || FLAGS || DataType", "Prio"), "1040");
  EXPECT_EQ(F("AutoSuspect || Required || FLAGS || DataType", "Owner"), "0001");
  EXPECT_EQ(F("ID", "Prio"), std::to_string(list));
  EXPECT_NE(F("QMGUID", "Prio"), "{LIST}");
  EXPECT_EQ(Text("SELECT FIELDID FROM qmUserDefinedListItems WHERE ItemText = ?", "Low"),
            std::to_string(list));

  const int32_t type = Key("RequirementType", "{RT}");
  EXPECT_EQ(Text("SELECT DESCRIPTION || '|' || RequirementColor || RequirementStyle || "
                 "AllowExternalReferences || ID FROM qmRequirementTypes WHERE NAME = ?",
                 "Feature"),
            "a\r\nb|211" + std::to_string(type));
  EXPECT_EQ(Text("SELECT group_concat(USERDEFINEDFIELDID) FROM (SELECT USERDEFINEDFIELDID FROM "
                 "qmRequirementTypeFields WHERE REQUIREMENTTYPEID = ? ORDER BY rowid)",
                 std::to_string(type)),
            std::to_string(list) + ",0");
  EXPECT_EQ(Text("SELECT group_concat(PROJECTID) FROM qmProjectRequirementTypes "
                 "WHERE RequirementTypeID = ?", std::to_string(type)), "7");

  EXPECT_EQ(Text("SELECT DESCRIPTION || '|' || DefaultRequirementType || '|' || TemplateHelpFile "
                 "FROM qmDocumentTypes WHERE NAME = ?", "Design"),
            "x\r\ny|" + std::to_string(type) + "|th");
  EXPECT_EQ(Text("SELECT PROJECTID FROM qmProjectDocumentTypes WHERE DocumentTypeID = ?",
                 std::to_string(Key("DocumentType", "{DT}"))),
            "7");
}

TEST_F(ProjStructureReader, MakesOneAttributeViewPerAttributeOverTheValueTables) {
  Read(kStructureXml);
  const int32_t list = Key("UserDefinedField", "{LIST}");
  const int32_t text = Key("UserDefinedField", "{TEXT}");
  EXPECT_EQ(conn->Scalar("SELECT COUNT(*) FROM sqlite_master WHERE type = 'view' AND name LIKE "
                         "'QmAttrView_%'", {}).ToLong(), 4);
  conn->Run("INSERT INTO qmUserDefinedListValues (RequirementID, FieldID, ListItemID) "
            "VALUES (50, ?, ?)", {Variant(list), Variant(Key("UserDefinedListItem", "{I1}"))});
  conn->Run("INSERT INTO qmUserDefinedFieldValues (REQUIREMENTID, FIELDID, FieldValue) "
            "VALUES (51, ?, 'me')", {Variant(text)});
  EXPECT_EQ(conn->Scalar("SELECT RequirementID || Value FROM " +
                         AttrViewBuilder::ViewName(list), {}).ToText(), "50High");
  EXPECT_EQ(conn->Scalar("SELECT RequirementID || Value FROM " +
                         AttrViewBuilder::ViewName(text), {}).ToText(), "51me");
}

TEST_F(ProjStructureReader, ParseErrorKeepsTheParserCodeAndChangesNothing) {
  const std::string before = Dump();
  try {
    Read("<?xml version=\"1.0\"?><PROJECT ID=\"{P}\"><RequirementTypes></PROJECT>");
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), pugi::status_end_element_mismatch);
    EXPECT_EQ(e.Source(), "ProjStructureMover.ReadProjectStructure_");
    const std::string prefix = frame::ResourceStringV(
        eMsg_UploadFailed, {frame::ResourceString(eMsg_Structure), dir.File("s.xml")});
    EXPECT_EQ(e.Description().substr(0, prefix.size() + 1), prefix + " ");
  }
  EXPECT_EQ(Dump(), before);
}

TEST_F(ProjStructureReader, WrongContextOrNoKeyMapInsertsNothing) {
  const std::string before = Dump();
  data.ClassName = "QmDataMover.Other";
  try {
    Read(kStructureXml);
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), eMsg_ExpectedDataDescObject);
  }
  data.ClassName = "qmdatamover.datadescriptor";
  db->keys = nullptr;
  Read(kStructureXml);
  EXPECT_EQ(Dump(), before);
}

// ------------------------------------------------------------ round trip

// The structure of |c| in a form that names rows by GUID, not by key.
std::string Canonical(Connection& c) {
  const char* queries[] = {
      "SELECT QMGUID, NAME, DESCRIPTION, RequirementPrefix, RequirementColor, RequirementStyle, "
      "RequirementMustContain, InitialReqNumber, LastReqNumber, AllowExternalReferences "
      "FROM qmRequirementTypes ORDER BY QMGUID",
      "SELECT QMGUID, Label, Rank, AutoSuspect, Required, DataType, FLAGS, DESCRIPTION, "
      "FieldProperties, CASE WHEN DataType IN (0, 10) THEN '' ELSE DefaultValue END "
      "FROM qmUserDefinedFields ORDER BY QMGUID",
      "SELECT f.QMGUID, i.QMGUID FROM qmUserDefinedFields f JOIN qmUserDefinedListItems i "
      "ON ',' || replace(replace(f.DefaultValue, ' ', ''), '\"', '') || ',' LIKE '%,' || i.ITEMID || ',%' "
      "WHERE f.DataType IN (0, 10) ORDER BY 1, 2",
      "SELECT i.QMGUID, i.ItemText, i.ItemRank, f.QMGUID FROM qmUserDefinedListItems i "
      "JOIN qmUserDefinedFields f ON f.ID = i.FIELDID ORDER BY 1",
      "SELECT t.QMGUID, f.QMGUID FROM qmRequirementTypeFields l JOIN qmRequirementTypes t "
      "ON t.ID = l.REQUIREMENTTYPEID JOIN qmUserDefinedFields f ON f.ID = l.USERDEFINEDFIELDID "
      "ORDER BY 1, 2",
      "SELECT d.QMGUID, d.NAME, d.DESCRIPTION, d.FileExtension, d.TemplateName, "
      "d.TemplateDescription, d.TemplateFileName, d.TemplateHelpFile, r.QMGUID "
      "FROM qmDocumentTypes d LEFT JOIN qmRequirementTypes r ON r.ID = d.DefaultRequirementType "
      "ORDER BY 1",
      "SELECT p.QmGUID, d.QMGUID FROM qmProjectDocumentTypes x JOIN qmProjects p "
      "ON p.ID = x.PROJECTID JOIN qmDocumentTypes d ON d.ID = x.DocumentTypeID"};
  std::string out;
  for (const char* q : queries) out += QueryText(c, q) + "--\n";
  return out;
}

TEST_F(ProjStructureReader, RoundTripDatabaseToXmlToDatabase) {
  conn->ExecuteScript(R"(
    INSERT INTO qmProjects (ID, Name, QmGUID) VALUES (5, 'P', '{P}');
    INSERT INTO qmRequirementTypes VALUES (31, 'Feature', 'l1' || char(13, 10) || 'l2', 'FEAT',
      3, 1, 'must', 1, 40, 1, '{RT}');
    INSERT INTO qmProjectRequirementTypes VALUES (5, 31);
    INSERT INTO qmUserDefinedFields VALUES (101, 'Prio', 1, 1, 0, 0, '202', 4, 'd', '', '{LIST}');
    INSERT INTO qmUserDefinedFields VALUES (102, 'Tags', 2, 0, 1, 10, '"203", "204"', 0, '', 'fp',
      '{MULTI}');
    INSERT INTO qmUserDefinedFields VALUES (103, 'Owner', 3, 0, 0, 1, 'me', 0, '', '', '{TEXT}');
    INSERT INTO qmUserDefinedListItems VALUES (201, 101, 'High', 1, '{I1}');
    INSERT INTO qmUserDefinedListItems VALUES (202, 101, 'Low', 2, '{I2}');
    INSERT INTO qmUserDefinedListItems VALUES (203, 102, 'A', 1, '{I3}');
    INSERT INTO qmUserDefinedListItems VALUES (204, 102, 'B', 2, '{I4}');
    INSERT INTO qmRequirementTypeFields VALUES (31, 101);
    INSERT INTO qmRequirementTypeFields VALUES (31, 103);
    INSERT INTO qmDocumentTypes VALUES (61, 'Design', 'x', 'spc', 't', 'td', 'tf', 'th', 31, '{DT}');
    INSERT INTO qmProjectDocumentTypes VALUES (5, 61);
  )");

  auto types = conn->Query("SELECT t.*, NULL AS ReqTypeAttrs FROM qmRequirementTypes t");
  transfer::AttachChapter(*types, "ID", "ReqTypeAttrs",
                          conn->Query("SELECT l.REQUIREMENTTYPEID, f.Label, f.QMGUID FROM "
                                      "qmRequirementTypeFields l JOIN qmUserDefinedFields f "
                                      "ON f.ID = l.USERDEFINEDFIELDID"),
                          "REQUIREMENTTYPEID");
  auto rows = WriterRows(types);
  rows->Add(Chapter(conn->Query("SELECT * FROM qmUserDefinedFields WHERE DataType = 1")),
            "Attributes");
  const char* groups[][2] = {{"ListAttributes", "0"}, {"MultiAttributes", "10"}};
  for (const auto& g : groups) {
    auto attrs = conn->Query(std::string("SELECT f.*, NULL AS ListItems FROM "
                                         "qmUserDefinedFields f WHERE DataType = ") + g[1]);
    transfer::AttachChapter(*attrs, "ID", "ListItems",
                            conn->Query("SELECT * FROM qmUserDefinedListItems"), "FIELDID");
    rows->Add(Chapter(attrs), g[0]);
  }
  rows->Add(Chapter(conn->Query("SELECT d.*, r.NAME AS RTName, r.QMGUID AS RTGUID FROM "
                                "qmDocumentTypes d LEFT JOIN qmRequirementTypes r "
                                "ON r.ID = d.DefaultRequirementType")),
            "DocumentTypes");
  ObjectPtr o = rows;
  auto source = Source("s.xml");
  ProjStructureMover().WriteData(source.get(), &data, o, &scheduler);

  auto target = CreateProjectDatabase(dir.File("target.db"));
  target->Execute("INSERT INTO qmProjects (ID, Name, QmGUID) VALUES (1, 'P', '{P}')");
  auto tdb = std::make_shared<DatabaseContainer>();
  tdb->connection = target;
  tdb->keys = std::make_shared<KeyMap>(target.get());
  SourceContainer tsource(dir.File("s.xml"), tdb);
  ObjectPtr trows = transfer::TargetCollection(*target, kTargetTables);
  ProjStructureMover().ReadData(&tsource, &data, trows, &scheduler);

  EXPECT_EQ(Canonical(*target), Canonical(*conn));
  EXPECT_NE(tdb->keys->getKeyFromGUID("UserDefinedField", "{LIST}"), 101);
}

}  // namespace
}  // namespace qmxml::testing
