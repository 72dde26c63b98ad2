// The project-properties mover against real SQLite files and XML files:
// the written "Project" element, the positional reader, GUID renewal,
// and failures that leave the database alone (the round trip is the
// whole-project transfer test).
#include "movers/definition/ProjPropsMover.h"

#include "RowText.h"
#include "TestSupport.h"
#include "qmxml/Error.h"
#include "xml/XmlDoc.h"
#include "xml/Files.h"

namespace qmxml::testing {
namespace {

const std::vector<std::string> kColumns = {"NAME",
                                           "DESCRIPTION",
                                           "PREFIX",
                                           "DOCUMENTWORDFORMAT",
                                           "AUTHORGUID",
                                           "SECURITYENABLED",
                                           "VERSIONNUMBER",
                                           "VERSIONLABEL",
                                           "VERSIONUSERGUID",
                                           "VERSIONDATETIME",
                                           "VERSIONREASON",
                                           "RSDS",
                                           "FLAGS",
                                           "QMGUID"};

std::vector<Variant> SampleRow() {
  return {Variant(std::string("Alpha\0", 6)),
          Variant("  line1\nline2 "),
          Variant("AL"),
          Variant(true),
          Variant("{U-1}"),
          Variant(int32_t{0}),
          Variant("1.2"),
          Variant::Null(),
          Variant("{U-2}"),
          Variant(MakeDate(2009, 3, 1, 14, 5, 0)),
          Variant("R & <D>"),
          Variant::Null(),
          Variant(int32_t{6}),
          Variant("{P-1}")};
}

class ProjPropsMoverTest : public DbFixture {
 protected:
  void Write(std::shared_ptr<Recordset> rs, const std::string& file = "project.xml") {
    ObjectPtr rows = rs;
    mover.WriteData(Source(file).get(), &data, rows, &scheduler);
  }
  void Read(const std::string& file = "project.xml") {
    ObjectPtr rows = std::make_shared<Collection>();
    mover.ReadData(Source(file).get(), &data, rows, &scheduler);
  }
  void AddUser(int id, const std::string& guid) {
    conn->Run("INSERT INTO qmUsers(ID, LoginName, QMGUID) VALUES (?, 'u', ?)",
              {Variant(int32_t{id}), Variant(guid)});
  }
  std::shared_ptr<Recordset> Project() {
    return conn->Query("SELECT * FROM qmProjects ORDER BY ID DESC LIMIT 1");
  }

