// The host application stand-in: opens a project of a database named by a
// location text, after checking the login against the users table, and
// answers what the query engine needs to resolve names in the project.
#include <cstdlib>

#include "frame/Text.h"
#include "host/HostServices.h"
#include "qmxml/Error.h"

namespace qmxml {
namespace {

constexpr const char* kSource = "Specto40.Application.OpenProject";

// The value of "NAME=" in a location text of "NAME=value;" parts.
std::string LocationPart(const std::string& location, std::string_view name) {
  std::string marker = std::string(name) + "=";
  size_t at = frame::FindNoCase(location, marker);
  if (at == std::string::npos) return "";
  size_t from = at + marker.size();
  size_t end = location.find(';', from);
  return location.substr(from, end == std::string::npos ? std::string::npos : end - from);
}

// Per item: the statement from key to GUID and from GUID to key, both
// limited to the project (?1) and, for list items, the attribute (?3).
struct ItemSql {
  const char* guid_of;
  const char* key_of;
};
const ItemSql& SqlFor(HostItem item) {
  static const ItemSql kTypes{
      "SELECT t.QMGUID FROM qmRequirementTypes t JOIN qmProjectRequirementTypes pt ON "
      "pt.REQUIREMENTTYPEID = t.ID WHERE pt.PROJECTID = ?1 AND t.ID = ?2",
      "SELECT t.ID FROM qmRequirementTypes t JOIN qmProjectRequirementTypes pt ON "
      "pt.REQUIREMENTTYPEID = t.ID WHERE pt.PROJECTID = ?1 AND UPPER(t.QMGUID) = UPPER(?2)"};
  static const ItemSql kAttributes{
      "SELECT f.QMGUID FROM qmUserDefinedFields f WHERE f.ID = ?2 AND f.ID IN (SELECT "
      "tf.USERDEFINEDFIELDID FROM qmRequirementTypeFields tf JOIN "
      "qmProjectRequirementTypes pt "
      "ON pt.REQUIREMENTTYPEID = tf.REQUIREMENTTYPEID WHERE pt.PROJECTID = ?1)",
      "SELECT f.ID FROM qmUserDefinedFields f WHERE UPPER(f.QMGUID) = UPPER(?2) AND "
      "f.ID IN "
      "(SELECT tf.USERDEFINEDFIELDID FROM qmRequirementTypeFields tf JOIN "
      "qmProjectRequirementTypes pt ON pt.REQUIREMENTTYPEID = tf.REQUIREMENTTYPEID WHERE "
      "pt.PROJECTID = ?1)"};
  static const ItemSql kItems{
      "SELECT QMGUID FROM qmUserDefinedListItems WHERE ?1 = ?1 AND ITEMID = ?2 AND "
      "FIELDID = ?3",
      "SELECT ITEMID FROM qmUserDefinedListItems WHERE ?1 = ?1 AND UPPER(QMGUID) = UPPER(?2) "
      "AND FIELDID = ?3"};
  static const ItemSql kUsers{
      "SELECT QMGUID FROM qmUsers WHERE ?1 = ?1 AND ID = ?2",
      "SELECT ID FROM qmUsers WHERE ?1 = ?1 AND UPPER(QMGUID) = UPPER(?2)"};
  static const ItemSql kDocuments{
      "SELECT d.QMGUID FROM qmDocuments d JOIN qmProjectDocuments pd ON pd.DocumentID = "
      "d.ID "
      "WHERE pd.ProjectID = ?1 AND d.ID = ?2",
      "SELECT d.ID FROM qmDocuments d JOIN qmProjectDocuments pd ON pd.DocumentID = d.ID "
      "WHERE "
      "pd.ProjectID = ?1 AND UPPER(d.QMGUID) = UPPER(?2)"};
  switch (item) {
    case HostItem::RequirementType:
      return kTypes;
    case HostItem::Attribute:
      return kAttributes;
    case HostItem::ListItem:
      return kItems;
    case HostItem::User:
      return kUsers;
    case HostItem::Document:
      break;
  }
  return kDocuments;
}

std::vector<Variant> Args(int32_t project, Variant what, HostItem item, int32_t owner) {
  std::vector<Variant> args{Variant(project), std::move(what)};
  if (item == HostItem::ListItem) args.push_back(Variant(owner));
  return args;
}

}  // namespace

HostProject::HostProject(std::shared_ptr<Connection> connection, int32_t key,
                         std::string guid)
    : connection_(std::move(connection)), key_(key), guid_(std::move(guid)) {}

std::string HostProject::GuidOf(HostItem item, int32_t key, int32_t owner) const {
  if (!open_ || key <= 0) return "";
  return connection_->Scalar(SqlFor(item).guid_of, Args(key_, Variant(key), item, owner))
      .ToText();
}

int32_t HostProject::KeyOf(HostItem item, std::string_view guid, int32_t owner) const {
  if (!open_ || guid.empty()) return 0;
  Variant v = connection_->Scalar(SqlFor(item).key_of,
                                  Args(key_, Variant(std::string(guid)), item, owner));
  return v.IsNull() ? 0 : v.ToLong();
}

std::optional<int32_t> HostProject::AttributeType(int32_t key) const {
  if (!open_ || key <= 0) return std::nullopt;
  Variant v = connection_->Scalar(
      "SELECT COALESCE(f.DataType, 1) FROM qmUserDefinedFields f WHERE f.ID = ?2 AND "
      "f.ID IN "
      "(SELECT tf.USERDEFINEDFIELDID FROM qmRequirementTypeFields tf JOIN "
      "qmProjectRequirementTypes pt ON pt.REQUIREMENTTYPEID = tf.REQUIREMENTTYPEID WHERE "
      "pt.PROJECTID = ?1)",
      {Variant(key_), Variant(key)});
  if (v.IsNull()) return std::nullopt;
  return v.ToLong();
}

std::shared_ptr<HostProject> HostApplication::OpenProject(const std::string& location,
                                                          int32_t,
                                                          const std::string& login,
                                                          const std::string& password,
                                                          int32_t, int32_t) {
  const std::string path = LocationPart(location, "QMDB");
  const std::string key_text = LocationPart(location, "QMPROJKEY");
  if (path.empty() || key_text.empty())
    throw Error(eErr_Database, kSource, "the location names no database and project key");
  std::shared_ptr<Connection> conn = Connection::FindOpen(path);
  if (!conn) conn = Connection::Open(path, false);
  const int32_t key = std::atoi(key_text.c_str());
  auto project =
      conn->Query("SELECT QMGUID FROM qmProjects WHERE ID = ?", {Variant(key)});
  if (project->IsEOF())
    throw Error(eErr_Database, kSource,
                "the database holds no project with key " + key_text);
  const std::string guid = project->Value("QMGUID").ToText();

  // Login names are only unique within a project's users (a database may
  // hold several projects with users of the same name): the login is one
  // of the users whose group takes part in the project.
  auto users = conn->Query(
      "SELECT u.Password, u.Active FROM qmUsers u WHERE u.LoginName = ? AND u.GroupID IN "
      "(SELECT USERGROUPID FROM qmProjectUsers WHERE PROJECTID = ?) ORDER BY u.ID",
      {Variant(login), Variant(key)});
  const std::string refused =
      "the login " + login + " is refused for project " + key_text;
  bool accepted = false;
  for (; !users->IsEOF() && !accepted; users->MoveNext()) {
    const Variant active = users->Value("Active");
    if (active.IsNull() || !active.ToBool()) continue;
    const std::string stored = users->Value("Password").ToText();
    std::string expected;
    if (!frame::TrimBlanks(stored).empty()) {
      if (!cipher_)
        throw Error(eErr_LoginRefused, kSource, refused + ": no password cipher");
      expected = cipher_->Decipher(stored);
    }
    accepted = expected == password;
  }
  if (!accepted) throw Error(eErr_LoginRefused, kSource, refused);
  return std::make_shared<HostProject>(conn, key, guid);
}

void RegisterHostServices(ServiceRegistry& registry) {
  registry.Register(kProgIdHostApp, [](const ServiceRegistry& services) {
    return std::make_shared<HostApplication>(
        std::dynamic_pointer_cast<PasswordCipher>(services.Create(kProgIdCipher)));
  });
  registry.Register(kProgIdCipher,
                    [](const ServiceRegistry&) { return std::make_shared<PasswordCipher>(); });
  registry.Register(kProgIdQueryEngine,
                    [](const ServiceRegistry&) { return std::make_shared<QueryEngine>(); });
  registry.Register(kProgIdSystemAttributes,
                    [](const ServiceRegistry&) { return std::make_shared<SystemAttributes>(); });
}

}  // namespace qmxml
