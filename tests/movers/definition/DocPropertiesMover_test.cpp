// The document-properties mover against real SQLite files and XML files:
// the written PROJECT/DOC document and what it tells the transfer context,
// the by-name reader, GUID renewal and failures (the round trip is the
// whole-project transfer test).
#include "movers/definition/DocPropertiesMover.h"

#include "RowText.h"
#include "TestSupport.h"
#include "qmxml/Error.h"
#include "xml/XmlDoc.h"
#include "xml/Files.h"

namespace qmxml::testing {
namespace {

const std::vector<std::string> kColumns = {"ProjectGUID",
                                           "NAME",
                                           "QMGUID",
                                           "documenttypeid",
                                           "DESCRIPTION",
                                           "ITEMLABEL",
                                           "PROTECTSTATE",
                                           "UNLOCKTOREVISE",
                                           "DEFERREDRENUMBER",
                                           "DEFERREDRESTYLE",
                                           "FILEDIRECTORY",
                                           "FILENAME",
                                           "FILEEXTENSION",
                                           "FILEDATETIME",
                                           "FILESIZE",
                                           "FILEFLAGS",
                                           "FILEVERSION",
                                           "VERSIONNUMBER",
                                           "VERSIONLABEL",
                                           "versionuserid",
                                           "VERSIONDATETIME",
                                           "VERSIONREASON",
                                           "OFFLINEFULLPATH",
                                           "OFFLINESTATUS",
                                           "FLAGS",
                                           "DocRelValues"};

std::shared_ptr<Recordset> DocRow() {
  auto related = MakeRecordset(
      {"fieldid", "RELATEDITEMID"},
      {{Variant("{F-1}"), Variant("{I-1}")}, {Variant("{F-2}"), Variant::Null()}});
  return MakeRecordset(kColumns,
                       {{Variant("{P-1}"),       Variant("Spec "),
                         Variant("{D-1}"),       Variant("{T-1}"),
                         Variant("a\nb"),        Variant(int32_t{1}),
                         Variant(int32_t{2}),    Variant(int32_t{0}),
                         Variant(int32_t{0}),    Variant(int32_t{1}),
                         Variant("C:\\docs\\"),  Variant("spec"),
                         Variant("doc"),         Variant(MakeDate(2009, 3, 1, 14, 5, 0)),
                         Variant(int32_t{1234}), Variant::Null(),
                         Variant(int32_t{3}),    Variant("1.0"),
                         Variant("v1"),          Variant("{U-1}"),
                         Variant::Null(),        Variant("first"),
                         Variant::Null(),        Variant(false),
                         Variant(int32_t{8}),    Variant(ObjectPtr(related))}});
}

class DocPropertiesMoverTest : public DbFixture {
 protected:
  void Write(std::shared_ptr<Recordset> rs) {
    ObjectPtr rows = rs;
    mover.WriteData(Source("doc.xml").get(), &data, rows, &scheduler);
  }
  void Read() {
    ObjectPtr rows;
    mover.ReadData(Source("doc.xml").get(), &data, rows, &scheduler);
  }
  // What the earlier readers of an import would have recorded.
  void KnowReferences() {
    db->keys->Remember("Project", "{P-1}", 11);
    db->keys->Remember("DocumentType", "{T-1}", 22);
    db->keys->Remember("User", "{U-1}", 33);
  }
  std::shared_ptr<Recordset> Document() {
    return conn->Query("SELECT * FROM qmDocuments ORDER BY ID DESC LIMIT 1");
  }

