// The password cipher: libsodium's secret box with a key read from a key
// file named by the environment, so that the key never lives in the
// component or the database.
#include <sodium.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/HostServices.h"
#include "qmxml/Error.h"
#include "xml/XmlDoc.h"

namespace qmxml {
namespace {

constexpr const char* kSource = "QmCrypto.StringCipher";
constexpr std::string_view kTag = "QMC1:";

[[noreturn]] void Fail(const std::string& why) { throw Error(eErr_Cipher, kSource, why); }

}  // namespace

std::vector<unsigned char> PasswordCipher::LoadKey() const {
  if (sodium_init() < 0) Fail("the crypto library could not start");
  const char* from_env = std::getenv(kCipherKeyVariable);
  const char* path = key_file_.empty() ? from_env : key_file_.c_str();
  if (path == nullptr || *path == '\0')
    Fail(std::string("the password cipher has no key: set ") + kCipherKeyVariable +
         " to the key file (qmxml sample writes one beside the database)");
  std::ifstream in(path, std::ios::binary);
  if (!in) Fail(std::string("the password cipher cannot read its key file ") + path);
  std::ostringstream text;
  text << in.rdbuf();
  std::string hex = text.str();
  while (!hex.empty() && (hex.back() == '\n' || hex.back() == '\r' || hex.back() == ' '))
    hex.pop_back();
  std::vector<unsigned char> key(crypto_secretbox_KEYBYTES);
  size_t n = 0;
  if (sodium_hex2bin(key.data(), key.size(), hex.data(), hex.size(), nullptr, &n,
                     nullptr) != 0 ||
      n != key.size())
    Fail(std::string("the key file ") + path + " does not hold 64 hexadecimal digits");
  return key;
}

std::string PasswordCipher::NewKeyText() {
  if (sodium_init() < 0) Fail("the crypto library could not start");
  unsigned char key[crypto_secretbox_KEYBYTES];
  crypto_secretbox_keygen(key);
  char hex[2 * sizeof key + 1];
  sodium_bin2hex(hex, sizeof hex, key, sizeof key);
  sodium_memzero(key, sizeof key);
  return hex;
}

std::string PasswordCipher::Encipher(const std::string& clear) {
  if (sodium_init() < 0) Fail("the crypto library could not start");
  std::vector<uint8_t> nonce(crypto_secretbox_NONCEBYTES);
  randombytes_buf(nonce.data(), nonce.size());
  return Encipher(clear, nonce);
}

std::string PasswordCipher::Encipher(const std::string& clear,
                                     const std::vector<uint8_t>& nonce) {
  if (nonce.size() != crypto_secretbox_NONCEBYTES) Fail("a nonce must have 24 bytes");
  std::vector<unsigned char> key = LoadKey();
  std::vector<uint8_t> out(crypto_secretbox_NONCEBYTES + crypto_secretbox_MACBYTES +
                           clear.size());
  std::copy(nonce.begin(), nonce.end(), out.begin());
  crypto_secretbox_easy(out.data() + crypto_secretbox_NONCEBYTES,
                        reinterpret_cast<const unsigned char*>(clear.data()),
                        clear.size(), out.data(), key.data());
  sodium_memzero(key.data(), key.size());
  return std::string(kTag) + xml::Base64Encode(out);
}

std::string PasswordCipher::Decipher(const std::string& stored) {
  if (stored.compare(0, kTag.size(), kTag) != 0)
    Fail("a stored password is not in the cipher's form");
  std::vector<uint8_t> box;
  try {
    box = xml::Base64Decode(std::string_view(stored).substr(kTag.size()));
  } catch (const Error&) {
    Fail("a stored password is not in the cipher's form");
  }
  if (box.size() < crypto_secretbox_NONCEBYTES + crypto_secretbox_MACBYTES)
    Fail("a stored password is too short for the cipher's form");
  std::vector<unsigned char> key = LoadKey();
  std::string clear(box.size() - crypto_secretbox_NONCEBYTES - crypto_secretbox_MACBYTES,
                    '\0');
  int rc = crypto_secretbox_open_easy(reinterpret_cast<unsigned char*>(clear.data()),
                                      box.data() + crypto_secretbox_NONCEBYTES,
                                      box.size() - crypto_secretbox_NONCEBYTES,
                                      box.data(), key.data());
  sodium_memzero(key.data(), key.size());
  if (rc != 0)
    Fail(
        "a stored password does not open with this key (another key file, or a changed "
        "text)");
  return clear;
}

}  // namespace qmxml
