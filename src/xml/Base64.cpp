// Typed element values in Base64 (the bin.base64 data type).
#include "xml/Base64.h"

#include <sodium.h>

#include "qmxml/Error.h"

namespace qmxml::xml {

std::string Base64Encode(const std::vector<uint8_t>& bytes) {
  size_t len = sodium_base64_encoded_len(bytes.size(), sodium_base64_VARIANT_ORIGINAL);
  std::string out(len, '\0');
  sodium_bin2base64(out.data(), len, bytes.data(), bytes.size(), sodium_base64_VARIANT_ORIGINAL);
  out.resize(len - 1);  // the terminating NUL
  return out;
}

std::vector<uint8_t> Base64Decode(std::string_view text) {
  std::vector<uint8_t> out(text.size() * 3 / 4 + 3);
  size_t n = 0;
  if (sodium_base642bin(out.data(), out.size(), text.data(), text.size(), " \t\r\n", &n,
                        nullptr, sodium_base64_VARIANT_ORIGINAL) != 0)
    throw Error(eErr_BadDocument, "modReadXML.Base64Decode", "the element value is not Base64");
  out.resize(n);
  return out;
}

void SetBase64Value(pugi::xml_node element, const std::vector<uint8_t>& bytes) {
  element.append_attribute("xmlns:dt") = "urn:schemas-microsoft-com:datatypes";
  element.append_attribute("dt:dt") = "bin.base64";
  element.text().set(Base64Encode(bytes).c_str());
}

std::vector<uint8_t> GetBase64Value(pugi::xml_node element) {
  return Base64Decode(element.text().get());
}

}  // namespace qmxml::xml
