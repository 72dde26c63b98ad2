// ReqIF import: a ReqIF file (this tool's or another's) as a new project,
// read streaming with libxml2's reader: each definition, object, relation
// and SPECIFICATION is expanded alone, stored, and let go, so memory holds
// the file's types and the identifier-to-key map of its objects, not the
// file. Rows go straight into the tables, in one transaction, with keys
// from the key map (in file order, so that a re-export is the same bytes).
//
// Mapping: SPEC-OBJECT-TYPEs become requirement types (a type with
// ReqIF.ChapterName and no ReqIF.Text is a heading type), their attribute
// definitions attributes (enumerations with their list items), SPEC-OBJECTs
// requirements (an object with a chapter name and no text is a heading),
// headings packages nested as the hierarchy nests them, SPEC-RELATIONs
// traces (one trace type per relation type). A SPECIFICATION this tool
// wrote is the project itself; any other becomes a top-level package.
#include <libxml/xmlreader.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "movers/content/TextCapacity.h"
#include "qmxml/Collection.h"
#include "qmxml/Error.h"
#include "qmxml/ProjectDatabase.h"
#include "qmxml/Reqif.h"
#include "qmxml/SourceContainer.h"
#include "reqif/ReqifArchive.h"
#include "reqif/ReqifNames.h"
#include "frame/Guid.h"
#include "sql/SqlText.h"
#include "transfer/TransferSteps.h"
#include "xml/XmlDoc.h"
#include "xml/Files.h"

namespace qmxml {
namespace {

constexpr const char* kSource = "ReqifImport";

// What is counted instead of stored; --strict fails on any of these.
constexpr const char* kUndefined = "references to identifiers the file does not define";
constexpr const char* kTwice = "identifiers used twice (later ones skipped)";
constexpr const char* kNoType = "objects whose type is missing";
constexpr const char* kNotFitting = "values that do not fit their data type";
constexpr const char* kOutside = "enumeration values outside their type";
constexpr const char* kGroups = "relation groups (not carried)";
constexpr const char* kExtensions = "tool extensions (not carried)";
constexpr const char* kSpecValues =
    "attribute values of specifications and relations (not carried)";
constexpr const char* kHeadingTwice = "headings placed more than once (first place kept)";
constexpr const char* kLooseHeadings = "headings in no SPECIFICATION (not carried)";
constexpr const char* kHeadingRelations = "relations that name a heading (not carried)";
constexpr const char* kObjects = "embedded objects in texts (not carried)";
constexpr const char* kNoAttachment =
    "embedded objects naming no file of the archive (not carried)";
constexpr const char* kUnsafeEntries =
    "archive entries whose names lead outside the archive (not read)";
constexpr const char* kOtherReqif = "ReqIF files of the archive after the first (not read)";
constexpr const char* kChildrenFirst =
    "hierarchy nodes whose CHILDREN come before their OBJECT (children placed one level "
    "up)";
constexpr const char* kManyValues =
    "several values of a single-valued enumeration (first kept)";

using namespace reqif::field_type;

enum class Kind {
  kString,
  kXhtml,
  kInteger,
  kReal,
  kDate,
  kBoolean,
  kEnumeration,
  kOther
};

Kind KindOf(std::string_view suffix) {
  static const std::pair<const char*, Kind> kKinds[] = {
      {"STRING", Kind::kString},
      {"XHTML", Kind::kXhtml},
      {"INTEGER", Kind::kInteger},
      {"REAL", Kind::kReal},
      {"DATE", Kind::kDate},
      {"BOOLEAN", Kind::kBoolean},
      {"ENUMERATION", Kind::kEnumeration}};
  for (const auto& [word, kind] : kKinds)
    if (suffix == word) return kind;
  return Kind::kOther;
}

// ---- the expanded subtree of one element ----

std::string Name(const xmlNode* n) { return reinterpret_cast<const char*>(n->name); }

std::string Attr(const xmlNode* n, const char* name) {
  xmlChar* v = xmlGetProp(n, BAD_CAST name);
  if (v == nullptr) return "";
  std::string out = reinterpret_cast<const char*>(v);
  xmlFree(v);
  return out;
}

std::vector<const xmlNode*> Elements(const xmlNode* n) {
  std::vector<const xmlNode*> out;
  if (n == nullptr) return out;
  for (const xmlNode* c = n->children; c != nullptr; c = c->next)
    if (c->type == XML_ELEMENT_NODE) out.push_back(c);
  return out;
}

const xmlNode* Child(const xmlNode* n, std::string_view name) {
  for (const xmlNode* c : Elements(n))
    if (Name(c) == name) return c;
  return nullptr;
}

// |text| without the white space around it (references are often laid out
// on lines of their own).
std::string Trimmed(const char* text) {
  std::string_view t = text == nullptr ? "" : text;
  while (!t.empty() && std::isspace(static_cast<unsigned char>(t.front())))
    t.remove_prefix(1);
  while (!t.empty() && std::isspace(static_cast<unsigned char>(t.back())))
    t.remove_suffix(1);
  return std::string(t);
}

std::string Content(const xmlNode* n) {
  xmlChar* v = xmlNodeGetContent(n);
  std::string out = Trimmed(reinterpret_cast<const char*>(v));
  xmlFree(v);
  return out;
}

// The text of the first reference element under <outer> (any *-REF).
std::string RefOf(const xmlNode* n, std::string_view outer) {
  const xmlNode* o = Child(n, outer);
  auto refs = Elements(o);
  return refs.empty() ? "" : Content(refs.front());
}

// "<SPEC-OBJECT IDENTIFIER="x"> at line 12": where a user finds it.
std::string Where(const xmlNode* n) {
  const std::string id = Attr(n, "IDENTIFIER");
  std::string out(1, '<');
  out.append(Name(n));
  if (!id.empty()) out.append(" IDENTIFIER=\"").append(id).append("\"");
  out.append("> at line ").append(std::to_string(xmlGetLineNo(n)));
  return out;
}

// ---- XHTML to plain text ----

bool IsBlock(std::string_view name) {
  static const char* const kBlocks[] = {"p",  "div", "li",         "ul", "ol", "table",
                                        "tr", "h1",  "h2",         "h3", "h4", "h5",
                                        "h6", "pre", "blockquote", "dl", "dt", "dd"};
  for (const char* b : kBlocks)
    if (name == b) return true;
  return false;
}

// An <xhtml:object> of a text: what it names, its type and its content.
struct Embedded {
  std::string data, type, name;
};

struct PlainText {
  std::string out;
  std::vector<Embedded> objects;

