// The password cipher: libsodium's secret box with a key read from a key
// file named by the environment, so that the key never lives in the
// component or the database; and the key files themselves: where a user's
// key lives and how a new one is written.
#include <fcntl.h>
#include <pwd.h>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "host/HostServices.h"
#include "qmxml/Error.h"
#include "xml/XmlDoc.h"
#include "xml/Base64.h"

namespace qmxml {
namespace {

constexpr const char* kSource = "QmCrypto.StringCipher";
constexpr std::string_view kTag = "QMC1:";

[[noreturn]] void Fail(const std::string& why) { throw Error(eErr_Cipher, kSource, why); }

}  // namespace

std::string PasswordCipher::KeyPath() const {
  if (!key_file_.empty()) return key_file_;
  const char* from_env = std::getenv(kCipherKeyVariable);
  return from_env != nullptr ? from_env : "";
}

std::vector<unsigned char> PasswordCipher::LoadKey() const {
  if (sodium_init() < 0) Fail("the crypto library could not start");
  const std::string key_path = KeyPath();
  const char* path = key_path.c_str();
  if (*path == '\0')
    Fail(std::string("the password cipher has no key file: name one with --key-file or ") +
         kCipherKeyVariable);
  std::ifstream in(path, std::ios::binary);
  if (!in)
    Fail(std::string("the password cipher cannot read its key file ") + path + " (" +
         std::strerror(errno) + ")");
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

bool PasswordCipher::CreateKeyFile(const std::string& path) {
  namespace fs = std::filesystem;
  auto fail = [&](int reason) {
    Fail("cannot write the key file " + path + ": " + std::strerror(reason));
  };
  struct stat seen {};
  if (::lstat(path.c_str(), &seen) == 0) return false;
  fs::path folder = fs::path(path).parent_path();
  if (folder.empty()) folder = ".";
  std::string temp = (folder / ".key-XXXXXX").string();
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) fail(errno);
  const std::string text = NewKeyText() + "\n";
  int reason = 0;
  // mkstemp leaves the umask's mark on the mode; the key is the owner's alone.
  if (::fchmod(fd, S_IRUSR | S_IWUSR) != 0) reason = errno;
  if (reason == 0 && ::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
    reason = errno != 0 ? errno : EIO;
  if (reason == 0 && ::fsync(fd) != 0) reason = errno;
  if (::close(fd) != 0 && reason == 0) reason = errno;
  bool created = false;
  if (reason == 0) {
    if (::link(temp.c_str(), path.c_str()) == 0)
      created = true;
    else if (errno != EEXIST)  // another process wrote it first: that key stands
      reason = errno;
  }
  ::unlink(temp.c_str());
  if (reason != 0) fail(reason);
  return created;
}

std::string UserKeyFile() {
  namespace fs = std::filesystem;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  fs::path base;
  if (xdg != nullptr && fs::path(xdg).is_absolute()) {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
      const passwd* pw = ::getpwuid(::getuid());
      home = pw != nullptr ? pw->pw_dir : nullptr;
    }
    if (home == nullptr || *home == '\0')
      Fail("there is no key file: name one with --key-file or QMXML_KEY_FILE (no home folder "
           "to keep the user's key in)");
    base = fs::path(home) / ".config";
  }
  return (base / "qmxml" / "key").string();
}

std::string KeyFileFor(const std::string& named, const DatabaseLocator& db, bool create) {
  namespace fs = std::filesystem;
  if (!named.empty()) return named;
  const char* from_env = std::getenv(kCipherKeyVariable);
  if (from_env != nullptr && *from_env != '\0') return from_env;
  std::error_code ec;
  if (!db.File().empty() && fs::exists(db.File() + ".key", ec)) return db.File() + ".key";
  const std::string user = UserKeyFile();
  if (!create || fs::exists(fs::symlink_status(user, ec))) return user;
  // The folders made for the key are the owner's alone too (existing ones
  // are left as they are).
  const fs::path folder = fs::path(user).parent_path();
  fs::create_directories(folder.parent_path().parent_path(), ec);
  for (const fs::path& f : {folder.parent_path(), folder})
    if (::mkdir(f.c_str(), S_IRWXU) != 0 && errno != EEXIST)
      Fail("cannot create the folder " + f.string() + " for the user's key file: " +
           std::strerror(errno));
  PasswordCipher::CreateKeyFile(user);
  return user;
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
    Fail("a stored password does not open with the key in " + KeyPath() +
         " (another key file, or a changed text)");
  return clear;
}

}  // namespace qmxml
