// The shared XML conventions: frame, positions, value rules, round trip of
// stored texts through a saved and reloaded document.
#include "xml/XmlDoc.h"
#include "xml/Base64.h"
#include "xml/Files.h"

#include "TestSupport.h"
#include "qmxml/Error.h"

namespace qmxml::testing {
namespace {

using namespace qmxml::xml;

TEST(XmlFrame, DocumentStartsWithDeclarationAndHasTheRootAtChildOne) {
  TempDir dir;
  auto doc = NewDocument();
  auto root = doc->append_child("Project");
  SetIdentityText(root, "{G}");
  SaveDocument(*doc, dir.File("p.xml"));
  EXPECT_EQ(ReadFile(dir.File("p.xml")),
            "<?xml version=\"1.0\" standalone=\"yes\"?>\n<Project ID=\"{G}\" XMLVersion=\"2\" />\n");
  auto back = LoadDocument(dir.File("p.xml"), "test");
  EXPECT_EQ(ChildNode(*back, 0).type(), pugi::node_declaration);
  EXPECT_STREQ(RootElement(*back).name(), "Project");
}

TEST(XmlFrame, FilesAppearWholeOrNotAtAll) {
  TempDir dir;
  WriteFileBytes(dir.File("a.xml"), "old");
  WriteFileBytes(dir.File("a.xml"), "new text");
  EXPECT_EQ(ReadFile(dir.File("a.xml")), "new text");
  EXPECT_FALSE(std::filesystem::exists(dir.File("a.xml.part")));
  // A target that cannot be replaced (a folder) fails and leaves neither a
  // file nor the temporary one.
  std::filesystem::create_directory(dir.File("taken"));
  EXPECT_THROW(WriteFileBytes(dir.File("taken"), "x"), Error);
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("taken")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("taken.part")));
}

TEST(XmlFrame, ParseErrorsCarryTheParserCodeLineAndFile) {
  TempDir dir;
  WriteFile(dir.File("bad.xml"), "<?xml version=\"1.0\"?>\n<Project>\n  <A></B>\n</Project>\n");
  try {
    LoadDocument(dir.File("bad.xml"), "Src.Proc");
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), pugi::status_end_element_mismatch);
    EXPECT_EQ(e.Source(), "Src.Proc");
    EXPECT_NE(e.Description().find("line 3"), std::string::npos) << e.Description();
    EXPECT_NE(e.Description().find("bad.xml"), std::string::npos);
  }
  EXPECT_THROW(LoadDocument(dir.File("missing.xml"), "x"), Error);
}

TEST(XmlFrame, EveryCharacterOfAStoredTextSurvivesSaveAndLoad) {
  TempDir dir;
  const std::string texts[] = {
      "line1\r\nline2\r\n", "tab\there", "bar\x1a" "code26", "quotes \"'<>&", "ünïcödé €😀",
      "ctrl\x01\x02\x1f", "a\nb", "trailing cr\r",
  };
  auto doc = NewDocument();
  auto root = doc->append_child("R");
  for (size_t i = 0; i < std::size(texts); ++i)
    SetAttr(root, ("A" + std::to_string(i)).c_str(), texts[i]);
  SaveDocument(*doc, dir.File("t.xml"));
  auto back = LoadDocument(dir.File("t.xml"), "test");
  Attrs a(RootElement(*back));
  ASSERT_EQ(a.size(), std::size(texts));
  // Code 26 is written as "|" (XML 1.0 cannot carry it); the readers' text
  // rule turns it back. Everything else comes back as it was.
  for (size_t i = 0; i < std::size(texts); ++i) {
    std::string expected = texts[i];
    for (char& c : expected)
      if (c == '\x1a') c = '|';
    EXPECT_EQ(a[i].value(), expected) << i;
  }
  const std::string file = ReadFile(dir.File("t.xml"));
  EXPECT_EQ(file.find("&#26;"), std::string::npos);
  EXPECT_NE(file.find("bar|code26"), std::string::npos);
}

TEST(XmlFrame, ToXml10ReplacesCode26AndReportsWhatIsLeft) {
  struct Case {
    std::string in, out;
    bool left;
  };
  const Case cases[] = {
      {"<a b=\"x&#26;y\"/>", "<a b=\"x|y\"/>", false},
      {"&#26;&#26;", "||", false},
      {"a&#13;&#10;&#9;b", "a&#13;&#10;&#9;b", false},
      {"&#1;&#26;", "&#1;|", true},
      {"&amp;#26;", "&amp;#26;", false},  // a data "&" is never a reference
      {"&#31;", "&#31;", true},
      {"", "", false},
  };
  for (const auto& c : cases) {
    std::string bytes = c.in;
    EXPECT_EQ(ToXml10(bytes), c.left) << c.in;
    EXPECT_EQ(bytes, c.out) << c.in;
  }
}

TEST(XmlValues, AttributeRules) {
  auto doc = NewDocument();
  auto e = doc->append_child("E");
  SetAttr(e, "N", "12x");
  SetAttr(e, "M", " 42 ");
  SetAttr(e, "T", "  abc ");
  SetAttr(e, "B", "True");
  SetAttr(e, "D", "2.5");
  Attrs a(e);
  EXPECT_EQ(a.Value(0, kLong).ToLong(), 0);
  EXPECT_EQ(a.Value(1, kLong).ToLong(), 42);
  EXPECT_TRUE(a.Value(9, kLong).IsNull());  // missing attribute
  EXPECT_TRUE(a.Value(9, kDouble).IsNull());
  EXPECT_EQ(a.Value(9, kString).ToText(), "");
  EXPECT_EQ(a.Value(9, kBoolean).ToBool(), false);
  EXPECT_EQ(a.Text(2), "abc");
  EXPECT_TRUE(a.Value(3, kBoolean).ToBool());
  EXPECT_EQ(a.Value(4, kDouble).ToDouble(), 2.5);
}