  movers::ProjPropsMover mover;
};

TEST_F(ProjPropsMoverTest, WritesEveryAttributeInOrderWithSettingsLines) {
  data.Data = Variant(std::vector<std::string>{"[Main]", "", " x=1"});
  Write(MakeRecordset(kColumns, {SampleRow()}));
  EXPECT_EQ(ReadFile(dir.File("project.xml")),
            "<?xml version=\"1.0\" standalone=\"yes\"?>\n"
            "<Project Name=\"Alpha\" Description=\"line1&#10;line2\" Prefix=\"AL\" "
            "DocumentWordFormat=\"True\" AuthorGUID=\"{U-1}\" SecurityEnabled=\"False\" "
            "VersionNumber=\"1.2\" VersionLabel=\"\" VersionUserGUID=\"{U-2}\" "
            "VersionDateTime=\"2009-03-01 14:05:00\" VersionReason=\"R &amp; &lt;D>\" "
            "RSDS=\"\" Flags=\"6\" ID=\"{P-1}\" XMLVersion=\"2\" IniFile0=\"[Main]\" "
            "IniFile2=\" x=1\" />\n");
}

TEST_F(ProjPropsMoverTest, LaterRowsOverwriteInPlace) {
  auto second = SampleRow();
  second[0] = Variant("Beta");
  Write(MakeRecordset(kColumns, {SampleRow(), second}));
  auto doc = xml::LoadDocument(dir.File("project.xml"), "test");
  xml::Attrs a(xml::RootElement(*doc));
  EXPECT_EQ(a.size(), 15u);
  EXPECT_EQ(a.Text(0), "Beta");
}

TEST_F(ProjPropsMoverTest, NothingIsWrittenWithoutRowsOrConversionService) {
  for (bool no_service : {false, true}) {
    SCOPED_TRACE(no_service);
    data.ReturnAsXMLStream = no_service;
    if (no_service) ServiceRegistry::Current().Disable(kProgIdConversion);
    Write(MakeRecordset(kColumns, no_service
                                      ? std::vector<std::vector<Variant>>{SampleRow()}
                                      : std::vector<std::vector<Variant>>{}));
    EXPECT_FALSE(xml::FileExists(dir.File("project.xml")));
    EXPECT_EQ(scheduler.XMLDoc, nullptr);
  }
}

TEST_F(ProjPropsMoverTest, HandsTheDocumentBackInsteadOfSaving) {
  data.ReturnAsXMLStream = true;
  Write(MakeRecordset(kColumns, {SampleRow()}));
  EXPECT_FALSE(xml::FileExists(dir.File("project.xml")));
  ASSERT_NE(scheduler.XMLDoc, nullptr);
  EXPECT_STREQ(xml::RootElement(*scheduler.XMLDoc).name(), "Project");
}

// The reader takes attributes by position, whatever their names.
const char* kDocument =
    "<?xml version=\"1.0\" standalone=\"yes\"?>\n"
    "<Project a=\"\" b=\"x&#10;y\" c=\" \" d=\"True\" e=\"{U-1}\" f=\"1\" g=\"3\" h=\"\" "
    "i=\"{u-2}\" j=\"2009-03-01 14:05:00\" k=\"\" l=\"%s\" m=\"%s\" n=\"{P-1}\" o=\"2\" "
    "p=\"first\" q=\"second\"/>\n";

std::string Document(const std::string& rsds, const std::string& flags) {
  char buf[1024];
  std::snprintf(buf, sizeof buf, kDocument, rsds.c_str(), flags.c_str());
  return buf;
}

TEST_F(ProjPropsMoverTest, ReadsByPositionIntoTheProjectRow) {
  AddUser(7, "{U-1}");
  AddUser(8, "{U-2}");
  WriteFile(dir.File("project.xml"), Document("", "12x"));
  Read();
  auto p = Project();
  ASSERT_FALSE(p->IsEOF());
  EXPECT_EQ(p->Value("ID").ToLong(), data.ProjectKey);
  // Empty name and prefix are NULL, empty label and reason stay ''; "12x"
  // is no number, so Flags is 0; an empty RSDS leaves the column out.
  EXPECT_EQ(RowText(*p),
            "NULL|NULL|{P-1}|x\r\ny|1|7|1|3||8|2009-03-01 14:05:00||0|NULL|");
  EXPECT_EQ(*data.Data.Lines(), std::vector<std::string>{"first"});
  EXPECT_EQ(db->keys->getKeyFromGUID("Project", "{P-1}"), data.ProjectKey);
}

TEST_F(ProjPropsMoverTest, RsdsIsInsertedOnlyWhenPresent) {
  WriteFile(dir.File("project.xml"), Document("S|1", "5"));
  Read();
  EXPECT_EQ(Project()->Value("RSDS").ToText(),
            "S\x1a"
            "1");
  EXPECT_EQ(Project()->Value("Flags").ToLong(), 5);
}

TEST_F(ProjPropsMoverTest, MissingTrailingAttributesGiveNullFlagsAndAnEmptyLine) {
  WriteFile(dir.File("project.xml"),
            "<?xml version=\"1.0\"?><Project a=\"N\" b=\"\" c=\"\" d=\"False\" e=\"\" "
            "f=\"False\" g=\"\" h=\"\" i=\"\" j=\"\" k=\"\" l=\"\"/>");
  Read();
  auto p = Project();
  EXPECT_EQ(p->Value("Name").ToText(), "N");
  EXPECT_TRUE(p->Value("Flags").IsNull());
  EXPECT_TRUE(p->Value("VersionDateTime").IsNull());
  EXPECT_EQ(*data.Data.Lines(), std::vector<std::string>{""});
}

TEST_F(ProjPropsMoverTest, NewGuidWhenCopyingYetTheXmlGuidStillResolves) {
  data.ProjectFlags = 1;
  WriteFile(dir.File("project.xml"), Document("", "0"));
  Read();
  std::string stored = Project()->Value("QMGUID").ToText();
  EXPECT_NE(stored, "{P-1}");
  EXPECT_EQ(stored.size(), 38u);
  EXPECT_EQ(db->keys->getKeyFromGUID("Project", "{P-1}"), data.ProjectKey);
}

TEST_F(ProjPropsMoverTest, FailuresLeaveTheDatabaseAlone) {
  std::string before = Dump();
  const char* broken = "<?xml version=\"1.0\"?><Project a=\"1\"";
  WriteFile(dir.File("project.xml"), broken);
  data.ClassName = "Something.Else";
  try {
    Read();
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), eMsg_ExpectedDataDescObject);
    EXPECT_EQ(e.Source(), "ProjPropsMover.IMover_ReadData");
  }
  data.ClassName = "qmdatamover.datadescriptor";
  try {
    Read();
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(),
              static_cast<int>(pugi::xml_document().load_string(broken).status));
    EXPECT_EQ(e.Description().rfind("Import of the project properties from the file ", 0),
              0u);
  }
  EXPECT_EQ(Dump(), before);
}

}  // namespace
}  // namespace qmxml::testing
