// The text form of DocumentText, written as the elements come.
#include "xml/TextWriter.h"

#include <cstring>

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

std::string_view UpToNul(std::string_view text) {
  const void* nul = std::memchr(text.data(), '\0', text.size());
  return nul == nullptr ? text : text.substr(0, static_cast<const char*>(nul) - text.data());
}

}  // namespace

TextWriter::TextWriter(bool declaration) {
  out_.reserve(1 << 16);
  if (declaration) out_ += "<?xml version=\"1.0\" standalone=\"yes\"?>\n";
}

void TextWriter::Indent() { out_.append(open_.size(), '\t'); }

// Closes the start tag of the innermost open element, whose content
// (another element) begins.
void TextWriter::StartContent() {
  if (open_.empty() || open_.back().started) return;
  out_ += ">\n";
  open_.back().started = true;
}

void TextWriter::Open(const char* name) {
  StartContent();
  Indent();
  out_ += '<';
  out_ += name;
  open_.push_back({name, false});
}

void TextWriter::Attr(const char* name, std::string_view value) {
  const std::string_view kept = UpToNul(value);
  if (kept.size() != value.size()) ++cut_;
  out_ += ' ';
  out_ += name;
  out_ += "=\"";
  Escaped(kept, kInAttr);
  out_ += '"';
}

void TextWriter::Text(const char* name, std::string_view text) {
  StartContent();
  Indent();
  out_ += '<';
  out_ += name;
  text = UpToNul(text);
  if (text.empty()) {
    out_ += " />\n";
    return;
  }
  out_ += '>';
  Escaped(text, kInText);
  out_ += "</";
  out_ += name;
  out_ += ">\n";
}

void TextWriter::Close() {
  const Element e = open_.back();
  open_.pop_back();
  if (!e.started) {
    out_ += " />\n";
    return;
  }
  Indent();
  out_ += "</";
  out_ += e.name;
  out_ += ">\n";
}

TextWriter::Mark TextWriter::Here() const {
  return {out_.size(), open_.size(), !open_.empty() && open_.back().started};
}

void TextWriter::Rewind(const Mark& mark) {
  out_.resize(mark.size);
  open_.resize(mark.depth);
  if (!open_.empty()) open_.back().started = mark.started;
}

void TextWriter::Escaped(std::string_view text, unsigned char special) {
  size_t done = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if ((kSpecials.of[c] & special) == 0) continue;
    out_.append(text.data() + done, i - done);
    done = i + 1;
    switch (c) {
      case '&': out_ += "&amp;"; break;
      case '<': out_ += "&lt;"; break;
      case '>': out_ += "&gt;"; break;
      case '"': out_ += "&quot;"; break;
      default:
        out_ += "&#";
        out_ += static_cast<char>('0' + c / 10);
        out_ += static_cast<char>('0' + c % 10);
        out_ += ';';
    }
  }
  out_.append(text.data() + done, text.size() - done);
}

std::string TextWriter::Finish(WriteNotes* notes) {
  while (!open_.empty()) Close();
  const bool controls = out_.find("&#") != std::string::npos && ToXml10(out_);
  if (notes != nullptr) {
    notes->texts_cut_at_nul += cut_;
    if (controls) ++notes->documents_with_control_characters;
  }
  cut_ = 0;
  return std::move(out_);
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