TEST(XmlValues, ColumnRules) {
  auto rs = MakeRecordset({"S", "Z", "N", "B", "X"},
                          {{Variant("  abc "), Variant(std::string("abc\0", 4)),
                            Variant("7"), Variant(int32_t{1}), Variant::Null()}});
  EXPECT_EQ(ColumnValue(rs->GetField("S"), kString).ToText(), "abc");
  EXPECT_EQ(ColumnValue(rs->GetField("Z"), kString).ToText(), "abc");
  EXPECT_EQ(ColumnValue(rs->GetField("N"), kLong).ToLong(), 7);
  EXPECT_EQ(BooleanWord(ColumnValue(rs->GetField("B"), kBoolean)), "True");
  EXPECT_EQ(ColumnValue(rs->GetField("X"), kString).ToText(), "");
  EXPECT_EQ(ColumnValue(rs->GetField("X"), kLong).ToLong(), 0);
  EXPECT_EQ(BooleanWord(ColumnValue(rs->GetField("X"), kBoolean)), "False");
  EXPECT_EQ(ColumnValue(rs->GetField("Missing"), kLong).ToLong(), 0);
  EXPECT_EQ(BooleanWord(Variant("nonsense")), "False");
}

TEST(XmlText, Helpers) {
  EXPECT_EQ(LineEnds("a\nb"), "a\r\nb");
  EXPECT_EQ(LineEnds("a\r\nb\n"), "a\r\nb\r\n");
  auto tokens = ListSplitter("a, b,,c", ",");
  ASSERT_TRUE(tokens);
  ASSERT_EQ(tokens->Count(), 3u);
  EXPECT_EQ(tokens->Item(1).ToText(), "A");
  EXPECT_EQ(tokens->Item(2).ToText(), "B");
  EXPECT_EQ(tokens->Item(3).ToText(), "C");
  EXPECT_EQ(ListSplitter("", ","), nullptr);
  EXPECT_EQ(ListSplitter("abc", ""), nullptr);
  EXPECT_EQ(ListSplitter(",,", ",")->Count(), 0u);
  EXPECT_EQ(CutFirstTwo("xyabc"), "abc");
  EXPECT_EQ(CutFirstTwo("   "), "   ");
  EXPECT_EQ(FolderOfPath("/a/b/c.xml"), "/a/b/");
  EXPECT_EQ(FolderOfPath("c.xml"), "");
  EXPECT_EQ(ColorName(13), "DarkRed");
  EXPECT_EQ(ColorName(17), "Invalid ReqType Color Code");
  EXPECT_EQ(StyleName(2), "Small Capitals");
  EXPECT_EQ(StyleName(0), "Invalid ReqType Style Code");
  EXPECT_EQ(DataTypeName(10), "MultiSelect");
  EXPECT_EQ(DataTypeName(6), "Invalid Datatype code");
}

TEST(XmlText, Base64ValuesRoundTripEveryByte) {
  std::vector<uint8_t> bytes(256);
  for (int i = 0; i < 256; ++i) bytes[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
  auto doc = NewDocument();
  auto e = doc->append_child("Resource");
  SetBase64Value(e, bytes);
  EXPECT_EQ(GetBase64Value(e), bytes);
  EXPECT_THROW(Base64Decode("not base64!"), Error);
}

TEST(XmlText, Base64WrappedInLinesReadsBackFromAFile) {
  // Other tools wrap Base64 at 76 (or 64) characters, with either line end
  // and indented like the element.
  std::vector<uint8_t> bytes(300);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 3);
  const std::string flat = Base64Encode(bytes);
  for (const char* eol : {"\n", "\r\n"}) {
    std::string wrapped = std::string(eol) + "\t\t";
    for (size_t i = 0; i < flat.size(); i += 76) wrapped += flat.substr(i, 76) + eol + "\t\t";
    TempDir dir;
    WriteFile(dir.File("r.xml"), "<?xml version=\"1.0\"?>\n<PROJECT><ResourceObject>" + wrapped +
                                     "</ResourceObject></PROJECT>\n");
    auto doc = LoadDocument(dir.File("r.xml"), "test");
    EXPECT_EQ(GetBase64Value(RootElement(*doc).child("ResourceObject")), bytes);
  }
}

class XmlColumnTest : public DbFixture {};

TEST_F(XmlColumnTest, ALongColumnHoldingTextIsWrittenAsZero) {
  // SQLite keeps text that does not look like a number in an INTEGER
  // column; the writers take such a value as 0 instead of failing.
  conn->Execute("INSERT INTO qmRequirements (ID, DocumentPosition) VALUES (1, 'abc'), (2, '12x'), "
                "(3, '7'), (4, ''), (5, NULL)");
  auto rs = conn->Query("SELECT DocumentPosition FROM qmRequirements ORDER BY ID");
  std::string got;
  for (; !rs->IsEOF(); rs->MoveNext())
    got += ColumnValue(rs->GetField("DocumentPosition"), kLong).ToText() + ",";
  EXPECT_EQ(got, "0,0,7,0,0,");
}

}  // namespace
}  // namespace qmxml::testing