  bool AtLineStart() const { return out.empty() || out.back() == '\n'; }
  void LineEnd() {
    while (!out.empty() && out.back() == ' ') out.pop_back();
    out += "\r\n";
  }
  void BlockBreak() {
    if (!AtLineStart()) LineEnd();
  }
  void Text(std::string_view text, bool pre) {
    for (size_t i = 0; i < text.size(); ++i) {
      const char c = text[i];
      if (pre || (c != '\n' && c != '\r')) {
        if (pre && c == '\n') {
          LineEnd();
          continue;
        }
        out.push_back(c);
        continue;
      }
      // A line end of the markup's layout and the blanks around it: one
      // blank inside a line, nothing at its start.
      while (!out.empty() && (out.back() == ' ' || out.back() == '\t') && !AtLineStart())
        out.pop_back();
      while (i + 1 < text.size() && std::isspace(static_cast<unsigned char>(text[i + 1])))
        ++i;
      if (!AtLineStart()) out.push_back(' ');
    }
  }
  void Walk(const xmlNode* n, bool pre) {
    for (const xmlNode* c = n->children; c != nullptr; c = c->next) {
      if (c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE) {
        Text(reinterpret_cast<const char*>(c->content), pre);
        continue;
      }
      if (c->type != XML_ELEMENT_NODE) continue;
      const std::string name = Name(c);
      if (name == "br") {
        LineEnd();
      } else if (name == "object") {
        objects.push_back({Attr(c, "data"), Attr(c, "type"), Content(c)});
      } else if (IsBlock(name)) {
        BlockBreak();
        Walk(c, pre || name == "pre");
        BlockBreak();
      } else {
        Walk(c, pre);
      }
    }
  }
  std::string Result() {
    while (out.size() >= 2 && out.compare(out.size() - 2, 2, "\r\n") == 0)
      out.resize(out.size() - 2);
    return out;
  }
};

// ---- what the file defines ----

struct EnumValue {
  std::string id, name;
  int32_t key = 0;
};
struct Datatype {
  Kind kind = Kind::kOther;
  bool time = false;
  std::vector<EnumValue> values;
};
enum class Role { kField, kForeignId, kName, kText, kChapter, kDescription };
struct Field {
  int32_t key = 0, data_type = kText;
  Kind kind = Kind::kString;
  std::unordered_map<std::string, int32_t> items;  // enum value id -> list item key
};
struct Attribute {
  Role role = Role::kField;
  Kind kind = Kind::kString;
  Field* field = nullptr;
  bool multi = false;
};
struct ObjectType {
  int32_t key = 0;  // 0: a heading type
  std::unordered_map<std::string, Attribute> attributes;
  int32_t last_tag = 0;
  bool prefix_set = false;
  std::string prefix;
};
struct Heading {
  std::string guid, name, description;
  int32_t package = 0;
};

class Importer {
 public:
  Importer(Connection& conn, KeyMap& keys, const ReqifImportOptions& options,
           ReqifImportSummary* summary)
      : conn_(conn),
        keys_(keys),
        options_(options),
        summary_(*summary),
        guids_(frame::ChooseGuidProvider(options.new_guids ? 1 : 0, ServiceRegistry::Builtin())) {}

  void Read(const std::string& path) {
    path_ = path;
    xmlTextReaderPtr r = nullptr;
    // An archive (.reqifz) is known by its signature, whatever its name.
    if (reqif::IsZipFile(path)) {
      archive_ = std::make_unique<reqif::ArchiveReader>(path);
      path_ = path + " (" + archive_->ReqifEntry() + ")";
      for (const std::string& e : archive_->UnsafeEntries())
        Note(kUnsafeEntries, "\"" + e + "\"");
      for (const std::string& e : archive_->OtherReqifFiles())
        Note(kOtherReqif, "\"" + e + "\"");
      r = archive_->OpenReqif(XML_PARSE_NONET);
    } else {
      r = xmlReaderForFile(path.c_str(), nullptr, XML_PARSE_NONET);
    }
    if (r == nullptr)
      throw Error(eErr_FileNotFound, kSource, "Cannot open the ReqIF file " + path + ".");
    std::unique_ptr<xmlTextReader, void (*)(xmlTextReaderPtr)> owner(r,
                                                                     xmlFreeTextReader);
    xmlTextReaderSetStructuredErrorHandler(r, &Importer::OnError, this);
    int rc = xmlTextReaderRead(r);
    while (rc == 1) {
      const int type = xmlTextReaderNodeType(r);
      if (type == XML_READER_TYPE_DOCUMENT_TYPE)
        Unreadable(r, "it holds a DOCTYPE, which ReqIF files do not");
      if (type != XML_READER_TYPE_ELEMENT) {
        rc = xmlTextReaderRead(r);
        continue;
      }
      const std::string name =
          reinterpret_cast<const char*>(xmlTextReaderConstLocalName(r));
      if (name == "SPECIFICATION" && project_key_ != 0) {
        rc = Specification(r);
        continue;
      }
      if (xmlTextReaderDepth(r) == 0) {
        const xmlChar* ns = xmlTextReaderConstNamespaceUri(r);
        if (name != "REQ-IF" || ns == nullptr ||
            std::string_view(reinterpret_cast<const char*>(ns)) != reqif::kNamespace)
          Unreadable(r, "its root is not a REQ-IF element of the ReqIF 1.2 namespace");
      }
      if (!Handles(name)) {
        rc = xmlTextReaderRead(r);
        continue;
      }
      xmlNodePtr node = xmlTextReaderExpand(r);
      if (node == nullptr) Unreadable(r, "");
      Handle(name, node);
      rc = xmlTextReaderNext(r);
    }
    if (rc < 0) Unreadable(r, "");
    if (project_key_ == 0) Unreadable(r, "it holds no REQ-IF-HEADER");
    Finish();
  }