  movers::DocPropertiesMover mover;
};

TEST_F(DocPropertiesMoverTest, WritesDocWithRelatedValuesAndTellsTheContext) {
  Write(DocRow());
  EXPECT_EQ(
      ReadFile(dir.File("doc.xml")),
      "<?xml version=\"1.0\" standalone=\"yes\"?>\n"
      "<PROJECT ID=\"{P-1}\" XMLVersion=\"2\">\n"
      "\t<DOC Name=\"Spec\" ID=\"{D-1}\" documenttypeid=\"{T-1}\" "
      "description=\"a&#10;b\" "
      "itemlabel=\"True\" protectstate=\"2\" unlocktorevise=\"False\" "
      "deferredrenumber=\"0\" "
      "deferredrestyle=\"1\" filedirectory=\"C:\\docs\\\" filename=\"spec\" "
      "fileextension=\"doc\" filedatetime=\"2009-03-01 14:05:00\" filesize=\"1234\" "
      "fileflags=\"\" fileversion=\"3\" versionnumber=\"1.0\" versionlabel=\"v1\" "
      "versionuserid=\"{U-1}\" versiondatetime=\"\" versionreason=\"first\" "
      "offlinefullpath=\"\" offlinestatus=\"False\" flags=\"8\">\n"
      "\t\t<RELATEDVALUES>\n"
      "\t\t\t<VALUE fieldid=\"{F-1}\" relateditemid=\"{I-1}\" />\n"
      "\t\t\t<VALUE fieldid=\"{F-2}\" relateditemid=\"\" />\n"
      "\t\t</RELATEDVALUES>\n"
      "\t</DOC>\n"
      "</PROJECT>\n");
  EXPECT_EQ(data.ElementGUID.ToText(), "{D-1}");
  EXPECT_EQ(data.FileDirectory.ToText(), "C:\\docs\\");
  EXPECT_EQ(data.FileName.ToText(), "spec");
  EXPECT_EQ(data.FileExtension.ToText(), "doc");
}

TEST_F(DocPropertiesMoverTest, AlwaysSavesAndLeavesDocOutWithoutConversionService) {
  Write(MakeRecordset(kColumns, {}));
  EXPECT_FALSE(xml::FileExists(dir.File("doc.xml")));
  data.ReturnAsXMLStream = true;
  ServiceRegistry::Current().Disable(kProgIdConversion);
  Write(DocRow());
  EXPECT_EQ(scheduler.XMLDoc, nullptr);
  EXPECT_EQ(ReadFile(dir.File("doc.xml")),
            "<?xml version=\"1.0\" standalone=\"yes\"?>\n"
            "<PROJECT ID=\"{P-1}\" XMLVersion=\"2\" />\n");
}

// Attributes in reverse order: the reader looks them up by name.
std::string DocXml(const std::string& directory, const std::string& offline) {
  return "<?xml version=\"1.0\"?><PROJECT ID=\"{P-1}\" XMLVersion=\"2\"><DOC flags=\"4\" "
         "offlinestatus=\"True\" offlinefullpath=\"" +
         offline +
         "\" versionreason=\"\" "
         "versiondatetime=\"2010-01-02 03:04:05\" versionuserid=\"{u-1}\" "
         "versionlabel=\"\" "
         "versionnumber=\"2\" fileversion=\"5\" fileflags=\"1\" filesize=\"99\" "
         "filedatetime=\"\" fileextension=\"doc\" filename=\"f\" filedirectory=\"" +
         directory +
         "\" deferredrestyle=\"0\" deferredrenumber=\"1\" unlocktorevise=\"False\" "
         "protectstate=\"3\" itemlabel=\"True\" description=\"x&#10;y\" "
         "documenttypeid=\"{T-1}\" "
         "ID=\"{D-1}\" Name=\"\" XMLVersion=\"2\"/></PROJECT>";
}

TEST_F(DocPropertiesMoverTest, ReadsByNameAndLeavesEmptyPathsNull) {
  KnowReferences();
  struct Case {
    std::string directory, offline;
  };
  for (const Case& c : {Case{"", ""}, Case{"D:\\x", ""}, Case{"", "E:\\off.doc"}}) {
    SCOPED_TRACE(c.directory + c.offline);
    WriteFile(dir.File("doc.xml"), DocXml(c.directory, c.offline));
    Read();
    auto d = Document();
    ASSERT_FALSE(d->IsEOF());
    std::string path = c.directory.empty() ? "NULL" : c.directory;
    std::string offline = c.offline.empty() ? "NULL" : c.offline;
    EXPECT_EQ(RowText(*d), "22|NULL|x\r\ny|1|3|0|1|0|" + path +
                               "|f|doc|NULL|99|1|5|2||33|" + "2010-01-02 03:04:05||" +
                               offline + "|1|{D-1}|4|");
    auto link =
        conn->Query("SELECT ProjectID FROM qmProjectDocuments WHERE DocumentID = " +
                    d->Value("ID").ToText());
    EXPECT_EQ(link->Value("ProjectID").ToLong(), 11);
    EXPECT_EQ(db->keys->getKeyFromGUID("Document", "{D-1}"), d->Value("ID").ToLong());
  }
}

TEST_F(DocPropertiesMoverTest, NewGuidWhenCopyingYetTheXmlGuidStillResolves) {
  KnowReferences();
  data.ProjectFlags = 1;
  WriteFile(dir.File("doc.xml"), DocXml("", ""));
  Read();
  auto d = Document();
  EXPECT_NE(d->Value("QMGUID").ToText(), "{D-1}");
  EXPECT_EQ(db->keys->getKeyFromGUID("Document", "{D-1}"), d->Value("ID").ToLong());
}

TEST_F(DocPropertiesMoverTest, FailuresLeaveTheDatabaseAlone) {
  std::string before = Dump();
  WriteFile(dir.File("doc.xml"), "<?xml version=\"1.0\"?><PROJECT><DOC></PROJECT>");
  try {
    Read();
    FAIL();
  } catch (const Error& e) {
    EXPECT_NE(e.Number(), 0);
    EXPECT_EQ(e.Description().rfind("Import of the ", 0), 0u);
  }
  WriteFile(dir.File("doc.xml"),
            "<?xml version=\"1.0\"?><PROJECT ID=\"{P-1}\"><DOCS/></PROJECT>");
  Read();  // no DOC: nothing to insert
  db->keys.reset();
  WriteFile(dir.File("doc.xml"), DocXml("", ""));
  Read();  // no key map: nothing is inserted
  EXPECT_EQ(Dump(), before);
}

TEST_F(DocPropertiesMoverTest, ACountThatIsNoNumberStopsTheImport) {
  std::string text = DocXml("", "");
  text.replace(text.find("filesize=\"99\""), 13, "filesize=\"9x\"");
  WriteFile(dir.File("doc.xml"), text);
  try {
    Read();
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), eErr_TypeMismatch);
  }
  EXPECT_EQ(Count("qmDocuments"), 0);
}

}  // namespace
}  // namespace qmxml::testing
