// The text form of DocumentText, written as the elements come.
#include "xml/TextWriter.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "qmxml/Error.h"
#include "xml/XmlDoc.h"

namespace qmxml::xml {
namespace {

constexpr unsigned char kInText = 1;
constexpr unsigned char kInAttr = 2;

// Per byte: where the serialiser of a tree escapes it. In text: "&", "<",
// ">" and control characters other than tab, line feed and carriage
// return; in an attribute: "&", "<", the quote and every control character.
struct Specials {
  unsigned char of[256] = {};
  constexpr Specials() {
    for (int c = 0; c < 0x20; ++c)
      of[c] = static_cast<unsigned char>(kInAttr | (c == '\t' || c == '\n' || c == '\r' ? 0 : kInText));
    of[static_cast<unsigned char>('&')] = kInText | kInAttr;
    of[static_cast<unsigned char>('<')] = kInText | kInAttr;
    of[static_cast<unsigned char>('>')] = kInText;
    of[static_cast<unsigned char>('"')] = kInAttr;
  }
};
constexpr Specials kSpecials;

// The first byte of |text| from |i| on that is special in any context, or
// the end: sixteen bytes at a time where the processor can, as most texts
// hold none.
size_t NextSpecial(std::string_view text, size_t i) {
#if defined(__SSE2__)
  const __m128i amp = _mm_set1_epi8('&'), lt = _mm_set1_epi8('<');
  const __m128i gt = _mm_set1_epi8('>'), quot = _mm_set1_epi8('"');
  const __m128i control = _mm_set1_epi8(0x1F);
  for (; i + 16 <= text.size(); i += 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
    __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, amp), _mm_cmpeq_epi8(x, lt)),
                               _mm_or_si128(_mm_cmpeq_epi8(x, gt), _mm_cmpeq_epi8(x, quot)));
    hit = _mm_or_si128(hit, _mm_cmpeq_epi8(_mm_min_epu8(x, control), x));  // x <= 0x1F
    if (const int bits = _mm_movemask_epi8(hit)) return i + static_cast<size_t>(__builtin_ctz(bits));
  }
#endif
  for (; i < text.size(); ++i)
    if (kSpecials.of[static_cast<unsigned char>(text[i])] != 0) return i;
  return text.size();
}

std::string_view UpToNul(std::string_view text) {
  if (text.empty()) return text;  // an empty view may hold no pointer at all
  const void* nul = std::memchr(text.data(), '\0', text.size());
  return nul == nullptr ? text : text.substr(0, static_cast<const char*>(nul) - text.data());
}

}  // namespace

TextWriter::TextWriter(bool declaration) {
  out_.resize(1 << 16);
  if (declaration) Put("<?xml version=\"1.0\" standalone=\"yes\"?>\n");
}

void TextWriter::Grow(size_t n) { out_.resize(std::max(out_.size() * 2, used_ + n)); }

void TextWriter::Indent() {
  const size_t depth = open_.size();
  std::memset(Room(depth), '\t', depth);
}

// Closes the start tag of the innermost open element, whose content
// (another element) begins.
void TextWriter::StartContent() {
  if (open_.empty() || open_.back().started) return;
  Put(">\n");
  open_.back().started = true;
}

void TextWriter::Open(const char* name) {
  StartContent();
  Indent();
  Put('<');
  Put(name);
  open_.push_back({name, false, false});
}

void TextWriter::Attr(const char* name, std::string_view value) {
  const std::string_view kept = UpToNul(value);
  if (kept.size() != value.size()) ++cut_;
  Put(' ');
  Put(name);
  Put("=\"");
  Escaped(kept, kInAttr);
  Put('"');
}

// Most of a document is such elements, and most of their texts need no
// escape: those are placed with one scan and one copy.
bool TextWriter::PlainText(const char* name, std::string_view text) {
  if (NextSpecial(text, 0) != text.size()) return false;
  StartContent();
  const std::string_view tag(name);
  const size_t depth = open_.size();
  if (text.empty()) {  // an element without content
    char* p = Room(depth + tag.size() + 5);
    std::memset(p, '\t', depth);
    p[depth] = '<';
    std::memcpy(p + depth + 1, tag.data(), tag.size());
    std::memcpy(p + depth + 1 + tag.size(), " />\n", 4);
    return true;
  }
  char* p = Room(depth + 2 * tag.size() + text.size() + 6);
  std::memset(p, '\t', depth);
  p += depth;
  *p++ = '<';
  std::memcpy(p, tag.data(), tag.size());
  p += tag.size();
  *p++ = '>';
  std::memcpy(p, text.data(), text.size());
  p += text.size();
  *p++ = '<';
  *p++ = '/';
  std::memcpy(p, tag.data(), tag.size());
  p += tag.size();
  *p++ = '>';
  *p = '\n';
  return true;
}