 private:
  static void OnError(void* self, xmlErrorPtr error) {
    auto* me = static_cast<Importer*>(self);
    if (error == nullptr || error->level < XML_ERR_ERROR || !me->error_.empty()) return;
    std::string message = error->message != nullptr ? error->message : "";
    while (!message.empty() && std::isspace(static_cast<unsigned char>(message.back())))
      message.pop_back();
    me->error_ = message + " (XML parser status " + std::to_string(error->code) +
                 ") at line " + std::to_string(error->line) + ", column " +
                 std::to_string(error->int2);
  }

  [[noreturn]] void Unreadable(xmlTextReaderPtr r, const std::string& why) {
    if (!why.empty())
      throw Error(eErr_ReqifUnreadable, kSource,
                  "The file " + path_ + " is not a ReqIF file: " + why + " (line " +
                      std::to_string(xmlTextReaderGetParserLineNumber(r)) + ", column " +
                      std::to_string(xmlTextReaderGetParserColumnNumber(r)) + ").");
    throw Error(
        eErr_ReqifUnreadable, kSource,
        "The file " + path_ + " is not well-formed XML: " +
            (error_.empty()
                 ? "the parser stopped at line " +
                       std::to_string(xmlTextReaderGetParserLineNumber(r)) + ", column " +
                       std::to_string(xmlTextReaderGetParserColumnNumber(r))
                 : error_) +
            ".");
  }

  static bool Handles(const std::string& name) {
    static const char* const kNames[] = {"REQ-IF-HEADER",      "SPEC-OBJECT-TYPE",
                                         "SPEC-RELATION-TYPE", "RELATION-GROUP-TYPE",
                                         "SPEC-OBJECT",        "SPEC-RELATION",
                                         "RELATION-GROUP",     "REQ-IF-TOOL-EXTENSION"};
    if (name.rfind("DATATYPE-DEFINITION-", 0) == 0) return true;
    for (const char* n : kNames)
      if (name == n) return true;
    return false;
  }

  void Handle(const std::string& name, const xmlNode* n) {
    if (name == "REQ-IF-HEADER") return Header(n);
    if (project_key_ == 0)
      throw Error(eErr_ReqifUnreadable, kSource,
                  "The file " + path_ + " is not a ReqIF file: " + Where(n) +
                      " comes before the REQ-IF-HEADER.");
    if (name.rfind("DATATYPE-DEFINITION-", 0) == 0) return DatatypeDefinition(n);
    if (name == "SPEC-OBJECT-TYPE") return ObjectTypeDefinition(n);
    if (name == "SPEC-RELATION-TYPE") return RelationType(n);
    if (name == "SPEC-OBJECT") return Object(n);
    if (name == "SPEC-RELATION") return Relation(n);
    if (name == "REQ-IF-TOOL-EXTENSION") return Note(kExtensions, Where(n));
    Note(kGroups, Where(n));
  }

  void Note(const std::string& kind, const std::string& example) {
    ReqifNote& note = summary_.skipped[kind];
    if (note.count++ == 0) note.first = example;
  }

  static std::string Table(const char* name) { return sql::Table(name); }

  // The GUID of an element: the one this tool wrote into |id|, else one
  // derived from the identifier.
  static std::string GuidOf(const std::string& id) {
    std::string guid = reqif::GuidOfId(id);
    return guid.empty() ? reqif::NameBasedGuid(id) : guid;
  }

  // A new key for |guid|, and the GUID to store (a new one for a copy).
  std::pair<int32_t, std::string> NewKey(const char* word, const std::string& guid) {
    return {keys_.GetNextDBKey(word, guid), guids_->GetGUID(guid)};
  }

  void Header(const xmlNode* n) {
    if (project_key_ != 0) return Note(kTwice, Where(n));
    const std::string id = Attr(n, "IDENTIFIER");
    const std::string repository = Content(Child(n, "REPOSITORY-ID"));
    // The repository is this project only in a file this tool wrote.
    std::string guid = reqif::IdOfGuid(repository) + "-header" == id ? repository : "";
    if (guid.empty()) guid = reqif::NameBasedGuid(id);
    std::string stored;
    std::tie(project_key_, stored) = NewKey("Project", guid);
    summary_.project_guid = stored;
    summary_.project_key = project_key_;
    project_id_ = reqif::IdOfGuid(guid);
    conn_.Run("INSERT INTO " + Table("qmProjects") +
                  " (ID, Name, Prefix, QMGUID, Description, DocumentWordFormat, "
                  "SecurityEnabled, "
                  "VersionNumber, VersionLabel, VersionReason, Flags) VALUES (?, ?, "
                  "NULL, ?, ?, 0, 0, "
                  "'1', '', '', 0)",
              {Variant(project_key_), Variant(sql::HostText(Content(Child(n, "TITLE")))),
               Variant(stored),
               Nullable(sql::HostText(xml::LineEnds(Content(Child(n, "COMMENT")))))});
  }

  static Variant Nullable(const std::string& text) {
    return text.empty() ? Variant::Null() : Variant(text);
  }

