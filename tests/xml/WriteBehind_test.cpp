// Files written behind the caller: the same bytes as a direct save, every
// queued file written in order even under a tiny bound, and a file that
// cannot be written reported by name without losing the files before it.
#include "xml/WriteBehind.h"

#include <filesystem>

#include "TestSupport.h"
#include "qmxml/Error.h"
#include "xml/XmlDoc.h"

namespace qmxml::testing {
namespace {

using namespace qmxml::xml;

XmlDocumentPtr SampleDocument(int n) {
  auto doc = NewDocument();
  auto root = doc->append_child("Package");
  SetAttr(root, "Name", "P\xC3\xA4" + std::to_string(n) + " & <co>");
  for (int i = 0; i < n; ++i) SetAttr(AppendElement(root, "Requirement"), "ID", std::to_string(i));
  return doc;
}

TEST(WriteBehind, SavesTheBytesADirectSaveWritesAndFreesTheDocumentAtOnce) {
  TempDir dir;
  auto doc = SampleDocument(3);
  SaveDocument(*doc, dir.File("direct.xml"));
  {
    WriteBehind files;
    SaveDocument(*doc, dir.File("behind.xml"), &files);
    doc->reset();  // the queued bytes no longer depend on the document
    files.Finish();
  }
  EXPECT_EQ(ReadFile(dir.File("behind.xml")), ReadFile(dir.File("direct.xml")));
  EXPECT_NE(ReadFile(dir.File("direct.xml")).find("Name=\"P\xC3\xA4" "3 &amp; &lt;co>\""), std::string::npos);
}

TEST(WriteBehind, AFileThatCannotBeWrittenIsNamedAndStopsTheRest) {
  TempDir dir;
  const std::string blocked = dir.File("no-such-folder/b.xml");
  WriteBehind files;
  files.Queue(dir.File("a.xml"), "first");
  files.Queue(blocked, "second");
  try {
    files.Finish();
    FAIL() << "the file in a missing folder was written";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), eErr_FileNotFound);
    EXPECT_NE(e.Description().find(blocked), std::string::npos) << e.Description();
  }
  EXPECT_EQ(ReadFile(dir.File("a.xml")), "first");
  EXPECT_THROW(files.Queue(dir.File("c.xml"), "third"), Error);
  EXPECT_FALSE(std::filesystem::exists(dir.File("c.xml")));
}

TEST(WriteBehind, AnOwnerGoingAwayAfterAFailureRaisesNothingMore) {
  TempDir dir;
  {
    WriteBehind files;
    files.Queue(dir.File("no-such-folder/x"), "x");
    // Unwinding owners do not get a second error from the destructor.
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("no-such-folder/x")));
}

}  // namespace
}  // namespace qmxml::testing
