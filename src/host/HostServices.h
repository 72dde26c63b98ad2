// Stand-ins for the host product's own pieces that the query definitions
// need: the query engine with its system attributes, the host application
// that opens a project of a database, and the password cipher that
// deciphers the passwords the users table stores. Each is created by ProgID
// through the ServiceRegistry like the other outside services, so a test can
// replace one or make it unavailable (ServiceRegistry::Disable) and see how
// the movers behave without it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "qmxml/Connection.h"
#include "qmxml/KeyFile.h"
#include "qmxml/Object.h"
#include "qmxml/Services.h"

namespace qmxml {

inline constexpr std::string_view kProgIdQueryEngine = "QmQueryEngine.QueryEngine";
inline constexpr std::string_view kProgIdSystemAttributes =
    "QmQueryEngine.SystemAttributes";
inline constexpr std::string_view kProgIdCipher = "QmCrypto.StringCipher";

// Query-engine form codes.
inline constexpr int32_t kKeyForm = 2;
inline constexpr int32_t kGuidForm = 3;

// What a query may name, for the project's lookups.
enum class HostItem { RequirementType, Attribute, ListItem, User, Document };

// An open project of the host application. It answers its GUID and key and
// resolves the names a query uses, in either direction, within the project:
// requirement types of the project, attributes linked to one of its types,
// list items of a given attribute, users, and documents of the project.
class HostProject : public Object {
 public:
  HostProject(std::shared_ptr<Connection> connection, int32_t key, std::string guid);
  std::string TypeName() const override { return "Specto40.Project"; }

  const std::string& Guid() const { return guid_; }
  int32_t Key() const { return key_; }
  // The GUID of the item with |key| ("" when the project has none);
  // |owner| is the attribute of a list item.
  std::string GuidOf(HostItem item, int32_t key, int32_t owner = 0) const;
  // The key of the item with |guid| (0 when the project has none).
  int32_t KeyOf(HostItem item, std::string_view guid, int32_t owner = 0) const;
  // The data type code of an attribute of the project, or nullopt.
  std::optional<int32_t> AttributeType(int32_t key) const;
  void Close() { open_ = false; }
  bool IsOpen() const { return open_; }

 private:
  std::shared_ptr<Connection> connection_;
  int32_t key_;
  std::string guid_;
  bool open_ = true;
};

// "Specto40.Application": opens projects by location text and login.
class PasswordCipher;

class HostApplication : public Object {
 public:
  // |cipher| deciphers the stored passwords; without one only users with
  // no stored password can log in.
  explicit HostApplication(std::shared_ptr<PasswordCipher> cipher = nullptr)
      : cipher_(std::move(cipher)) {}
  std::string TypeName() const override { return std::string(kProgIdHostApp); }
  // Opens the project named by |location| ("QMDB=<path>;QMPROJKEY=<key>")
  // after checking |login| and |password| against the users table: an
  // active user of that login whose group takes part in the project, with
  // |password| equal to the stored password deciphered (or both empty). |mode|, |flags|
  // and |options| are the host's open switches (3, 1 and 2 for an automation client).
  // Throws Error eErr_LoginRefused for a wrong login (never naming the
  // password) and eErr_Database when the database or project is missing.
  virtual std::shared_ptr<HostProject> OpenProject(const std::string& location,
                                                   int32_t mode, const std::string& login,
                                                   const std::string& password,
                                                   int32_t flags, int32_t options);
  virtual void Quit() { quit_ = true; }
  bool HasQuit() const { return quit_; }

 private:
  std::shared_ptr<PasswordCipher> cipher_;
  bool quit_ = false;
};

// A keyed string cipher over libsodium's secret box (XSalsa20-Poly1305):
// the stored text is "QMC1:" followed by the Base64 of nonce and box. The
// 32-byte key lives in a key file outside the component (64 hexadecimal
// digits), whose path is the environment variable QMXML_KEY_FILE. Errors
// (eErr_Cipher) say what is wrong with the key or the text, never the text.
class PasswordCipher : public Object {
 public:
  // |key_file| empty: the path in QMXML_KEY_FILE.
  explicit PasswordCipher(std::string key_file = {}) : key_file_(std::move(key_file)) {}
  std::string TypeName() const override { return std::string(kProgIdCipher); }
  virtual std::string Encipher(const std::string& clear);
  // The same with the given nonce (24 bytes), for a caller that must
  // produce the same text twice (the sample generator).
  std::string Encipher(const std::string& clear, const std::vector<uint8_t>& nonce);
  virtual std::string Decipher(const std::string& stored);
  // A new random key as the key file holds it (64 hexadecimal digits).
  static std::string NewKeyText();
  // Writes a new key to |path| unless a file (or link) is there already:
  // the key goes to a temporary file of an unguessable name in the same
  // folder, readable by its owner only whatever the umask, which is then
  // linked under |path| (a link never replaces anything and never follows
  // one planted there). Answers true when this call wrote the key, false
  // when |path| existed. Throws Error eErr_Cipher naming |path| and the
  // system's reason when the key cannot be written.
  static bool CreateKeyFile(const std::string& path);

 private:
  std::vector<unsigned char> LoadKey() const;
  // The key file this cipher reads ("" when none is named).
  std::string KeyPath() const;
  std::string key_file_;
};

class ParsedQuery;

// "QmQueryEngine.QueryEngine": parses a query (grammar in
// docs/query-language.md) in key form (2) or GUID form (3) against an open
// host project. Validate2 answers 0 when the query parses and every name in
// it resolves in the project, with |parsed| set; otherwise a non-zero code
// (1 syntax, 2 a name the project does not know, 3 no open project) and
// |message| saying where (1-based character position) and why.
class QueryEngine : public Object {
 public:
  std::string TypeName() const override { return std::string(kProgIdQueryEngine); }
  virtual int32_t Validate2(int32_t flags, int32_t form, HostProject* project,
                            const std::string& query, std::string& message,
                            std::shared_ptr<ParsedQuery>& parsed);
};

// A query that Validate2 accepted. QueryString prints it in key form (2) or
// GUID form (3), the same layout either way.
class ParsedQuery : public Object {
 public:
  struct Node;
  explicit ParsedQuery(std::shared_ptr<Node> root) : root_(std::move(root)) {}
  std::string TypeName() const override { return "QmQueryEngine.Query"; }
  std::string QueryString(int32_t form) const;
  // The resolved tree (platform/QueryTree.h), for the evaluator.
  const Node& Root() const { return *root_; }

 private:
  std::shared_ptr<Node> root_;
};

// "QmQueryEngine.SystemAttributes": the fixed keys of the host's built-in
// attributes. Get answers the key of member |name| (the names of the host's
// object model: "key", "Tag", "AuthorKey", ...) asked with |argument| 1;
// any other name or argument throws Error 438.
class SystemAttributes : public Object {
 public:
  std::string TypeName() const override { return std::string(kProgIdSystemAttributes); }
  virtual int32_t Get(std::string_view name, int32_t argument) const;
};

// The host's built-in attributes by GUID: the member of SystemAttributes
// that answers each one's key. Two GUIDs lead to AuthorKey and two to
// LocationKey; the first of each is the one a query in GUID form is
// printed with.
struct SystemAttributeGuid {
  const char* guid;
  const char* member;
};
const std::vector<SystemAttributeGuid>& SystemAttributeGuids();

// Registers the built-in factories of the services above.
void RegisterHostServices(ServiceRegistry& registry);

}  // namespace qmxml