void TextWriter::Text(const char* name, std::string_view text) {
  if (PlainText(name, text)) return;
  StartContent();
  const std::string_view tag(name);
  text = UpToNul(text);
  Indent();
  Put('<');
  Put(tag);
  if (text.empty()) {
    Put(" />\n");
    return;
  }
  Put('>');
  Escaped(text, kInText);
  Put("</");
  Put(tag);
  Put(">\n");
}

void TextWriter::Content(std::string_view text) {
  text = UpToNul(text);
  if (text.empty()) return;
  Put('>');
  Escaped(text, kInText);
  open_.back().started = true;
  open_.back().text = true;
}

void TextWriter::Close() {
  const Element e = open_.back();
  open_.pop_back();
  if (!e.started) {
    Put(" />\n");
    return;
  }
  if (!e.text) Indent();
  Put("</");
  Put(e.name);
  Put(">\n");
}

TextWriter::Mark TextWriter::Here() const {
  return {used_, open_.size(), !open_.empty() && open_.back().started};
}

void TextWriter::Rewind(const Mark& mark) {
  used_ = mark.size;
  open_.resize(mark.depth);
  if (!open_.empty()) open_.back().started = mark.started;
}

void TextWriter::CloseTo(const Mark& mark) {
  while (open_.size() > mark.depth) Close();
}

void TextWriter::Escaped(std::string_view text, unsigned char special) {
  size_t done = 0;
  for (size_t i = NextSpecial(text, 0); i < text.size(); i = NextSpecial(text, i + 1)) {
    const auto c = static_cast<unsigned char>(text[i]);
    if ((kSpecials.of[c] & special) == 0) continue;
    Put(text.substr(done, i - done));
    done = i + 1;
    switch (c) {
      case '&': Put("&amp;"); break;
      case '<': Put("&lt;"); break;
      case '>': Put("&gt;"); break;
      case '"': Put("&quot;"); break;
      default: {
        char* p = Room(5);
        p[0] = '&';
        p[1] = '#';
        p[2] = static_cast<char>('0' + c / 10);
        p[3] = static_cast<char>('0' + c % 10);
        p[4] = ';';
      }
    }
  }
  Put(text.substr(done));
}

std::string TextWriter::Finish(WriteNotes* notes) {
  while (!open_.empty()) Close();
  std::string text = std::move(out_);
  text.resize(used_);
  out_.clear();
  used_ = 0;
  const bool controls = text.find("&#") != std::string::npos && ToXml10(text);
  if (notes != nullptr) {
    notes->texts_cut_at_nul += cut_;
    if (controls) ++notes->documents_with_control_characters;
  }
  cut_ = 0;
  return text;
}

namespace {

// Escapes resolved, and a text of blanks alone kept; the blanks between
// elements dropped and line ends exactly as written.
constexpr unsigned kWrittenText = pugi::parse_escapes | pugi::parse_ws_pcdata_single;

void CheckParsed(const pugi::xml_parse_result& r, const char* what) {
  if (!r)
    throw Error(eErr_BadDocument, std::string("TextWriter.") + what,
                std::string("a written text did not parse: ") + r.description());
}

}  // namespace

XmlDocumentPtr ParseText(const std::string& text) {
  auto doc = std::make_shared<pugi::xml_document>();
  CheckParsed(doc->load_buffer(text.data(), text.size(), kWrittenText | pugi::parse_declaration,
                               pugi::encoding_utf8),
              "ParseText");
  return doc;
}

void AppendFragment(pugi::xml_node parent, const std::string& fragment) {
  CheckParsed(parent.append_buffer(fragment.data(), fragment.size(), kWrittenText,
                                   pugi::encoding_utf8),
              "AppendFragment");
}

}  // namespace qmxml::xml
