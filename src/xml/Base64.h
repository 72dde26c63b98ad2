// Typed element values encoded as Base64.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

namespace qmxml::xml {

std::string Base64Encode(const std::vector<uint8_t>& bytes);
// Throws Error eErr_BadDocument on text that is not Base64.
std::vector<uint8_t> Base64Decode(std::string_view text);
// Marks |element| as holding bin.base64 data and sets its text.
void SetBase64Value(pugi::xml_node element, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> GetBase64Value(pugi::xml_node element);

}  // namespace qmxml::xml
