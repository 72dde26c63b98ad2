// The well-formedness check of a folder's documents.
#include "xml/WellFormed.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "qmxml/Error.h"
#include "xml/XmlDoc.h"

namespace qmxml::xml {
namespace {

constexpr const char* kSource = "Transfer.CheckDocument";

// The parse options of the check: those of the readers, plus keeping a
// DOCTYPE so that it can be refused.
constexpr unsigned kCheckFlags = pugi::parse_cdata | pugi::parse_escapes | pugi::parse_eol |
                                 pugi::parse_declaration | pugi::parse_doctype;

[[noreturn]] void Refuse(const std::string& path, std::string_view bytes, size_t offset,
                         const std::string& fault) {
  auto [line, column] = LineAndColumnAt(bytes, offset);
  throw Error(eErr_NotWellFormed, kSource,
              "The file " + path + " is not well-formed XML: " + fault + " at line " +
                  std::to_string(line) + ", column " + std::to_string(column) + ".");
}

// Length of the UTF-8 sequence starting at |i|, or 0 when it is not one
// (overlong forms, surrogates and values above U+10FFFF included).
size_t Utf8SequenceLength(std::string_view s, size_t i) {
  const auto b = static_cast<unsigned char>(s[i]);
  auto cont = [&](size_t k) {
    return i + k < s.size() && (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
  };
  if (b < 0x80) return 1;
  if (b >= 0xC2 && b <= 0xDF) return cont(1) ? 2 : 0;
  if (b >= 0xE0 && b <= 0xEF) {
    if (!cont(1) || !cont(2)) return 0;
    const auto b1 = static_cast<unsigned char>(s[i + 1]);
    if (b == 0xE0 && b1 < 0xA0) return 0;  // overlong
    if (b == 0xED && b1 >= 0xA0) return 0;  // surrogate
    return 3;
  }
  if (b >= 0xF0 && b <= 0xF4) {
    if (!cont(1) || !cont(2) || !cont(3)) return 0;
    const auto b1 = static_cast<unsigned char>(s[i + 1]);
    if (b == 0xF0 && b1 < 0x90) return 0;  // overlong
    if (b == 0xF4 && b1 >= 0x90) return 0;  // above U+10FFFF
    return 4;
  }
  return 0;
}

// The first element (in document order) that carries one attribute name
// twice, and that name; an empty node when there is none.
std::pair<pugi::xml_node, std::string> RepeatedAttribute(const pugi::xml_node& top) {
  for (pugi::xml_node n = top.first_child(); n;) {
    if (n.type() == pugi::node_element) {
      for (auto a = n.first_attribute(); a; a = a.next_attribute())
        for (auto b = a.next_attribute(); b; b = b.next_attribute())
          if (std::strcmp(a.name(), b.name()) == 0) return {n, a.name()};
    }
    // Depth first, in document order, without recursion.
    if (n.first_child()) {
      n = n.first_child();
      continue;
    }
    while (n && !n.next_sibling()) n = n.parent() == top ? pugi::xml_node() : n.parent();
    if (n) n = n.next_sibling();
  }
  return {};
}

}  // namespace

// True when the 8 bytes at |p| are all printable ASCII (0x20 to 0x7F):
// the common case, checked a word at a time.
bool PlainAscii8(const char* p) {
  uint64_t w;
  std::memcpy(&w, p, sizeof w);
  constexpr uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;
  const uint64_t below_space = (w - kOnes * 0x20) & ~w & kHighs;
  return ((w & kHighs) | below_space) == 0;
}

namespace {

// The length a UTF-8 sequence with lead byte |b| claims (1 for ASCII and
// for bytes that lead none; those are refused when checked).
size_t ClaimedLength(unsigned char b) {
  if (b >= 0xF0) return 4;
  if (b >= 0xE0) return 3;
  if (b >= 0xC2) return 2;
  return 1;
}

// Checks |bytes| from |from| on; returns where the check stopped. Unless
// |complete|, a sequence cut off by the end of |bytes| is left for the
// next call (the rest of the file is still to come).
size_t CheckBytesFrom(std::string_view bytes, const std::string& path, size_t from,
                      bool complete) {
  size_t i = from;
  if (i == 0) {
    if (!complete && bytes.size() < 3) return 0;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") i = 3;
  }
  while (i < bytes.size()) {
    if (i + 8 <= bytes.size() && PlainAscii8(bytes.data() + i)) {
      i += 8;
      continue;
    }
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
      char code[8];
      std::snprintf(code, sizeof code, "%u", c);
      Refuse(path, bytes, i,
             c == 0 ? std::string("it holds a NUL character")
                    : "it holds the control character with code " + std::string(code) +
                          ", which XML 1.0 does not allow");
    }
    if (!complete && i + ClaimedLength(c) > bytes.size()) return i;
    const size_t n = Utf8SequenceLength(bytes, i);
    if (n == 0) Refuse(path, bytes, i, "it holds bytes that are not UTF-8");
    i += n;
  }
  return i;
}

[[noreturn]] void RefuseSize(const std::string& path, uintmax_t size) {
  throw Error(eErr_TooLarge, kSource,
              "The file " + path + " holds " + std::to_string(size) +
                  " bytes, more than the " + std::to_string(kMaxDocumentBytes) +
                  " bytes of the largest document an import reads; it is not read.");
}

}  // namespace

void CheckDocumentBytes(std::string_view bytes, const std::string& path) {
  CheckBytesFrom(bytes, path, 0, true);
}

XmlDocumentPtr CheckWellFormed(const std::string& path) {
  // The size first: a file that cannot be a document costs no reading.
  std::error_code ec;
  const uintmax_t size = std::filesystem::file_size(path, ec);
  std::ifstream in(path, std::ios::binary);
  if (ec || !in) throw Error(eErr_FileNotFound, kSource, "The file " + path + " cannot be read.");
  if (size > kMaxDocumentBytes) RefuseSize(path, size);
  // Read in chunks, each checked as it arrives.
  constexpr size_t kChunk = size_t{1} << 20;
  std::string bytes;
  bytes.reserve(static_cast<size_t>(size) + 1);
  size_t checked = 0;
  while (in) {
    const size_t had = bytes.size();
    // Room for what the size promised plus one byte, so that a file that
    // grew since is noticed; a chunk at a time, and never more, since the
    // room is zeroed before it is read into.
    const size_t wanted = had < size ? static_cast<size_t>(size) - had + 1 : kChunk;
    bytes.resize(had + std::min(kChunk, wanted));
    in.read(bytes.data() + had, static_cast<std::streamsize>(bytes.size() - had));
    bytes.resize(had + static_cast<size_t>(in.gcount()));
    if (bytes.size() > kMaxDocumentBytes) RefuseSize(path, bytes.size());  // it grew
    checked = CheckBytesFrom(bytes, path, checked, false);
  }
  CheckBytesFrom(bytes, path, checked, true);

  // Parsed in place: the document points into |bytes|, which therefore
  // lives as long as the document does. The parser changes it only where it
  // shortens line ends and references, so line numbers stay right.
  auto owner = std::make_shared<std::pair<std::string, pugi::xml_document>>();
  owner->first = std::move(bytes);
  std::string_view text = owner->first;
  pugi::xml_document* parsed = &owner->second;
  XmlDocumentPtr doc(owner, parsed);
  pugi::xml_parse_result r = doc->load_buffer_inplace(owner->first.data(), owner->first.size(),
                                                      kCheckFlags, pugi::encoding_utf8);
  if (!r) {
    std::string reason = r.description();
    if (!reason.empty()) reason[0] = static_cast<char>(std::tolower(reason[0]));
    Refuse(path, text, static_cast<size_t>(r.offset),
           reason + " (XML parser status " + std::to_string(static_cast<int>(r.status)) + ")");
  }
  for (pugi::xml_node n = doc->first_child(); n; n = n.next_sibling())
    if (n.type() == pugi::node_doctype)
      Refuse(path, text, static_cast<size_t>(n.offset_debug()),
             "it holds a DOCTYPE, which an exported document never carries");
  auto [element, name] = RepeatedAttribute(*doc);
  if (element)
    Refuse(path, text, static_cast<size_t>(element.offset_debug()),
           "the element <" + std::string(element.name()) + "> carries the attribute " + name +
               " twice");
  return doc;
}

}  // namespace qmxml::xml
