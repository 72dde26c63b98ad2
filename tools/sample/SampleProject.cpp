// SampleProject: the entry point of the sample-project generator and its
// first job, the definitions: the project row and its history, user groups
// and users, requirement types, attributes with their list items and
// defaults, document types, and the rights of every group. The content and
// activity jobs (SampleContent.cpp, SampleActivity.cpp) build on the keys
// recorded here.
#include "sample/SampleProject.h"


#include "host/HostServices.h"
#include "qmxml/Collection.h"
#include "qmxml/Connection.h"
#include "qmxml/Error.h"
#include "qmxml/KeyMap.h"
#include "sample/SampleSupport.h"
#include "xml/XmlDoc.h"

namespace qmxml {

int64_t SampleSummary::Rows(std::string_view table) const {
  for (const auto& [name, count] : rows)
    if (EqualsNoCase(name, table)) return count;
  return 0;
}

namespace sample {
namespace {

// ---- definitions of the structure ----

struct GroupDef {
  const char* name;
  const char* description;
  int project, doc_type, req_type, attribute, list_item;
};
const GroupDef kGroups[] = {
    {"Administrators", "Full control of the project, its structure and its security.",
     255, 255, 255, 255, 255},
    {"Requirements Engineers",
     "Write requirements, documents and views.\r\nMay change attribute values, not the "
     "structure.",
     63, 31, 63, 31, 31},
    {"Developers", "Read requirements; trace software requirements to the design.", 7, 3,
     15, 7, 7},
    {"Testers", "Own the test cases and their \"Verified\" status.", 7, 3, 15, 7, 7},
    {"Reviewers – extern", "Read-only access for the customer's reviewers.", 1, 1, 1, 1,
     1},
};
enum { kAdmins, kEngineers, kDevelopers, kTesters, kReviewers };

// How the host keeps a password: enciphered, or the marker of a user whom a
// directory service authenticates.
enum PasswordKind { kCipher, kWideCipher, kDirectory };
struct UserDef {
  const char* login;
  const char* full_name;
  int group;
  bool active;
  PasswordKind password;
};
const UserDef kUsers[] = {
    {"amueller", "Anna Müller", kAdmins, true, kDirectory},
    {"bwilson", "Ben Wilson", kAdmins, false, kCipher},
    {"coneil", "Claire O'Neil", kEngineers, true, kCipher},
    {"dnovak", "Dušan Novák", kEngineers, true, kCipher},
    {"etanaka", "Emi Tanaka (田中 恵美)", kDevelopers, true, kWideCipher},
    {"fgarcia", "Fernando García", kDevelopers, true, kCipher},
    {"gvirtanen", "Greta Virtanen", kTesters, true, kCipher},
    {"hschmidt", "Hans Schmidt", kTesters, true, kCipher},
    {"ilund", "Ingrid Ålund", kReviewers, true, kCipher},
    {"jdoe", "John Doe", kReviewers, false, kCipher},
    {"kwojcik", "Katarzyna Wójcik", kEngineers, true, kCipher},
    {"lmartin", "Luc Martin", kAdmins, true, kCipher},
};

struct FieldDef {
  const char* label;
  int data_type;
  bool required, auto_suspect, values;
  std::vector<const char*> items;
  std::vector<int> defaults;  // indexes of the default items (List, MultiSelect)
  const char* default_text;   // other data types
  const char* properties;
  const char* description;
};
// In FieldId order: label, data type, required, auto-suspect, has values,
// list items, default items, default text, field properties, description.
// clang-format off
const FieldDef kFields[] = {
    {"Priority", kList, true, false, true, {"High", "Medium", "Low"}, {1}, "", "",
     "How urgently the customer needs it."},
    {"Status", kList, true, true, true,
     {"Proposed", "Approved", "Implemented", "Verified", "Rejected", "Deferred"}, {0},
     "", "", "Where the requirement stands in its life cycle."},
    {"Difficulty", kList, false, false, true, {"High", "Medium", "Low"}, {}, "", "",
     "Estimated by the development team."},
    {"Target Release", kList, false, false, true,
     {"R1.0", "R1.1", "R2.0", "R3.0 – Zukunft"}, {}, "", "",
     "The release that is to deliver it."},
    {"Verification Method", kList, false, false, true,
     {"Inspection", "Analysis", "Demonstration", "Test"}, {3}, "", "",
     "How its fulfilment is shown."},
    {"Platforms", kMulti, false, false, true,
     {"Windows", "Linux", "macOS", "Web client", "iOS", "Android"}, {0, 1}, "", "",
     "Platforms the requirement applies to."},
    {"Affected Components", kMulti, false, false, true,
     {"User interface", "Database", "Network", "Reporting", "Security", "Ein-/Ausgabe"},
     {}, "", "", "Components a change touches."},
    {"Rationale", kText, false, false, true, {}, {}, "", "multiline=1",
     "Why the requirement exists.\r\nQuote the source document where possible."},
    {"Source", kText, false, false, true, {}, {}, "Customer workshop", "",
     "Who asked for it (meeting, document, person)."},
    {"Owner", kText, false, false, true, {}, {}, "", "", "Person responsible for it."},
    {"Effort (days)", kInteger, false, false, true, {}, {}, "1", "",
     "Estimated effort in days."},
    {"Story Points", kInteger, false, false, true, {}, {}, "3", "",
     "Relative size for planning."},
    {"Cost Estimate (€)", kReal, false, false, true, {}, {}, "0", "",
     "Expected cost in euro."},
    {"Risk Factor", kReal, false, true, true, {}, {}, "0.5", "",
     "Probability of trouble, 0 to 1."},
    {"Target Date", kDate, false, false, true, {}, {}, "", "format=yyyy-mm-dd",
     "Date by which it is due."},
    {"Review Time", kTime, false, false, true, {}, {}, "09:00:00", "",
     "Slot of the weekly review."},
    // Attributes of the modelling-tool and tracker integrations: their
    // values belong to those tools, so requirements carry none here.
    {"ModraItemID", kText, false, false, false, {}, {}, "", "",
     "Element of the linked model (kept by the modelling tool)."},
    {"Tracker Issue", kText, false, false, false, {}, {}, "",
     "customType=issue;connector=TrkBridge.Connector", "Issue of the linked tracker."},
};
// clang-format on

struct TypeDef {
  const char* name;
  const char* prefix;
  int color, style;
  const char* must_contain;
  bool external;
  const char* description;
  std::vector<int> fields;
};
// In TypeId order: name, prefix, colour, style, text must contain,
// external references, description, linked attributes.
// clang-format off
const TypeDef kTypes[] = {
    {"Feature", "FEAT", 2, 1, "", true,
     "Capabilities of the product as the customer sees them.",
     {kPriority, kStatus, kRelease, kPlatforms, kRationale, kSource, kOwner, kEffort,
      kCost, kTargetDate}},
    {"User Requirement", "UR", 11, 1, "", true,
     "Needs of operators and planners.\r\nWritten in the user's words.",
     {kPriority, kStatus, kDifficulty, kSource, kRationale, kStoryPoints, kRisk,
      kComponents}},
    {"Software Requirement", "SR", 6, 2, "shall", false,
     "What the software must do; one testable statement each.",
     {kPriority, kStatus, kDifficulty, kPlatforms, kComponents, kVerification, kEffort,
      kRisk, kRationale, kRelease}},
    {"Use Case", "UC", 12, 3, "", false, "Interactions of an actor with the system.",
     {kStatus, kPriority, kOwner, kReviewTime, kModelItem, kStoryPoints}},
    {"Test Case", "TC", 10, 1, "", false,
     "Steps and expected results that verify requirements.",
     {kStatus, kVerification, kOwner, kReviewTime, kTargetDate, kEffort, kTrackerIssue}},
    {"Glossary Term", "TERM", 15, 2, "", false,
     "Words with a fixed meaning in this project.",
     {kSource, kOwner}},
};
// clang-format on

struct DocTypeDef {
  const char* name;
  const char* extension;
  int req_type;
  const char* description;
  const char* template_name;
  const char* template_file;
};
const DocTypeDef kDocTypes[] = {
    {"Vision Document", "vis", kFeature, "Product vision, stakeholders and features.",
     "Vision", "vision"},
    {"Software Requirements Specification", "srs", kSoftware,
     "Software requirements of one subsystem.\r\nOne chapter per component.", "SRS",
     "srs"},
    {"Use Case Specification", "uc", kUseCase, "One use case with its flows.", "Use Case",
     "usecase"},
    {"Test Plan", "tpl", kTestCase, "Test cases of one release | one subsystem.",
     "Test Plan", "testplan"},
};

// ---- project ----

const char* const kProjectReasons[] = {
    "Project created",
    "Structure agreed in the kick-off workshop",
    "Baseline for the system requirements review",
    "Security model revised after the audit",
    "Release 2.1 – Übergabe an den Betrieb",
};

void WriteProject(Model& m, Rng& rng) {
  m.project_guid = MakeGuid(rng);
  m.project_start = 60 * kDay + 9 * 3600;  // 2009-03-02 09:00
  const int versions = static_cast<int>(std::size(kProjectReasons));
  Insert history(m.db, "qmProjectHistory",
                 {"ProjectID", "VersionNumber", "VersionLabel", "VersionUserID",
                  "VersionDateTime", "VersionReason", "OverflowIND", "Flags"});
  int64_t when = m.project_start;
  int32_t last_user = m.users[0].key;
  for (int v = 1; v <= versions; ++v) {
    if (v > 1) when += rng.Days(120, 260, 8 * 3600);
    last_user = m.users[rng.Below(3) == 0 ? 0 : 1].key;
    std::string label = v == 3 ? "SRR baseline" : v == versions ? "Release 2.1" : "";
    history.Row(m.project_key, std::to_string(v), label, last_user, Stamp(when),
                kProjectReasons[v - 1], 0, 0);
  }
  std::string description = BarsStored(
      "Requirements of the Atlas ground station software: mission planning | commanding "
      "| "
      "telemetry archive.\r\nSample project \"Atlas\" (seed " +
      std::to_string(m.seed) +
      "), generated for transfer tests; Übersicht in chapter 1.");
  Insert project(m.db, "qmProjects",
                 {"ID", "Name", "Prefix", "QMGUID", "Description", "DocumentWordFormat",
                  "AuthorID", "SecurityEnabled", "VersionNumber", "VersionLabel",
                  "VersionUserID", "VersionDateTime", "VersionReason", "Flags", "RSDS"});
  project.Row(m.project_key, "Atlas Ground Station", "ATL", m.project_guid, description,
              1, m.users[0].key, 1, std::to_string(versions), "Release 2.1", last_user,
              Stamp(when), kProjectReasons[versions - 1], 0, "QMDS=Atlas;Mode=Shared");
}

// ---- security ----

// The stored password of |login|: a clear password made up from the login,
// enciphered with the sample's key (a nonce from the generator, so that the
// same seed and key give the same text), or the directory marker.
std::string Password(Rng& rng, PasswordKind kind, const std::string& key_file,
                     const char* login) {
  if (kind == kDirectory) return "DirectoryLoginOnly";
  static const char kHex[] = "0123456789ABCDEF";
  std::string clear = std::string(login) + "-";
  for (int i = 0; i < 6; ++i) clear += kHex[rng.Below(16)];
  if (kind == kWideCipher)
    clear += "-\u30D1\u30B9";  // any character may be part of a password
  std::vector<uint8_t> nonce(24);
  for (auto& b : nonce) b = static_cast<uint8_t>(rng.Below(256));
  return PasswordCipher(key_file).Encipher(clear, nonce);
}

void WriteSecurity(Model& m, Rng& rng) {
  Insert groups(
      m.db, "qmUserGroups",
      {"ID", "NAME", "DESCRIPTION", "PROJECTACCESSRIGHTS", "DOCTYPEACCESSRIGHTS",
       "REQTYPEACCESSRIGHTS", "ATTRIBUTEACCESSRIGHTS", "LISTITEMACCESSRIGHTS", "QMGUID"});
  for (const GroupDef& g : kGroups) {
    Group group{static_cast<int32_t>(m.groups.size() + 1), MakeGuid(rng), g.name};
    groups.Row(group.key, g.name, g.description, g.project, g.doc_type, g.req_type,
               g.attribute, g.list_item, group.guid);
    m.groups.push_back(std::move(group));
  }
  Insert users(m.db, "qmUsers",
               {"ID", "LoginName", "Password", "Active", "FullName", "EmailAddress",
                "GroupID", "QMGUID"});
  for (const UserDef& u : kUsers) {
    User user{static_cast<int32_t>(m.users.size() + 1), MakeGuid(rng), u.login,
              u.full_name, u.group};
    users.Row(user.key, u.login, Password(rng, u.password, m.key_file, u.login),
              u.active ? 1 : 0, u.full_name,
              std::string(u.login) + "@atlas-gs.example.org", m.groups[u.group].key,
              user.guid);
    m.users.push_back(std::move(user));
  }
}

// ---- structure ----

void WriteFields(Model& m, Rng& rng) {
  Insert fields(m.db, "qmUserDefinedFields",
                {"ID", "Label", "Rank", "AutoSuspect", "Required", "DataType",
                 "DefaultValue", "FLAGS", "DESCRIPTION", "FieldProperties", "QMGUID"});
  Insert items(m.db, "qmUserDefinedListItems",
               {"ITEMID", "FIELDID", "ItemText", "ItemRank", "QMGUID"});
  int32_t item_key = 0;
  for (const FieldDef& d : kFields) {
    Field f{static_cast<int32_t>(m.fields.size() + 1),
            MakeGuid(rng),
            d.label,
            d.data_type,
            d.values,
            {},
            {}};
    std::string default_value = d.default_text;
    for (size_t i = 0; i < d.items.size(); ++i) {
      f.items.push_back(++item_key);
      f.item_texts.push_back(d.items[i]);
      items.Row(item_key, f.key, d.items[i], static_cast<int>(i + 1), MakeGuid(rng));
    }
    // Defaults of list attributes name their items by key: one key for a
    // List, keys joined by ", " for a MultiSelect.
    if (d.data_type == kList || d.data_type == kMulti) {
      default_value.clear();
      for (int i : d.defaults) {
        if (!default_value.empty()) default_value += ", ";
        default_value += std::to_string(f.items[i]);
      }
    }
    int flags = d.data_type == kList || d.data_type == kMulti ? 2 : 0;
    fields.Row(f.key, d.label, f.key, d.auto_suspect ? 1 : 0, d.required ? 1 : 0,
               d.data_type, default_value, flags, d.description, d.properties, f.guid);
    m.fields.push_back(std::move(f));
  }
}

void WriteTypes(Model& m, Rng& rng) {
  Insert types(m.db, "qmRequirementTypes",
               {"ID", "NAME", "DESCRIPTION", "RequirementPrefix", "RequirementColor",
                "RequirementStyle", "RequirementMustContain", "InitialReqNumber",
                "LastReqNumber", "AllowExternalReferences", "QMGUID"});
  Insert project_types(m.db, "qmProjectRequirementTypes",
                       {"PROJECTID", "REQUIREMENTTYPEID"});
  Insert links(m.db, "qmRequirementTypeFields",
               {"REQUIREMENTTYPEID", "USERDEFINEDFIELDID"});
  for (const TypeDef& d : kTypes) {
    ReqType t{static_cast<int32_t>(m.types.size() + 1), MakeGuid(rng), d.name, d.prefix,
              d.fields};
    // LastReqNumber is set once the requirements are written.
    types.Row(t.key, d.name, d.description, d.prefix, d.color, d.style, d.must_contain, 1,
              0, d.external ? 1 : 0, t.guid);
    project_types.Row(m.project_key, t.key);
    for (int f : d.fields) links.Row(t.key, m.fields[f].key);
    m.types.push_back(std::move(t));
  }
  Insert doc_types(m.db, "qmDocumentTypes",
                   {"ID", "NAME", "DESCRIPTION", "FileExtension", "TemplateName",
                    "TemplateDescription", "TemplateFileName", "TemplateHelpFile",
                    "DefaultRequirementType", "QMGUID"});
  Insert project_doc_types(m.db, "qmProjectDocumentTypes",
                           {"PROJECTID", "DocumentTypeID"});
  for (const DocTypeDef& d : kDocTypes) {
    DocType t{static_cast<int32_t>(m.doc_types.size() + 1), MakeGuid(rng), d.name,
              d.extension, d.req_type};
    doc_types.Row(t.key, d.name, BarsStored(d.description), d.extension,
                  std::string(d.template_name) + " template",
                  std::string("Standard layout for the ") + d.name + ".",
                  std::string(d.template_file) + ".dot",
                  std::string(d.template_file) + ".hlp", m.types[d.req_type].key, t.guid);
    project_doc_types.Row(m.project_key, t.key);
    m.doc_types.push_back(std::move(t));
  }
}

// ---- rights ----

void WriteRights(Model& m, Rng& rng) {
  Insert project(m.db, "qmProjectUsers", {"PROJECTID", "USERGROUPID", "ACCESSRIGHTS"});
  Insert doc_types(m.db, "qmDocumentTypeUsers",
                   {"PROJECTID", "USERGROUPID", "DOCUMENTTYPEID", "ACCESSRIGHTS"});
  Insert req_types(
      m.db, "qmRequirementTypeUsers",
      {"PROJECTID", "USERGROUPID", "REQUIREMENTTYPEID", "ACCESSRIGHTS",
       "REQTEXTACCESSRIGHTS", "REQNAMEACCESSRIGHTS", "TRACEABILITYACCESSRIGHTS"});
  Insert fields(m.db, "qmUserDefinedFieldUsers",
                {"PROJECTID", "USERGROUPID", "FIELDID", "ACCESSRIGHTS"});
  Insert items(m.db, "qmUserDefinedListItemUsers",
               {"PROJECTID", "USERGROUPID", "LISTITEMID", "ACCESSRIGHTS"});
  static const int kRights[] = {1, 3, 7, 15, 31};
  for (size_t g = 0; g < m.groups.size(); ++g) {
    const GroupDef& d = kGroups[g];
    int32_t group = m.groups[g].key;
    project.Row(m.project_key, group, d.project);
    for (const DocType& t : m.doc_types)
      doc_types.Row(m.project_key, group, t.key, g == kAdmins ? 255 : rng.Pick(kRights));
    for (const ReqType& t : m.types) {
      int rights[4];  // on the type, the text, the name, the traces
      for (int& r : rights) r = g == kAdmins ? 255 : rng.Pick(kRights);
      req_types.Row(m.project_key, group, t.key, rights[0], rights[1], rights[2],
                    rights[3]);
    }
    if (g == kAdmins) continue;  // administrators need no finer rights
    // Rights on attributes and list items are held once under every
    // requirement type the attribute is linked to, with the same value.
    std::vector<int> on_field(m.fields.size());
    for (int& rights : on_field) rights = rng.Pick(kRights);
    for (const ReqType& t : m.types) {
      for (int f : t.fields) {
        if (m.fields[f].values)
          fields.Row(m.project_key, group, m.fields[f].key, on_field[f]);
        // Testers may set the test states only; reviewers see the states.
        if (f != kStatus || (g != kTesters && g != kReviewers)) continue;
        const Field& status = m.fields[kStatus];
        for (size_t i = 0; i < status.items.size(); ++i) {
          int rights = g == kReviewers ? 1 : (i == 3 || i == 5) ? 3 : 1;
          items.Row(m.project_key, group, status.items[i], rights);
        }
      }
    }
  }
}

// Every type word of the key map and the resource class count from the
// largest key their table holds.
void WriteKeyCounters(Model& m) {
  static const char* const kWords[] = {"Project",
                                       "User",
                                       "Group",
                                       "RequirementType",
                                       "DocumentType",
                                       "UserDefinedField",
                                       "UserDefinedListItem",
                                       "Document",
                                       "Requirement",
                                       "Package",
                                       "View",
                                       "Query"};
  for (const char* word : kWords) {
    const KeyMap::TypeInfo* info = KeyMap::Lookup(word);
    Exec(m.db, std::string("INSERT INTO QmKeys (KeyClass, LastKey) SELECT '") +
                   info->word + "', COALESCE(MAX(" + info->key_column + "), 0) FROM " +
                   info->table);
  }
  Exec(m.db,
       "INSERT INTO QmKeys (KeyClass, LastKey) SELECT 'Resource', COALESCE(MAX(ID), 0) "
       "FROM QmResources");
}

std::vector<std::pair<std::string, int64_t>> CountRows(Connection& conn) {
  std::vector<std::pair<std::string, int64_t>> out;
  for (const std::string& name : conn.Tables()) out.emplace_back(name, conn.CountRows(name));
  return out;
}

}  // namespace

void FillDefinitions(Model& m) {
  Rng rng(m.seed, 1);
  m.Tell("project, security and structure");
  // Users first: the project row names its author and version user.
  WriteSecurity(m, rng);
  WriteProject(m, rng);
  WriteFields(m, rng);
  WriteTypes(m, rng);
  WriteRights(m, rng);
}

}  // namespace sample

SampleSummary FillSampleProject(Connection& conn, const SampleOptions& opts) {
  const char* kSource = "SampleProject.FillSampleProject";
  if (opts.requirements < 1)
    throw Error(eErr_InvalidArgument, kSource,
                "a sample project needs at least one requirement");
  if (conn.Scalar("SELECT COUNT(*) FROM qmProjects", {}).ToLong() > 0)
    throw Error(eErr_InvalidArgument, kSource,
                "the database " + conn.Path() + " already holds a project");

  sample::Model m;
  m.db = &conn;
  m.seed = opts.seed;
  m.requirements = opts.requirements;
  m.progress = opts.progress;
  // A file database keeps its key beside it; a server database has no
  // "beside", so its key file must be named.
  m.key_file = opts.key_file;
  const std::string file = DatabaseLocator(conn.Path()).File();
  if (m.key_file.empty() && file.empty())
    throw Error(eErr_Cipher, kSource,
                "A sample project on a server database needs a key file for its passwords "
                "(--key-file or QMXML_KEY_FILE).");
  if (m.key_file.empty()) m.key_file = file + ".key";
  PasswordCipher::CreateKeyFile(m.key_file);

  // A transaction of its own, or a savepoint in the caller's.
  const bool own = !conn.InTransaction();
  sample::Exec(m.db, own ? "BEGIN" : "SAVEPOINT sample_project");
  try {
    sample::FillDefinitions(m);
    sample::FillContent(m);
    sample::FillActivity(m);
    sample::WriteKeyCounters(m);
    sample::Exec(m.db, own ? "COMMIT" : "RELEASE sample_project");
  } catch (...) {
    try {
      if (own)
        conn.Rollback();
      else
        conn.ExecuteScript("ROLLBACK TO SAVEPOINT sample_project; RELEASE SAVEPOINT sample_project");
    } catch (const Error&) {
      // The first failure is the one to report.
    }
    throw;
  }
  m.Tell("done");

  SampleSummary summary;
  summary.project_key = m.project_key;
  summary.project_guid = m.project_guid;
  summary.key_file = m.key_file;
  summary.rows = sample::CountRows(conn);
  return summary;
}

}  // namespace qmxml
