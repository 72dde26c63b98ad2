// The project structure document: names and order of the written
// attributes, default-item marking, the reader's keys, defaults, links and
// views, failures, and a database-to-database round trip.
#include "TestSupport.h"
#include "frame/Components.h"
#include "movers/definition/ProjStructureMover.h"
#include "qmxml/Error.h"
#include "transfer/Rows.h"
#include "xml/XmlDoc.h"
#include "xml/Files.h"

namespace qmxml::testing {
namespace {

using movers::ProjStructureMover;

Variant Chapter(std::shared_ptr<Recordset> rs) { return Variant(ObjectPtr(std::move(rs))); }

std::shared_ptr<Recordset> Items() {
  return MakeRecordset({"ITEMID", "ITEMTEXT", "ITEMRANK", "QMGUID"},
                       {{12, "High", 1, "{I12}"}, {15, "Mid", 2, "{I15}"}, {16, "Low", 3, "{I16}"}});
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

}  // namespace
}  // namespace qmxml::testing
