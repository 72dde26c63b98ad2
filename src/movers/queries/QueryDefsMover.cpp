// The query definitions mover, its two roads from one query form to the
// other, and the opener of the host project the query engine works on.
#include "movers/queries/QueryDefsMover.h"

#include <exception>
#include <new>

#include "frame/Components.h"
#include "frame/MoverRegistry.h"
#include "frame/Text.h"
#include "movers/content/PackageXml.h"
#include "frame/Guid.h"
#include "sql/SqlText.h"
#include "xml/XmlDoc.h"

namespace qmxml::movers {
namespace {

using frame::ReplaceAll;

constexpr const char* kAdministratorsSql =
    "SELECT  #M#qmUsers.LOGINNAME, #M#qmUsers.PASSWORD, #M#qmUsers.ACTIVE FROM "
    "#M#qmUsers, "
    "#M#qmUserGroups, #M#qmProjectUsers WHERE #M#qmUsers.GROUPID = #M#qmUserGroups.ID "
    "AND "
    "#M#qmUserGroups.ID = #M#qmProjectUsers.USERGROUPID AND #M#qmProjectUsers.PROJECTID "
    "= #1# "
    "AND #M#qmUserGroups.NAME = 'Administrators'";

// The marker of an administrator whom a directory service authenticates:
// there is no stored password to log in with.
constexpr const char* kDirectoryLogin = "DirectoryLoginOnly";

// The key-map words a GUID in a query text is tried as, in order.
constexpr const char* kQueryWords[] = {"RequirementType", "UserDefinedField",
                                       "UserDefinedListItem", "User", "Document"};

template <class T>
std::shared_ptr<T> Start(const ServiceRegistry& services, std::string_view prog_id, bool raise) {
  return std::dynamic_pointer_cast<T>(
      frame::StartService(services, prog_id, raise, "QmQueryEngine.Dll"));
}

// How a text left empty is counted: what happened and why, so that the
// summary says once how many texts each cause emptied.
std::string LossKind(const std::string& what, const std::string& why) {
  return what + " (" + (why.empty() ? "they did not convert" : why) + ")";
}

}  // namespace

// ---- the own rewrite ----

namespace query_text {

std::vector<std::string> ListGuids(const std::string& query) {
  std::vector<std::string> guids;
  size_t from = 0;
  while (true) {
    const size_t open = query.find('{', from);
    if (open == std::string::npos) break;
    const size_t close = query.find('}', open);
    if (close == std::string::npos) break;
    const std::string part = query.substr(open, close - open + 1);
    from = close + 1;
    if (!frame::IsGuidShaped(part, frame::GuidDigits::kAny)) continue;
    bool seen = false;
    for (const auto& g : guids) seen = seen || EqualsNoCase(g, part);
    if (!seen) guids.push_back(part);
  }
  return guids;
}

std::string RewriteToKeys(const std::string& query, KeyMap& keys,
                          const SystemAttributes* system) {
  struct Found {
    std::string guid;
    int32_t key = 0;
  };
  std::vector<Found> found;
  for (const std::string& guid : ListGuids(query)) {
    Found f{guid, 0};
    bool built_in = false;
    for (const SystemAttributeGuid& s : SystemAttributeGuids()) {
      if (!EqualsNoCase(s.guid, guid)) continue;
      built_in = true;
      if (system) f.key = system->Get(s.member, 1);
      break;
    }
    if (!built_in) {
      for (const char* word : kQueryWords) {
        try {
          f.key = keys.FindKeyFromGUID(word, guid);
        } catch (const Error&) {
          f.key = 0;
        }
        if (f.key >= 1) break;
      }
      if (f.key == 0) keys.MarkDangling("QueryText", guid);
    }
    found.push_back(std::move(f));
  }
  std::string text = ReplaceAll(query, "ReqType.Guid", "ReqType.Key", true);
  text = ReplaceAll(text, "= \"<NO ENTRY>\"", "@@##@@3150", true);
  text = ReplaceAll(text, "<NO ENTRY>", "0", true);
  text = ReplaceAll(text, "@@##@@3150", "= \"<no entry>\"", true);
  text = ReplaceAll(text, "suspect", "1", true);
  for (const Found& f : found)
    if (f.key != 0) text = ReplaceAll(text, f.guid, std::to_string(f.key), true);
  return text;
}

}  // namespace query_text

// ---- the host project ----

QueryDefsMover::~QueryDefsMover() {
  if (project_) project_->Close();
  if (application_) application_->Quit();
  project_.reset();
  application_.reset();
  connection_.reset();
}

std::shared_ptr<HostProject> QueryDefsMover::SpectoProject_() {
  if (project_) return project_;
  // One attempt per mover: a project that did not open stays closed, for
  // the same reason, for every query of the document.
  if (!no_project_.empty()) return nullptr;
  no_project_ = OpenProject_();
  return project_;
}

std::string QueryDefsMover::OpenProject_() {
  if (!connection_) return "there is no database connection to open the project on";
  std::string sql = ReplaceAll(kAdministratorsSql, "#M#", kTableMarker, false);
  sql = ReplaceAll(sql, "#1#", std::to_string(project_key_), false);
  auto admins = connection_->Query(sql);
  std::string login, password;
  bool chosen = false;
  for (; !admins->IsEOF() && !chosen; admins->MoveNext()) {
    login = admins->Value("LOGINNAME").ToText();
    const Variant active = admins->Value("ACTIVE");
    if (active.IsNull() || !active.ToBool()) continue;
    password = admins->Value("PASSWORD").ToText();
    if (frame::TrimBlanks(password).empty()) password.clear();
    chosen = password != kDirectoryLogin;
  }
  // Without an active administrator who has a stored password there is no
  // login to open the project with.
  if (!chosen) return "the project has no active administrator with a stored password";
  // The host pieces may be missing or refuse: the conversions then give
  // empty texts and the move goes on, saying why.
  try {
    if (!password.empty()) {
      auto cipher = Start<PasswordCipher>(*Run().services, kProgIdCipher, true);
      password = cipher->Decipher(password);
    }
  } catch (const Error& e) {
    return "the stored password of the administrator \"" + login +
           "\" does not decipher: " + e.Description();
  }
  try {
    application_ = Start<HostApplication>(*Run().services, kProgIdHostApp, true);
  } catch (const Error&) {
    return std::string("the host application (") + std::string(kProgIdHostApp) +
           ") is not available";
  }
  const std::string location =
      connection_->LocationPrefix() + "QMPROJKEY=" + std::to_string(project_key_);
  try {
    project_ = application_->OpenProject(location, 3, login, password, 1, 2);
  } catch (const Error& e) {
    project_.reset();
    return "the host application did not open the project as \"" + login +
           "\": " + e.Description();
  }
  if (!project_) return "the host application did not open the project";
  return "";
}

// ---- the two roads ----

std::string QueryDefsMover::ConvertToGuidQuery_(const std::string& query, std::string* why) {
  return EngineConvert_(query, kKeyForm, kGuidForm, why);
}

std::string QueryDefsMover::ConvertToKeyQuery_(const std::string& query, KeyMap& keys,
                                               std::string* why) {
  if (query.empty()) return "";
  if (new_project_) {
    auto system = Start<SystemAttributes>(*Run().services, kProgIdSystemAttributes, false);
    return query_text::RewriteToKeys(query, keys, system.get());
  }
  return EngineConvert_(query, kGuidForm, kKeyForm, why);
}

std::string QueryDefsMover::EngineConvert_(const std::string& query, int32_t from,
                                           int32_t to, std::string* why) {
  std::shared_ptr<HostProject> project = SpectoProject_();
  if (!project) {
    *why = no_project_;
    return "";
  }
  auto engine = Start<QueryEngine>(*Run().services, kProgIdQueryEngine, false);
  if (!engine) {
    *why = std::string("the query engine (") + std::string(kProgIdQueryEngine) +
           ") is not available";
    return "";
  }
  std::string message;
  std::shared_ptr<ParsedQuery> parsed;
  std::string converted;
  // Whatever the engine makes of a text it cannot take (a refusal, or an
  // error of its own), the text is left empty and the move goes on.
  try {
    if (engine->Validate2(1, from, project.get(), query, message, parsed) == 0 && parsed)
      converted = parsed->QueryString(to);
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception&) {
    converted.clear();
  }
  if (converted.empty()) *why = "the query engine did not accept them";
  return converted;
}

// ---- writing ----

void QueryDefsMover::TakeConnection_(SourceContainer* oSource) {
  auto db = DbContainer(oSource);
  connection_ = db ? db->ContainerInfo(eContInfo_Connection).As<Connection>() : nullptr;
}

void QueryDefsMover::WriteData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                               Scheduler*) {
  const std::string path = FilePath(oSource);
  auto rs = frame::Take<Recordset>(oRs);
  RunDataSet(oData, true, eMsg_QDefs, path, [&] {
    TakeConnection_(oSource);
    auto db = DbContainer(oSource);
    Write_(rs.get(), db ? db->keys.get() : nullptr, path);
  });
}