  void DatatypeDefinition(const xmlNode* n) {
    const std::string id = Attr(n, "IDENTIFIER");
    if (datatypes_.count(id)) return Note(kTwice, Where(n));
    Datatype& d = datatypes_[id];
    d.kind = KindOf(Name(n).substr(std::string_view("DATATYPE-DEFINITION-").size()));
    d.time = id == reqif::kTimeType;
    for (const xmlNode* v : Elements(Child(n, "SPECIFIED-VALUES"))) {
      const xmlNode* embedded = Child(Child(v, "PROPERTIES"), "EMBEDDED-VALUE");
      const std::string key = embedded ? Attr(embedded, "KEY") : "";
      d.values.push_back({Attr(v, "IDENTIFIER"), Attr(v, "LONG-NAME"),
                          reqif::IsInteger(key)
                              ? std::stoi(key)
                              : static_cast<int32_t>(d.values.size() + 1)});
    }
  }

  static Role RoleOf(const std::string& long_name) {
    if (long_name == reqif::kForeignId) return Role::kForeignId;
    if (long_name == reqif::kName) return Role::kName;
    if (long_name == reqif::kText) return Role::kText;
    if (long_name == reqif::kChapterName) return Role::kChapter;
    if (long_name == reqif::kDescription) return Role::kDescription;
    return Role::kField;
  }

  void ObjectTypeDefinition(const xmlNode* n) {
    const std::string id = Attr(n, "IDENTIFIER");
    if (object_types_.count(id)) return Note(kTwice, Where(n));
    ObjectType& t = object_types_[id];
    std::vector<std::pair<const xmlNode*, Attribute>> defs;
    bool chapter = false, text = false;
    for (const xmlNode* a : Elements(Child(n, "SPEC-ATTRIBUTES"))) {
      const std::string element = Name(a);
      Attribute attr;
      attr.kind =
          KindOf(element.substr(std::string_view("ATTRIBUTE-DEFINITION-").size()));
      attr.role = RoleOf(Attr(a, "LONG-NAME"));
      attr.multi = Attr(a, "MULTI-VALUED") == "true" || Attr(a, "MULTI-VALUED") == "1";
      chapter = chapter || attr.role == Role::kChapter;
      text = text || attr.role == Role::kText;
      defs.emplace_back(a, attr);
    }
    // Without ReqIF.Text the first formatted, else the first plain text
    // attribute holds the requirement's text; a type with a chapter name
    // and no text is a heading type.
    if (!text) {
      for (Kind k : {Kind::kXhtml, Kind::kString}) {
        auto it = std::find_if(defs.begin(), defs.end(), [k](const auto& d) {
          return d.second.role == Role::kField && d.second.kind == k;
        });
        if (it == defs.end()) continue;
        it->second.role = Role::kText;
        text = true;
        break;
      }
    }
    const bool heading = chapter && !text;
    if (!heading) {
      const std::string guid = GuidOf(id);
      std::string stored;
      std::tie(t.key, stored) = NewKey("RequirementType", guid);
      conn_.Run(
          "INSERT INTO " + Table("qmRequirementTypes") +
              " (ID, NAME, DESCRIPTION, RequirementPrefix, RequirementColor, "
              "RequirementStyle, "
              "RequirementMustContain, InitialReqNumber, LastReqNumber, "
              "AllowExternalReferences, QMGUID) VALUES (?, ?, ?, '', 0, 1, '', 1, 0, 0, "
              "?)",
          {Variant(t.key), Variant(sql::HostText(Attr(n, "LONG-NAME"))),
           Nullable(sql::HostText(xml::LineEnds(Attr(n, "DESC")))), Variant(stored)});
      conn_.Run("INSERT INTO " + Table("qmProjectRequirementTypes") +
                    " (PROJECTID, REQUIREMENTTYPEID) VALUES (?, ?)",
                {Variant(project_key_), Variant(t.key)});
    }
    for (auto& [a, attr] : defs) {
      const std::string attr_id = Attr(a, "IDENTIFIER");
      if (attr.role == Role::kDescription && !heading) attr.role = Role::kField;
      if (attr.role == Role::kField && !heading) {
        const std::string datatype = RefOf(a, "TYPE");
        auto d = datatypes_.find(datatype);
        if (d == datatypes_.end()) {
          Note(kUndefined, Where(a) + " names the data type \"" + datatype + "\"");
          continue;
        }
        attr.field = FieldOf(a, attr, d->second);
        conn_.Run("INSERT INTO " + Table("qmRequirementTypeFields") +
                      " (REQUIREMENTTYPEID, USERDEFINEDFIELDID) VALUES (?, ?)",
                  {Variant(t.key), Variant(attr.field->key)});
      }
      if (!t.attributes.emplace(attr_id, attr).second) Note(kTwice, Where(a));
    }
  }

