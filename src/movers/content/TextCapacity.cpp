// Byte counts of UTF-8 text in other code pages.
#include "movers/content/TextCapacity.h"

#include "qmxml/Variant.h"

namespace qmxml::movers {
namespace {

// Length of the UTF-8 sequence that starts with |lead| (a stray byte: 1).
size_t SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead >> 5) == 0x6) return 2;
  if ((lead >> 4) == 0xE) return 3;
  if ((lead >> 3) == 0x1E) return 4;
  return 1;
}

bool IsDoubleByteCodePage(int32_t code_page) {
  switch (code_page) {
    case 932:
    case 936:
    case 949:
    case 950:
    case 1361:
      return true;
    default:
      return false;
  }
}

}  // namespace

size_t CodePageByteCount(std::string_view utf8, int32_t code_page) {
  if (code_page == 65001) return utf8.size();
  if (code_page == 1200 || code_page == 1201) return 2 * Utf16Length(utf8);
  const bool double_byte = IsDoubleByteCodePage(code_page);
  size_t bytes = 0;
  for (size_t i = 0; i < utf8.size();) {
    size_t n = SequenceLength(static_cast<unsigned char>(utf8[i]));
    bytes += (double_byte && n > 1) ? 2 : 1;
    i += n;
  }
  return bytes;
}

}  // namespace qmxml::movers