int32_t QueryDefsMover::GetProjectKeyFromRecordset_(const Recordset& project) const {
  return xml::ColumnValue(project.GetField("ID"), xml::kLong).ToLong();
}

void QueryDefsMover::Write_(Recordset* project, KeyMap* keys, const std::string& path) {
  doc_.reset();
  XmlDocumentPtr doc = xml::NewDocument();
  if (project == nullptr || project->IsEOF()) return;
  pugi::xml_node root = xml::AppendElement(*doc, "PROJECT");
  if (!xml::SetIdentity(*project, root, "QMGUID")) return;
  pugi::xml_node defs = xml::AppendElement(root, "QUERYDEFS");
  project_key_ = GetProjectKeyFromRecordset_(*project);
  auto conversion = Start<ConversionService>(*Run().services, kProgIdConversion, true);
  std::shared_ptr<Recordset> queries = project->Chapter("Queries");
  for (; queries && !queries->IsEOF(); queries->MoveNext()) {
    pugi::xml_node def = xml::AppendElement(defs, "QUERYDEF");
    xml::SetColumnAttr(def, "Name", *queries, "QUERYNAME");
    xml::SetColumnAttr(def, "ID", *queries, "QMGUID");
    xml::SetColumnAttr(def, "queryuserid", *queries, "queryuserid");
    xml::SetColumnAttr(def, "queryusername", *queries, "queryusername");
    xml::SetAttr(def, "querydatetime",
                 conversion->cTimeStamp(queries->GetField("QUERYDATETIME")));
    xml::SetColumnAttr(def, "queryreason", *queries, "QUERYREASON");
    xml::SetColumnAttr(def, "querybasetype", *queries, "QUERYBASETYPE");
    package_xml::AppendTextElement(def, "QUERYDESCRIPTION",
                                   xml::ColumnText(*queries, "QUERYDESCRIPTION"));
    const std::string query = xml::ColumnText(*queries, "QUERYSTRING");
    std::string why;
    const std::string converted = query.empty() ? "" : ConvertToGuidQuery_(query, &why);
    if (!query.empty() && converted.empty() && keys)
      keys->NoteLoss(LossKind("query text(s) written empty", why));
    package_xml::AppendTextElement(def, "QUERYSTRING", converted);
  }
  if (!queries) root.remove_child(defs);
  // Saved to the path whatever ReturnAsXMLStream asks: no caller takes the
  // query document back.
  doc_ = doc;
  Save(doc_, path);
}