  // The attribute an ATTRIBUTE-DEFINITION stands for: one per definition,
  // except that the definitions this tool wrote of one attribute on
  // several types are that one attribute.
  Field* FieldOf(const xmlNode* a, const Attribute& attr, const Datatype& d) {
    const std::string id = Attr(a, "IDENTIFIER");
    std::string guid = reqif::SecondGuidOfPair(id);
    if (guid.empty()) guid = reqif::NameBasedGuid(id);
    auto [it, added] =
        fields_.try_emplace(frame::IsGuidShaped(guid) ? FoldCase(guid) : guid);
    Field& f = it->second;
    if (!added) return &f;
    f.kind = d.kind == Kind::kOther ? Kind::kString : d.kind;
    f.data_type = d.kind == Kind::kInteger       ? kInteger
                  : d.kind == Kind::kReal        ? kReal
                  : d.kind == Kind::kDate        ? kDate
                  : d.kind == Kind::kEnumeration ? (attr.multi ? kMulti : kList)
                  : d.time                       ? kTime
                                                 : kText;
    std::string stored;
    std::tie(f.key, stored) = NewKey("UserDefinedField", guid);
    conn_.Run(
        "INSERT INTO " + Table("qmUserDefinedFields") +
            " (ID, Label, Rank, AutoSuspect, Required, DataType, DefaultValue, FLAGS, "
            "DESCRIPTION, FieldProperties, QMGUID) VALUES (?, ?, ?, 0, 0, ?, '', 0, ?, "
            "'', ?)",
        {Variant(f.key), Variant(sql::HostText(Attr(a, "LONG-NAME"))), Variant(f.key),
         Variant(f.data_type), Variant(sql::HostText(Attr(a, "DESC"))), Variant(stored)});
    for (const EnumValue& v : d.values) {
      // An enumeration shared by several attributes gives each its own items.
      std::string item_guid = reqif::GuidOfId(v.id);
      if (item_guid.empty() || !item_guids_.insert(FoldCase(item_guid)).second)
        item_guid = reqif::NameBasedGuid(id + "/" + v.id);
      auto [key, item_stored] = NewKey("UserDefinedListItem", item_guid);
      conn_.Run(
          "INSERT INTO " + Table("qmUserDefinedListItems") +
              " (ITEMID, FIELDID, ItemText, ItemRank, QMGUID) VALUES (?, ?, ?, ?, ?)",
          {Variant(key), Variant(f.key), Variant(sql::HostText(v.name)), Variant(v.key),
           Variant(item_stored)});
      f.items[v.id] = key;
    }
    return &f;
  }

  void RelationType(const xmlNode* n) {
    const std::string id = Attr(n, "IDENTIFIER");
    if (relation_types_.count(id)) return Note(kTwice, Where(n));
    const std::string prefix = reqif::kTraceTypePrefix;
    int32_t type = static_cast<int32_t>(relation_types_.size());
    if (id.rfind(prefix, 0) == 0 && reqif::IsInteger(id.substr(prefix.size())))
      type = std::stoi(id.substr(prefix.size()));
    relation_types_[id] = type;
  }

  // ---- objects ----

  struct Values {
    std::string foreign_id, name, text, chapter, description;
    bool has_text = false;
  };

  void Object(const xmlNode* n) {
    const std::string id = Attr(n, "IDENTIFIER");
    if (objects_.count(id) || headings_.count(id)) return Note(kTwice, Where(n));
    const std::string type_id = RefOf(n, "TYPE");
    auto t = object_types_.find(type_id);
    if (t == object_types_.end())
      return Note(kNoType, Where(n) + " names the type \"" + type_id + "\"");
    ObjectType& type = t->second;
    embedded_.clear();
    Values v;
    std::vector<std::pair<const Attribute*, const xmlNode*>> fields;
    for (const xmlNode* value : Elements(Child(n, "VALUES"))) {
      const std::string def = RefOf(value, "DEFINITION");
      auto a = type.attributes.find(def);
      if (a == type.attributes.end()) {
        Note(kUndefined, Where(n) + " names the attribute \"" + def + "\"");
        continue;
      }
      const Attribute& attr = a->second;
      switch (attr.role) {
        case Role::kField:
          if (attr.field != nullptr) fields.emplace_back(&attr, value);
          break;
        case Role::kForeignId:
          v.foreign_id = Attr(value, "THE-VALUE");
          break;
        case Role::kName:
          v.name = ValueText(value);
          break;
        case Role::kText:
          v.text = ValueText(value);
          v.has_text = true;
          break;
        case Role::kChapter:
          v.chapter = ValueText(value);
          break;
        case Role::kDescription:
          v.description = ValueText(value);
          break;
      }
    }
    if (type.key == 0 || (!v.chapter.empty() && v.text.empty())) {
      headings_[id] = {GuidOf(id), v.chapter.empty() ? Attr(n, "LONG-NAME") : v.chapter,
                       v.description, 0};
      if (!embedded_.empty()) Note(kObjects, Where(n));
      return;
    }
    if (v.name.empty()) v.name = Attr(n, "LONG-NAME");
    const int32_t key = Requirement(n, id, type, v);
    for (const auto& [attr, value] : fields) FieldValue(n, key, *attr, value);
    for (const Embedded& e : embedded_) Attach(n, id, key, e);
  }

  // The file an <xhtml:object> names in the archive, as a resource of the
  // requirement |key|: its GUID from the folder "Resources/<GUID>/" this
  // tool writes, else one derived from the object and the file; its name
  // the object's content, else the file's; its type the object's, else one
  // the file's extension gives.
  void Attach(const xmlNode* n, const std::string& id, int32_t key, const Embedded& e) {
    if (archive_ == nullptr) return Note(kObjects, Where(n));
    const std::string entry = reqif::PercentDecoded(e.data);
    std::vector<uint8_t> bytes;
    if (!reqif::IsSafeEntryName(entry) || !archive_->ReadEntry(entry, &bytes))
      return Note(kNoAttachment, Where(n) + " names \"" + e.data + "\"");
    const size_t slash = entry.rfind('/');
    const std::string file = entry.substr(slash == std::string::npos ? 0 : slash + 1);
    std::string guid;
    if (entry.rfind("Resources/", 0) == 0 && slash != std::string::npos)
      guid = frame::FileGuid(entry.substr(10, slash - 10));
    if (guid.empty() || !resource_guids_.insert(FoldCase(guid)).second)
      guid = reqif::NameBasedGuid(id + "/" + entry);
    const std::string name = e.name.empty() ? file : e.name;
    auto [resource, stored] = NewKey("Resource", guid);
    conn_.Run("INSERT INTO " + Table("QmResources") +
                  " (ID, NAME, TYPE, REQUIREMENTID, RESOURCEOBJ, QMGUID, Flags, "
                  "VERSIONDATETIME) VALUES (?, ?, ?, ?, ?, ?, 0, ?)",
              {Variant(resource), Variant(sql::HostText(name)),
               Variant(sql::HostText(e.type.empty() ? reqif::MimeTypeOf(file) : e.type)),
               Variant(key), Variant(std::move(bytes)), Variant(stored),
               Nullable(reqif::StoredDateTime(Attr(n, "LAST-CHANGE")))});
  }

