// The document catalogue: the written document, the word file path, the
// entries read back by name with the file path cut into its parts, and the
// failure cases.
#include "movers/lists/DocListMover.h"

#include "movers/lists/CatalogTestSupport.h"

namespace qmxml::testing {
namespace {

const std::vector<std::string> kDocKeys = {
    "NAME",          "ID",       "filepath",     "wordfilepath",
    "FileDirectory", "FileName", "FileExtension"};

class DocListMoverTest : public CatalogFixture {
 protected:
  // A project row whose Docs chapter holds |docs|.
  static ObjectPtr Project(const std::shared_ptr<Recordset>& docs) {
    return MakeRecordset({"ID", "QMGUID", "Docs"},
                         {{int32_t{1}, "{P1}", ObjectPtr(docs)}});
  }
  static std::shared_ptr<Recordset> Docs(const std::vector<std::vector<Variant>>& rows) {
    return MakeRecordset(
        {"NAME", "QMGUID", "filepath", "filedirectory", "filename", "fileextension"},
        rows);
  }
};

TEST_F(DocListMoverTest, WritesOneDocPerRowWithTheAttributesInOrder) {
  auto docs = Docs({
      {"  Vision ", "{D1}", "/data/docs/Vision.doc", "/data/docs", "Vision", "doc"},
      {"Spec", "{D2}", "C:\\Docs\\Spec.doc", "C:\\Docs\\", "Spec", "doc"},
      {Variant::Null(), "{D3}", Variant::Null(), Variant::Null(), "Loose", "txt"},
  });
  Write("DocListMover", "docs.xml", Project(docs));
  EXPECT_EQ(
      Text("docs.xml"),
      "<?xml version=\"1.0\" standalone=\"yes\"?>\n"
      "<PROJECT ID=\"{P1}\" XMLVersion=\"2\">\n"
      "\t<DOCS>\n"
      "\t\t<DOC Name=\"Vision\" ID=\"{D1}\" filepath=\"/data/docs/Vision.doc\" "
      "wordfilepath=\"/data/docs/Vision.doc\" />\n"
      "\t\t<DOC Name=\"Spec\" ID=\"{D2}\" filepath=\"C:\\Docs\\Spec.doc\" "
      "wordfilepath=\"C:\\Docs\\Spec.doc\" />\n"
      "\t\t<DOC Name=\"\" ID=\"{D3}\" filepath=\"\" wordfilepath=\"/Loose.txt\" />\n"
      "\t</DOCS>\n"
      "</PROJECT>\n");
}

TEST(DocListMoverWordFilePath, JoinsFolderNameAndExtensionWithOneSeparator) {
  struct Case {
    const char* dir;
    const char* name;
    const char* ext;
    const char* expected;
  } cases[] = {
      {"C:\\Docs", "Spec", "doc", "C:\\Docs\\Spec.doc"},
      {"C:\\Docs\\", "Spec", "doc", "C:\\Docs\\Spec.doc"},
      {"", "Spec", "doc", "/Spec.doc"},
      {"/data/docs", "Spec", "doc", "/data/docs/Spec.doc"},
      {"/data/docs/", "Spec", "doc", "/data/docs/Spec.doc"},
      {"docs", "Spec", "", "docs/Spec."},
      {"\\\\server\\share/sub", "a.b", "rtf", "\\\\server\\share/sub/a.b.rtf"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(movers::DocListMover::GetWordFilePath_(c.dir, c.name, c.ext), c.expected)
        << c.dir;
}

TEST_F(DocListMoverTest, ListElementIsWrittenOnlyWhenDocsIsARecordSet) {
  Write("DocListMover", "empty.xml", Project(Docs({})));
  EXPECT_EQ(Text("empty.xml"),
            "<?xml version=\"1.0\" standalone=\"yes\"?>\n"
            "<PROJECT ID=\"{P1}\" XMLVersion=\"2\">\n\t<DOCS />\n</PROJECT>\n");

  Write("DocListMover", "none.xml",
        MakeRecordset({"QMGUID", "Docs"}, {{"{P1}", Variant::Null()}}));
  EXPECT_EQ(Text("none.xml"),
            "<?xml version=\"1.0\" standalone=\"yes\"?>\n<PROJECT ID=\"{P1}\" "
            "XMLVersion=\"2\" />\n");
}

TEST_F(DocListMoverTest, ProjectAtItsEndOrNoRowsWritesNoFile) {
  Write("DocListMover", "eof.xml", MakeRecordset({"QMGUID", "Docs"}, {}));
  Write("DocListMover", "nothing.xml", nullptr);
  EXPECT_FALSE(Exists("eof.xml"));
  EXPECT_FALSE(Exists("nothing.xml"));
}

TEST_F(DocListMoverTest, ReadsAttributesByNameAndCutsTheFilePath) {
  WriteFile(dir.File("docs.xml"),
            "<?xml version=\"1.0\" standalone=\"yes\"?>\n<PROJECT ID=\"{P1}\" "
            "XMLVersion=\"2\"><DOCS>"
            "<DOC wordfilepath=\"w1\" filepath=\"C:\\Docs\\Spec.final.doc\" ID=\"{D1}\" "
            "Name=\"Spec\"/>"
            "<DOC Name=\"Loose\" ID=\"{D2}\" filepath=\"Spec.doc\" wordfilepath=\"\"/>"
            "<DOC Name=\"Readme\" ID=\"{D3}\" filepath=\"/data/README\" "
            "wordfilepath=\"x\" Extra=\"1\"/>"
            "</DOCS></PROJECT>");
  // Entries are appended, without keys, to what the collection held.
  auto entries = std::make_shared<Collection>();
  entries->Add(Variant("earlier"), "k");
  ObjectPtr rows = entries;
  Read("DocListMover", "docs.xml", rows);
  EXPECT_EQ(rows, entries);
  ASSERT_EQ(entries->Count(), 4u);
  EXPECT_EQ(entries->Item("k").ToText(), "earlier");
  EXPECT_EQ(EntryAt(*entries, 2, kDocKeys),
            (EntryText{{"NAME", "Spec"},
                       {"ID", "{D1}"},
                       {"filepath", "C:\\Docs\\Spec.final.doc"},
                       {"wordfilepath", "w1"},
                       {"FileDirectory", "C:\\Docs"},
                       {"FileName", "Spec.final"},
                       {"FileExtension", ".doc"}}));
  EXPECT_EQ(EntryAt(*entries, 3, kDocKeys), (EntryText{{"NAME", "Loose"},
                                                       {"ID", "{D2}"},
                                                       {"filepath", "Spec.doc"},
                                                       {"wordfilepath", ""},
                                                       {"FileDirectory", ""},
                                                       {"FileName", ""},
                                                       {"FileExtension", ""}}));
  EXPECT_EQ(EntryAt(*entries, 4, kDocKeys), (EntryText{{"NAME", "Readme"},
                                                       {"ID", "{D3}"},
                                                       {"filepath", "/data/README"},
                                                       {"wordfilepath", "x"},
                                                       {"FileDirectory", "/data"},
                                                       {"FileName", "README"},
                                                       {"FileExtension", ""}}));
}

TEST_F(DocListMoverTest, DocWithoutAnAttributeFailsAndAppendsNothing) {
  WriteFile(dir.File("docs.xml"),
            "<?xml version=\"1.0\"?><PROJECT ID=\"{P1}\" XMLVersion=\"2\"><DOCS>"
            "<DOC Name=\"A\" ID=\"{D1}\" filepath=\"/a.doc\" wordfilepath=\"/a.doc\"/>"
            "<DOC Name=\"B\" ID=\"{D2}\" wordfilepath=\"/b.doc\"/></DOCS></PROJECT>");
  auto held = std::make_shared<Collection>();
  ObjectPtr rows = held;
  try {
    Read("DocListMover", "docs.xml", rows);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), 91);
    EXPECT_EQ(e.Source(), "DocListMover.ReadListXML_");
    EXPECT_EQ(e.Description().rfind(
                  "Import of the document list from the file " + dir.File("docs.xml"), 0),
              0u)
        << e.Description();
    EXPECT_NE(e.Description().find("\"filepath\""), std::string::npos);
  }
  EXPECT_EQ(held->Count(), 0u);
}

TEST_F(DocListMoverTest, ParseErrorRaisesTheParserCodeAndLeavesTheCollection) {
  WriteFile(dir.File("bad.xml"), "<?xml version=\"1.0\"?><PROJECT><DOCS></PROJECT>");
  auto held = std::make_shared<Collection>();
  ObjectPtr rows = held;
  try {
    Read("DocListMover", "bad.xml", rows);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), pugi::status_end_element_mismatch);
  }
  EXPECT_EQ(held->Count(), 0u);
}

TEST_F(DocListMoverTest, RowsThatAreNotACollectionAreATypeMismatch) {
  WriteFile(dir.File("docs.xml"), "<?xml version=\"1.0\"?><PROJECT><DOCS/></PROJECT>");
  ObjectPtr rows = MakeRecordset({"A"}, {});
  try {
    Read("DocListMover", "docs.xml", rows);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), eErr_TypeMismatch);
  }
}

}  // namespace
}  // namespace qmxml::testing
