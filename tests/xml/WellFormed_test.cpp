// The byte and shape checks a document passes before a transfer reads it.
#include "xml/WellFormed.h"

#include "TestSupport.h"
#include "qmxml/Error.h"

namespace qmxml::xml {
namespace {

using qmxml::testing::TempDir;
using qmxml::testing::WriteFile;

TEST(WellFormed, BytesAreUtf8WithoutNulOrControlCharacters) {
  struct Case {
    std::string bytes;
    bool accepted;
    const char* fault;  // part of the message when refused
  };
  const Case cases[] = {
      {"plain", true, ""},
      {"\xEF\xBB\xBFwith a byte order mark", true, ""},
      {"tab\tlf\ncr\r", true, ""},
      {"\xC3\xBC \xE2\x82\xAC \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF", true, ""},  // up to U+10FFFF
      {std::string("nul\0", 4), false, "NUL"},
      {"bell\x07", false, "code 7"},
      {"code 26 \x1a", false, "code 26"},
      {"lone continuation \x80", false, "not UTF-8"},
      {"overlong \xC0\xAF", false, "not UTF-8"},
      {"overlong three \xE0\x80\xAF", false, "not UTF-8"},
      {"surrogate \xED\xA0\x80", false, "not UTF-8"},
      {"above the last code point \xF4\x90\x80\x80", false, "not UTF-8"},
      {"cut short \xE2\x82", false, "not UTF-8"},
  };
  for (const auto& c : cases) {
    try {
      CheckDocumentBytes(c.bytes, "f.xml");
      EXPECT_TRUE(c.accepted) << c.bytes;
    } catch (const Error& e) {
      EXPECT_FALSE(c.accepted) << c.bytes;
      EXPECT_EQ(e.Number(), eErr_NotWellFormed);
      EXPECT_NE(e.Description().find(c.fault), std::string::npos) << e.Description();
      EXPECT_NE(e.Description().find("f.xml"), std::string::npos);
    }
  }
}

TEST(WellFormed, DocumentsWithADoctypeRepeatedAttributesOrBadSyntaxAreRefused) {
  TempDir dir;
  struct Case {
    const char* text;
    const char* fault;  // "" when the document is fine
    const char* where;
  };
  const Case cases[] = {
      {"<?xml version=\"1.0\"?>\n<R a=\"1\" b=\"2\"><C a=\"1\"/></R>", "", ""},
      {"<?xml version=\"1.0\"?>\n<!DOCTYPE R [<!ENTITY e \"x\">]>\n<R>&e;</R>", "DOCTYPE", "line 2"},
      {"<R>\n <C x=\"1\" y=\"2\" x=\"3\"/>\n</R>", "attribute x twice", "line 2"},
      {"<R>\n <C>\n <D a=\"1\" a=\"1\"/></C>\n</R>", "attribute a twice", "line 3"},
      {"<R>\n<C a=\"1></R>", "parser status", "line 2"},
      {"<R><C></R>", "parser status", "line 1"},
  };
  for (const auto& c : cases) {
    const std::string file = dir.File("d.xml");
    WriteFile(file, c.text);
    try {
      XmlDocumentPtr doc = CheckWellFormed(file);
      EXPECT_STREQ(c.fault, "") << c.text;
      EXPECT_TRUE(doc->document_element());
    } catch (const Error& e) {
      EXPECT_EQ(e.Number(), eErr_NotWellFormed) << c.text;
      EXPECT_NE(e.Description().find(c.fault), std::string::npos) << e.Description();
      EXPECT_NE(e.Description().find(c.where), std::string::npos) << e.Description();
      EXPECT_NE(*c.fault, '\0') << "refused: " << e.Description();
    }
  }
  try {
    CheckWellFormed(dir.File("missing.xml"));
    ADD_FAILURE() << "a missing file passed";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), eErr_FileNotFound);
  }
}

}  // namespace
}  // namespace qmxml::xml