  // The text of a value element: THE-VALUE, as plain text for XHTML.
  std::string ValueText(const xmlNode* value) {
    if (Name(value) != "ATTRIBUTE-VALUE-XHTML") return Attr(value, "THE-VALUE");
    PlainText plain;
    plain.Walk(Child(value, "THE-VALUE"), false);
    for (Embedded& e : plain.objects) embedded_.push_back(std::move(e));
    return plain.Result();
  }

  int32_t Requirement(const xmlNode* n, const std::string& id, ObjectType& type,
                      const Values& v) {
    // ForeignID: the tag prefix, then the tag number.
    size_t digits = v.foreign_id.size();
    while (digits > 0 &&
           std::isdigit(static_cast<unsigned char>(v.foreign_id[digits - 1])))
      --digits;
    int32_t tag = 0;
    std::string prefix = type.prefix;
    if (digits < v.foreign_id.size() && v.foreign_id.size() - digits <= 9) {
      tag = std::stoi(v.foreign_id.substr(digits));
      prefix = v.foreign_id.substr(0, digits);
    } else {
      tag = type.last_tag + 1;
    }
    type.last_tag = std::max(type.last_tag, tag);
    if (!type.prefix_set) {
      type.prefix_set = true;
      type.prefix = prefix;
      conn_.Run("UPDATE " + Table("qmRequirementTypes") +
                    " SET RequirementPrefix = ? WHERE ID = ?",
                {Variant(sql::HostText(prefix)), Variant(type.key)});
    }
    auto [key, stored] = NewKey("Requirement", GuidOf(id));
    objects_[id] = key;
    if (objects_.size() % 10000 == 0 && options_.progress)
      options_.progress(std::to_string(objects_.size()) + " requirements");
    const std::string text = xml::LineEnds(v.text);
    const int64_t capacity = text_capacity_ / 2 * 2;
    const bool overflow =
        static_cast<int64_t>(movers::CodePageByteCount(text, code_page_)) > capacity;
    char long_tag[16];
    std::snprintf(long_tag, sizeof long_tag, "%08d", tag);
    const std::string when = reqif::StoredDateTime(Attr(n, "LAST-CHANGE"));
    conn_.Run(
        "INSERT INTO " + Table("qmRequirements") +
            " (ID, RequirementTypeID, Tag, LastChildTag, DocumentPosition, "
            "LongTagNumber, "
            "RequirementPrefix, RequirementName, RequirementText, OverflowIND, Deleted, "
            "VersionNumber, VersionLabel, VersionDateTime, VersionReason, QMGUID, Flags, "
            "LastDocText) VALUES (?, ?, ?, 0, 0, ?, ?, ?, ?, ?, 0, '1', '', ?, '', ?, 0, "
            "0)",
        {Variant(key), Variant(type.key), Variant(tag), Variant(std::string(long_tag)),
         Variant(sql::HostText(prefix)), Nullable(sql::HostText(v.name)),
         Nullable(sql::HostText(
             overflow ? Utf16Prefix(text, static_cast<size_t>(capacity / 2)) : text)),
         Variant(int32_t{overflow ? 1 : 0}), Nullable(when), Variant(stored)});
    if (overflow)
      conn_.Run("INSERT INTO " + Table("QmOverflowText") +
                    " (OverFlowID, OverflowText) VALUES (?, ?)",
                {Variant(key), Variant(text)});
    conn_.Run("INSERT INTO " + Table("qmProjectRequirements") +
                  " (ProjectID, RequirementID) VALUES (?, ?)",
              {Variant(project_key_), Variant(key)});
    return key;
  }

  void FieldValue(const xmlNode* object, int32_t key, const Attribute& attr,
                  const xmlNode* value) {
    Field& f = *attr.field;
    if (f.kind == Kind::kEnumeration) return ListValues(object, key, attr, value);
    std::string text = ValueText(value);
    double number = 0.0;
    bool fits = true;
    switch (f.data_type) {
      case kInteger:
      case kReal:
        fits = f.data_type == kInteger ? reqif::IsInteger(text) : reqif::IsReal(text);
        if (fits) number = std::strtod(text.c_str(), nullptr);
        break;
      case kDate: {
        const std::string stored = reqif::StoredDateTime(text);
        fits = !stored.empty();
        if (!fits) break;
        text = stored.substr(11) == "00:00:00" ? stored.substr(0, 10) : stored;
        number =
            MakeDate(std::stoi(stored.substr(0, 4)), std::stoi(stored.substr(5, 2)),
                     std::stoi(stored.substr(8, 2)), std::stoi(stored.substr(11, 2)),
                     std::stoi(stored.substr(14, 2)), std::stoi(stored.substr(17, 2)))
                .days;
        break;
      }
      case kTime: {
        const std::string iso = reqif::IsoDateTime("2000-01-01 " + text);
        fits = !iso.empty();
        if (fits)
          number = (std::stoi(text.substr(0, 2)) * 3600 +
                    std::stoi(text.substr(3, 2)) * 60 + std::stoi(text.substr(6, 2))) /
                   86400.0;
        break;
      }
      default:
        break;
    }
    if (!fits) return Note(kNotFitting, Where(object) + ": \"" + text + "\"");
    const bool overflow = static_cast<int64_t>(Utf16Length(text)) > value_capacity_;
    conn_.Run("INSERT INTO " + Table("qmUserDefinedFieldValues") +
                  " (REQUIREMENTID, FIELDID, FieldValue, OVERFLOWIND, NumericValue) "
                  "VALUES (?, ?, ?, ?, ?)",
              {Variant(key), Variant(f.key),
               Variant(overflow ? Utf16Prefix(text, static_cast<size_t>(value_capacity_))
                                : text),
               Variant(int32_t{overflow ? 1 : 0}), Variant(number)});
    if (overflow)
      conn_.Run("INSERT INTO " + Table("QmOverflowValues") +
                    " (OverFlowRequirementID, OverFlowFieldID, OverflowFieldValue) "
                    "VALUES (?, ?, ?)",
                {Variant(key), Variant(f.key), Variant(text)});
  }