// ---- reading ----

void QueryDefsMover::ReadData(SourceContainer* oSource, DataDescriptor* oData,
                              ObjectPtr& oRs, Scheduler*) {
  const std::string path = FilePath(oSource);
  auto rows = frame::Take<Collection>(oRs);
  RunDataSet(oData, false, eMsg_QDefs, path, [&] { Read_(oSource, oData, rows.get(), path); });
}

void QueryDefsMover::Read_(SourceContainer* oSource, DataDescriptor* oData,
                           Collection* rows, const std::string& path) {
  TakeConnection_(oSource);
  doc_ = LoadFile(oSource, path, Source("Read_"));
  std::shared_ptr<Recordset> rs =
      sql::RecordsetOfTable(rows, sql::Table("QmQueryDefinitions"));
  auto db = DbContainer(oSource);
  if (!rs || !db || !db->keys) return;
  KeyMap& keys = *db->keys;
  const int32_t flags = oData ? oData->ProjectFlags : 0;
  auto guids = frame::ChooseGuidProvider(flags, *Run().services);
  new_project_ = (flags & 1) != 0;
  project_key_ = frame::ProjectKeyOfDocument(*doc_, &keys);

  pugi::xml_node defs = xml::ChildNode(xml::RootElement(*doc_), 0);
  for (pugi::xml_node def : xml::Children(defs)) {
    // Every element is a query; one without attributes fails on its
    // identity below rather than vanishing without a word.
    if (def.type() != pugi::node_element) continue;
    frame::ReadingElement at(reading_, def);
    auto text = [&](const char* name) {
      return xml::AttributeValue(def.attribute(name), xml::kString).ToText();
    };
    const std::string xml_guid = text("ID");
    const std::string stored = xml::ChildNode(def, 1).text().get();
    rs->AddNew();
    rs->Set("ID", Variant(keys.GetNextDBKey("Query", xml_guid)));
    rs->Set("PROJECTID", Variant(project_key_));
    // Texts as the host stores them: "|" back into the character 26, and
    // the description's line ends as carriage return plus line feed (the
    // parser folds them).
    rs->Set("QUERYNAME", Variant(sql::HostText(text("Name"))));
    rs->Set("QUERYDESCRIPTION",
            Variant(sql::HostText(xml::LineEnds(xml::ChildNode(def, 0).text().get()))));
    rs->Set("QUERYUSERID", Variant(keys.getKeyFromGUID("User", text("queryuserid"))));
    rs->Set("QUERYDATETIME", Variant(text("querydatetime")));
    rs->Set("QUERYREASON", Variant(sql::HostText(text("queryreason"))));
    rs->Set("QUERYBASETYPE", Variant(text("querybasetype")));
    std::string why;
    const std::string converted = ConvertToKeyQuery_(stored, keys, &why);
    if (!stored.empty() && converted.empty())
      keys.NoteLoss(LossKind("query text(s) stored empty", why));
    rs->Set("QUERYSTRING", Variant(converted));
    rs->Set("QMGUID", Variant(guids->GetGUID(xml_guid)));
  }
  rs->UpdateBatch();
}

MoverPtr NewQueryDefsMover() { return std::make_shared<QueryDefsMover>(); }

}  // namespace qmxml::movers
