// Counting text against the capacity of an in-row text column whose size
// is given in bytes of the database's code page. Text is held as UTF-8;
// the count is what the text takes once converted to that code page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qmxml::movers {

// The number of bytes |utf8| takes in |code_page|:
//   65001 (UTF-8)              its UTF-8 length;
//   1200, 1201 (UTF-16)        two bytes per UTF-16 code unit;
//   932, 936, 949, 950, 1361   (double-byte Far East pages) one byte per
//                              ASCII character, two per other character;
//   any other page             one byte per character (single-byte pages;
//                              a character the page lacks becomes one "?").
size_t CodePageByteCount(std::string_view utf8, int32_t code_page);

}  // namespace qmxml::movers
