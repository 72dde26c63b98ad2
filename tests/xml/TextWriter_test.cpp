// The text writer gives the bytes the tree serialiser gives for the same
// document, byte for byte, whatever the texts hold; a rewind takes out an
// element as removing its node would; a fragment read into a tree keeps
// every text as written.
#include "xml/TextWriter.h"

#include <random>

#include "TestSupport.h"
#include "xml/XmlDoc.h"

namespace qmxml::xml {
namespace {

const char* const kNames[] = {"PROJECT", "Req", "GUID", "RText", "FVs", "FV", "A"};

// The same random document written both ways: elements with attributes,
// text elements (empty ones too) and nested elements, texts of any byte.
class BothWays {
 public:
  explicit BothWays(unsigned seed) : random_(seed), doc_(NewDocument()) {}

  std::string RandomText() {
    std::string text;
    const int n = static_cast<int>(random_() % 40);  // past 16: the wide scan too
    for (int i = 0; i < n; ++i) text += static_cast<char>(random_() % 256);
    return text;
  }

  void Element(pugi::xml_node parent, int depth) {
    const char* name = kNames[random_() % 7];
    writer_.Open(name);
    pugi::xml_node node = parent.append_child(name);
    for (int a = static_cast<int>(random_() % 3); a > 0; --a) {
      const std::string value = RandomText();
      const char* attr = a == 1 ? "ID" : "NAME";
      writer_.Attr(attr, value);
      SetAttr(node, attr, value);
    }
    if (random_() % 4 == 0) {  // attributes and a text, as a reference element has
      const std::string text = RandomText();
      writer_.Content(text);
      const std::string_view kept = std::string_view(text).substr(0, text.find('\0'));
      if (!kept.empty()) node.text().set(std::string(kept).c_str());
      writer_.Close();
      return;
    }
    for (int c = static_cast<int>(random_() % 4); c > 0 && depth < 4; --c) {
      if (random_() % 2 == 0) {
        Element(node, depth + 1);
        continue;
      }
      const std::string text = RandomText();
      writer_.Text("T", text);
      pugi::xml_node t = node.append_child("T");
      const std::string_view kept = std::string_view(text).substr(0, text.find('\0'));
      if (!kept.empty()) t.text().set(std::string(kept).c_str());
    }
    writer_.Close();
  }

  TextWriter writer_;
  std::mt19937 random_;
  XmlDocumentPtr doc_;
};

TEST(TextWriter, WritesTheBytesOfTheTreeSerialiser) {
  for (unsigned seed = 1; seed <= 300; ++seed) {
    BothWays both(seed);
    both.Element(both.doc_->root(), 0);
    WriteNotes tree_notes, text_notes;
    const std::string tree = DocumentText(*both.doc_, &tree_notes);
    ASSERT_EQ(both.writer_.Finish(&text_notes), tree) << "seed " << seed;
    EXPECT_EQ(text_notes.documents_with_control_characters,
              tree_notes.documents_with_control_characters);
    EXPECT_EQ(text_notes.texts_cut_at_nul, tree_notes.texts_cut_at_nul);
  }
}

TEST(TextWriter, EveryByteInTextAndAttribute) {
  std::string all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  TextWriter w;
  w.Open("PROJECT");
  w.Attr("ID", all);
  w.Text("T", all);
  auto doc = NewDocument();
  pugi::xml_node project = doc->append_child("PROJECT");
  SetAttr(project, "ID", all);
  project.append_child("T").text().set(all.c_str());
  EXPECT_EQ(w.Finish(), DocumentText(*doc));
}

TEST(TextWriter, RewindTakesOutWhatFollowsTheMark) {
  TextWriter w;
  w.Open("PROJECT");
  w.Text("GUID", "g");
  const TextWriter::Mark before = w.Here();
  w.Open("Req");
  w.Text("RText", "half written");
  w.Rewind(before);
  w.Open("Empty");
  const TextWriter::Mark empty = w.Here();
  w.Text("Gone", "x");
  w.Rewind(empty);
  EXPECT_EQ(w.Finish(),
            "<?xml version=\"1.0\" standalone=\"yes\"?>\n<PROJECT>\n\t<GUID>g</GUID>\n"
            "\t<Empty />\n</PROJECT>\n");
}

TEST(TextWriter, AFragmentKeepsItsTextsInATree) {
  const std::string texts[] = {"  ", "a\r\nb", "x &amp; <y>", " lead", "\t"};
  TextWriter fragment(false);
  TextWriter whole;
  whole.Open("PROJECT");
  for (const std::string& t : texts) {
    fragment.Open("E");
    fragment.Text("T", t);
    fragment.Close();
    whole.Open("E");
    whole.Text("T", t);
    whole.Close();
  }
  auto doc = NewDocument();
  AppendFragment(doc->append_child("PROJECT"), fragment.Finish());
  const std::string text = whole.Finish();
  EXPECT_EQ(DocumentText(*doc), text);
  EXPECT_EQ(DocumentText(*ParseText(text)), text);
}

}  // namespace
}  // namespace qmxml::xml