  void ListValues(const xmlNode* object, int32_t key, const Attribute& attr,
                  const xmlNode* value) {
    int n = 0;
    for (const xmlNode* ref : Elements(Child(value, "VALUES"))) {
      const std::string id = Content(ref);
      auto item = attr.field->items.find(id);
      if (item == attr.field->items.end()) {
        Note(kOutside, Where(object) + " names \"" + id + "\"");
        continue;
      }
      if (n++ > 0 && attr.field->data_type == kList) {
        Note(kManyValues, Where(object));
        break;
      }
      conn_.Run("INSERT INTO " + Table("qmUserDefinedListValues") +
                    " (RequirementID, FieldID, ListItemID) VALUES (?, ?, ?)",
                {Variant(key), Variant(attr.field->key), Variant(item->second)});
    }
  }

  // ---- relations and specifications ----

  void Relation(const xmlNode* n) {
    const std::string id = Attr(n, "IDENTIFIER");
    if (!relations_.insert(id).second) return Note(kTwice, Where(n));
    int32_t ends[2] = {0, 0};
    const char* sides[2] = {"SOURCE", "TARGET"};
    for (int i = 0; i < 2; ++i) {
      const std::string ref = RefOf(n, sides[i]);
      auto o = objects_.find(ref);
      if (o != objects_.end()) {
        ends[i] = o->second;
        continue;
      }
      Note(headings_.count(ref) ? kHeadingRelations : kUndefined,
           Where(n) + " names \"" + ref + "\" as its " + sides[i]);
      return;
    }
    const std::string type_id = RefOf(n, "TYPE");
    auto type = relation_types_.find(type_id);
    if (type == relation_types_.end())
      return Note(kUndefined, Where(n) + " names the relation type \"" + type_id + "\"");
    if (!Elements(Child(n, "VALUES")).empty()) Note(kSpecValues, Where(n));
    conn_.Run(
        "INSERT INTO " + Table("QmToRelationships") +
            " (RequirementID, ExternalProjectID, ToID, ExternalProjectToID, State, Type, "
            "Name, VersionDateTime) VALUES (?, 0, ?, 0, 0, ?, '', ?)",
        {Variant(ends[0]), Variant(ends[1]), Variant(type->second),
         Nullable(reqif::StoredDateTime(Attr(n, "LAST-CHANGE")))});
  }

  int32_t Package(const std::string& guid, const std::string& name,
                  const std::string& description, int32_t parent) {
    auto [key, stored] = NewKey("Package", guid);
    conn_.Run("INSERT INTO " + Table("QmPackages") +
                  " (ID, PROJECTID, NAME, DESCRIPTION, QMGUID, PARENTID) VALUES (?, ?, "
                  "?, ?, ?, ?)",
              {Variant(key), Variant(project_key_), Nullable(sql::HostText(name)),
               Nullable(sql::HostText(xml::LineEnds(description))), Variant(stored),
               parent == 0 ? Variant::Null() : Variant(parent)});
    return key;
  }

  // A SPECIFICATION is read node by node, not expanded: its hierarchy can
  // be as large as the file's objects. Returns the reader's state after
  // its end.
  struct Node {
    std::string where;
    int32_t package = 0;  // where the node's object goes
    int32_t inner = 0;    // where its children go
    bool placed = false;
  };

  static std::string ReaderAttr(xmlTextReaderPtr r, const char* name) {
    xmlChar* v = xmlTextReaderGetAttribute(r, BAD_CAST name);
    if (v == nullptr) return "";
    std::string out = reinterpret_cast<const char*>(v);
    xmlFree(v);
    return out;
  }

  static std::string ReaderWhere(xmlTextReaderPtr r, const char* name) {
    std::string out(1, '<');
    out.append(name);
    const std::string id = ReaderAttr(r, "IDENTIFIER");
    if (!id.empty()) out.append(" IDENTIFIER=\"").append(id).append("\"");
    out.append("> at line ").append(std::to_string(xmlTextReaderGetParserLineNumber(r)));
    return out;
  }

