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

// A folder is a trust boundary: a name beside it that merely starts with
// its name, the folder itself, or a link leading out are not inside it.
TEST(XmlFrame, InsideFolderMeansBelowItWithEveryLinkFollowed) {
  TempDir dir;
  namespace fs = std::filesystem;
  fs::create_directories(dir.File("out/sub"));
  fs::create_directories(dir.File("outside"));
  fs::create_directory_symlink(dir.File("outside"), dir.File("out/away"));
  const std::string folder = dir.File("out");
  const struct {
    std::string path;
    bool inside;
  } cases[] = {{dir.File("out/a.xml"), true},          {dir.File("out/sub/b.xml"), true},
               {folder + "/sub/../c.xml", true},         {dir.File("outside/a.xml"), false},
               {dir.File("out2.xml"), false},            {folder, false},
               {dir.File("out/away/a.xml"), false},      {folder + "/../outside/a", false}};
  for (const auto& c : cases) EXPECT_EQ(InsideFolder(c.path, folder), c.inside) << c.path;
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
  // Code 26 is written as "|" (XML 1.0 cannot carry it); the readers' text
  // rule turns it back. Everything else comes back as it was.
  size_t i = 0;
  for (pugi::xml_attribute a : RootElement(*back).attributes()) {
    ASSERT_LT(i, std::size(texts));
    std::string expected = texts[i];
    for (char& c : expected)
      if (c == '\x1a') c = '|';
    EXPECT_EQ(a.value(), expected) << i;
    ++i;
  }
  EXPECT_EQ(i, std::size(texts));
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
  auto value = [&](const char* name, int type) {
    return AttributeValue(e.attribute(name), type);
  };
  EXPECT_EQ(value("N", kLong).ToLong(), 0);
  EXPECT_EQ(value("M", kLong).ToLong(), 42);
  EXPECT_TRUE(value("X", kLong).IsNull());  // missing attribute
  EXPECT_TRUE(value("X", kDouble).IsNull());
  EXPECT_EQ(value("X", kString).ToText(), "");
  EXPECT_EQ(value("X", kBoolean).ToBool(), false);
  EXPECT_EQ(value("T", kString).ToText(), "abc");
  EXPECT_TRUE(value("B", kBoolean).ToBool());
  EXPECT_EQ(value("D", kDouble).ToDouble(), 2.5);
}

TEST(XmlText, LineFeedsBecomeCrLfOnce) {
  EXPECT_EQ(xml::LineEnds("\na\nb\r\nc\n"), "\r\na\r\nb\r\nc\r\n");
  EXPECT_EQ(xml::LineEnds(""), "");
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


}  // namespace
}  // namespace qmxml::testing
