// TextWriter: a document written straight as text, for the large documents
// that would otherwise be built as a tree only to be turned into text at
// once (the extracts of a baseline). The text is the one DocumentText gives
// for the same tree: the declaration every document carries, a tab per
// level, an element without content as "<X />", an element holding text on
// one line, and the same escapes; what the text cannot carry as it stands
// is counted the same way.
//
// Elements are written in order, each a child of the innermost open one. A
// writer that fails halfway through an element takes it back out by
// rewinding to a Mark taken before it, as a tree writer removes the node it
// was filling.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

#include "qmxml/Scheduler.h"

namespace qmxml::xml {

struct WriteNotes;

class TextWriter {
 public:
  // |declaration|: start with the declaration of a document; without it
  // the text is a fragment for AppendFragment.
  explicit TextWriter(bool declaration = true);
  TextWriter(const TextWriter&) = delete;
  TextWriter& operator=(const TextWriter&) = delete;

  // Starts the element |name| (a name that outlives the element).
  void Open(const char* name);
  // An attribute of the element just opened, before any of its content.
  // A text is cut at a NUL, as a tree's C strings end there (counted).
  void Attr(const char* name, std::string_view value);
  // A child element holding |text| (up to a NUL, as a tree holds it);
  // without text, an element without content.
  void Text(const char* name, std::string_view text);
  // Text for a text that holds no control character and nothing to escape
  // (nothing but a scan when it does), or none: false, and nothing
  // written, for any other.
  bool PlainText(const char* name, std::string_view text);
  // The text of the element just opened, after its attributes (up to a
  // NUL); nothing for an empty text. No child element may follow.
  void Content(std::string_view text);
  // Ends the innermost open element.
  void Close();

  // Where the text stands, to go back to.
  struct Mark {
    size_t size = 0;
    size_t depth = 0;
    bool started = false;  // whether the innermost open element had content
  };
  Mark Here() const;
  // Takes out everything written since |mark|.
  void Rewind(const Mark& mark);
  // Keeps what was written since |mark| and ends every element opened
  // since, as a tree keeps the nodes a failed step had added.
  void CloseTo(const Mark& mark);

  // The whole text, every element still open closed, with what it could
  // not carry counted in |notes| (may be null) as DocumentText counts it.
  std::string Finish(WriteNotes* notes = nullptr);

 private:
  struct Element {
    const char* name;
    bool started;  // the start tag is closed: content follows
    bool text = false;  // the content is a text, on the start tag's line
  };
  void StartContent();
  void Indent();
  void Escaped(std::string_view text, unsigned char special);
  // |n| bytes at the end of the text, to be filled by the caller.
  char* Room(size_t n) {
    if (used_ + n > out_.size()) Grow(n);
    char* p = out_.data() + used_;
    used_ += n;
    return p;
  }
  void Grow(size_t n);
  void Put(std::string_view s) {
    if (!s.empty()) std::memcpy(Room(s.size()), s.data(), s.size());
  }
  void Put(char c) { *Room(1) = c; }

  // The text is out_'s first used_ bytes: the string is grown ahead, so
  // that a piece is placed without a size check and a fill per piece.
  std::string out_;
  size_t used_ = 0;
  std::vector<Element> open_;
  long cut_ = 0;
};

// The document of a TextWriter's |text|, for a caller that needs it as a
// tree (a report handed back, a list updated in place): every text exactly
// as written, line ends and blanks included.
XmlDocumentPtr ParseText(const std::string& text);
// Parses |fragment| (a TextWriter's text without declaration) and appends
// its elements to |parent|, texts exactly as written.
void AppendFragment(pugi::xml_node parent, const std::string& fragment);

}  // namespace qmxml::xml