  int Specification(xmlTextReaderPtr r) {
    const std::string id = ReaderAttr(r, "IDENTIFIER");
    if (xmlTextReaderIsEmptyElement(r) == 1) return xmlTextReaderRead(r);
    const bool twice = !specifications_.insert(id).second;
    if (twice) Note(kTwice, ReaderWhere(r, "SPECIFICATION"));
    int32_t package = 0;
    if (twice) {
      // Its nodes are read and let go.
    } else if (id == project_id_) {
      // The project's own: its time stamp is the project's.
      conn_.Run("UPDATE " + Table("qmProjects") + " SET VersionDateTime = ? WHERE ID = ?",
                {Nullable(reqif::StoredDateTime(ReaderAttr(r, "LAST-CHANGE"))),
                 Variant(project_key_)});
    } else {
      package = Package(GuidOf(id), ReaderAttr(r, "LONG-NAME"), ReaderAttr(r, "DESC"), 0);
    }
    std::vector<Node> nodes;
    bool in_object = false;
    int rc = xmlTextReaderRead(r);
    for (; rc == 1; rc = xmlTextReaderRead(r)) {
      const int type = xmlTextReaderNodeType(r);
      const std::string name =
          reinterpret_cast<const char*>(xmlTextReaderConstLocalName(r));
      if (type == XML_READER_TYPE_END_ELEMENT) {
        if (name == "SPECIFICATION") break;
        if (name == "OBJECT") in_object = false;
        if (name == "SPEC-HIERARCHY") EndNode(nodes);
        continue;
      }
      if (type != XML_READER_TYPE_ELEMENT || twice) continue;
      const bool empty = xmlTextReaderIsEmptyElement(r) == 1;
      if (name == "SPEC-HIERARCHY") {
        const int32_t parent = nodes.empty() ? package : nodes.back().inner;
        nodes.push_back({ReaderWhere(r, "SPEC-HIERARCHY"), parent, parent, false});
        if (empty) EndNode(nodes);
      } else if (name == "OBJECT") {
        in_object = !empty;
      } else if (name == "SPEC-OBJECT-REF" && in_object && !nodes.empty()) {
        xmlChar* text = xmlTextReaderReadString(r);
        Place(nodes.back(), Trimmed(reinterpret_cast<const char*>(text)));
        xmlFree(text);
      } else if (name == "CHILDREN" && !nodes.empty() && !nodes.back().placed && !empty) {
        Note(kChildrenFirst, nodes.back().where);
      } else if (name == "VALUES" && nodes.empty() && !empty) {
        Note(kSpecValues, ReaderWhere(r, "SPECIFICATION"));
      }
    }
    return rc == 1 ? xmlTextReaderRead(r) : rc;
  }

  void EndNode(std::vector<Node>& nodes) {
    if (nodes.empty()) return;
    if (!nodes.back().placed) Note(kUndefined, nodes.back().where + " names no object");
    nodes.pop_back();
  }

  void Place(Node& node, const std::string& ref) {
    node.placed = true;
    if (auto h = headings_.find(ref); h != headings_.end()) {
      Heading& heading = h->second;
      if (heading.package != 0)
        Note(kHeadingTwice, node.where);
      else
        heading.package =
            Package(heading.guid, heading.name, heading.description, node.package);
      node.inner = heading.package;
    } else if (auto o = objects_.find(ref); o != objects_.end()) {
      if (node.package != 0 && members_.insert({node.package, o->second}).second)
        conn_.Run("INSERT INTO " + Table("QmPackageElements") +
                      " (PACKAGEID, REQUIREMENTID) VALUES (?, ?)",
                  {Variant(node.package), Variant(o->second)});
    } else {
      Note(kUndefined, node.where + " names \"" + ref + "\"");
    }
  }

  void Finish() {
    for (const auto& [id, t] : object_types_)
      if (t.key != 0)
        conn_.Run("UPDATE " + Table("qmRequirementTypes") +
                      " SET LastReqNumber = ? WHERE ID = ?",
                  {Variant(t.last_tag), Variant(t.key)});
    for (const auto& [id, h] : headings_)
      if (h.package == 0)
        Note(kLooseHeadings, "the heading \"" + h.name + "\" (" + id + ")");
  }

  Connection& conn_;
  KeyMap& keys_;
  const ReqifImportOptions& options_;
  ReqifImportSummary& summary_;
  std::unique_ptr<frame::iGUID> guids_;
  std::string path_, error_, project_id_;
  int32_t project_key_ = 0;
  int64_t text_capacity_ = DatabaseContainer().OverflowRequirementTextSize;
  int64_t value_capacity_ = DatabaseContainer().OverflowFieldValueSize;
  int32_t code_page_ = DatabaseContainer().CodePage;
  std::unordered_map<std::string, Datatype> datatypes_;
  std::unordered_map<std::string, ObjectType> object_types_;
  std::unordered_map<std::string, Field> fields_;
  std::unordered_set<std::string> item_guids_;
  std::unordered_map<std::string, int32_t> relation_types_;
  std::unordered_map<std::string, int32_t> objects_;
  std::unordered_map<std::string, Heading> headings_;
  std::unordered_set<std::string> relations_, specifications_;
  std::set<std::pair<int32_t, int32_t>> members_;
  std::unique_ptr<reqif::ArchiveReader> archive_;
  std::vector<Embedded> embedded_;  // of the object being read
  std::unordered_set<std::string> resource_guids_;
};

}  // namespace

ReqifImportSummary ImportReqif(const std::string& file, const DatabaseLocator& db,
                               const ReqifImportOptions& options) {
  if (!xml::FileExists(file))
    throw Error(eErr_FileNotFound, kSource, "There is no ReqIF file " + file + ".");
  // Opens (or creates) the database inside the import's one transaction:
  // what a failed import created goes with its rollback, and nothing else.
  ProjectWrite write(db, options.lock_wait_ms);
  Connection& conn = *write.Conn();
  KeyMap keys(&conn);
  keys.DeferCounterWrites();
  keys.SetIdentityCheck(transfer::IdentityCheck(&conn, !options.new_guids));

  ReqifImportSummary summary;
  const auto before = transfer::RowCounts(conn);
  if (options.progress) options.progress("read " + file);
  Importer(conn, keys, options, &summary).Read(file);
  keys.Flush();
  if (options.strict && !summary.skipped.empty()) {
    long total = 0;
    for (const auto& [kind, note] : summary.skipped) total += note.count;
    const auto& [kind, note] = *summary.skipped.begin();
    throw Error(eErr_ReqifSkipped, kSource,
                "The file " + file + " holds " + std::to_string(total) +
                    " thing(s) the import skipped or cannot carry (" + kind + ": " +
                    std::to_string(note.count) + ", first " + note.first + ").");
  }
  for (const auto& [table, n] : transfer::RowCounts(conn)) {
    const long added = n - (before.count(table) ? before.at(table) : 0);
    if (added != 0) summary.rows_added[table] = added;
  }
  // Another import gave a new database file its name first: this one runs
  // again, into that database, as if it had started after it.
  if (!write.Commit()) return ImportReqif(file, db, options);
  return summary;
}

}  // namespace qmxml
