// KeyFile: which file holds the key the password cipher deciphers stored
// passwords with. A site keeps one key for all its databases, in the
// user's key file, unless a command names another (--key-file) or the
// environment does; a key file beside a database file is still read.
#pragma once

#include <string>

#include "qmxml/DatabaseLocator.h"

namespace qmxml {

// The environment variable naming the cipher's key file.
inline constexpr const char* kCipherKeyVariable = "QMXML_KEY_FILE";

// The key file of the calling user, shared by all the user's databases:
// "$XDG_CONFIG_HOME/qmxml/key", or "~/.config/qmxml/key" when
// XDG_CONFIG_HOME is not an absolute path. Only names it; see KeyFileFor.
std::string UserKeyFile();

// The key file a command on the database |db| uses: |named| when not empty
// (a --key-file option), else the path in QMXML_KEY_FILE, else "<db>.key"
// when that file exists beside a database file, else the user's key file,
// which is created with a new key (and its folder, owner-only) when
// |create| and missing. Throws Error eErr_Cipher when it cannot be created.
std::string KeyFileFor(const std::string& named, const DatabaseLocator& db, bool create);

}  // namespace qmxml
