// ReqIF export: one project (or some of its packages) as a ReqIF 1.2 file,
// written streaming through a buffered writer of its own, or as a .reqifz
// archive of that file and the requirements' resources. The requirements
// and their values are read in slices of requirement keys, so memory holds
// one slice besides the project's structure, package tree and members, its
// traces and the identifiers of the requirements written.
//
// Order: everything is written in an order that an import of the file
// gives back, so that the export of the imported project is the same
// bytes: requirement types, requirements and traces in key order (an
// import issues keys in file order), packages in tree order with siblings
// by key, attributes by GUID, list items by rank.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "movers/baseline/BaseCompWriteXML.h"
#include "movers/content/PackageXml.h"
#include "qmxml/Application.h"
#include "qmxml/Collection.h"
#include "qmxml/Error.h"
#include "qmxml/Output.h"
#include "qmxml/ProjectDatabase.h"
#include "qmxml/Reqif.h"
#include "qmxml/Variant.h"
#include "reqif/ReqifArchive.h"
#include "reqif/ReqifNames.h"
#include "frame/Guid.h"
#include "transfer/TransferSteps.h"
#include "xml/XmlDoc.h"
#include "xml/Files.h"

namespace qmxml {
namespace {

constexpr const char* kSource = "ReqifExport";
constexpr int32_t kSlice = 2000;

using namespace reqif::field_type;

struct Item {
  std::string guid, text;
  int32_t rank = 0;
};
struct Field {
  int32_t key = 0, data_type = kText;
  std::string guid, label, description;
  std::vector<Item> items;
};
struct Type {
  int32_t key = 0;
  std::string guid, name, description;
  std::vector<const Field*> fields;  // by GUID
  // Identifiers made once: the type's, and its attribute definitions'
  // (defs[i] is that of fields[i]).
  std::string id, foreign_id_def, name_def, text_def;
  std::vector<std::string> defs;
};
struct Package {
  int32_t key = 0, parent = 0;
  std::string guid, name, description;
  std::vector<int32_t> children;      // package keys, ascending
  std::vector<int32_t> requirements;  // requirement keys, ascending
};

std::string FoldedGuid(std::string g) {
  for (char& c : g) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return g;
}

// The XML writer, with the checks the schema cannot make: every IDENTIFIER
// is written once, and every reference names one written before it (the
// file defines everything before it is referenced).
//
// It writes what libxml2's text writer would (the files of earlier
// versions are the same bytes): a start tag stays open until content or
// the end comes ("<X/>" when none does); attributes escape < > & " and tab,
// CR and LF as character references, content < > & " and CR. Escaped
// straight into one buffer that is handed to the file a megabyte at a
// time: the text writer's calls per element and its 4 KB writes cost more
// than the rest of the export.
class Writer {
 public:
  explicit Writer(const std::string& path) : file_(std::fopen(path.c_str(), "wb")) {
    if (file_ == nullptr)
      throw Error(eErr_FileNotFound, kSource, "Cannot create the file " + path + ".");
    out_.reserve(kFlushAt + (64 << 10));
    ids_.reserve(1 << 16);
  }
  ~Writer() {
    if (file_ != nullptr) std::fclose(file_);
  }
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  void StartDocument() { out_ += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"; }
  void EndDocument() {
    while (!open_.empty()) End();
    out_ += '\n';
    Flush();
    FILE* f = file_;
    file_ = nullptr;
    if (std::fclose(f) != 0) Failed();
  }
  // A new line before an element where whitespace does not count.
  void Line() {
    CloseTag();
    out_ += '\n';
  }
  // |name| must stay as it is until the element ends.
  void Start(std::string_view name) {
    CloseTag();
    out_ += '<';
    out_ += name;
    open_.push_back(name);
    tag_open_ = true;
    if (out_.size() >= kFlushAt) Flush();
  }
  void End() {
    const std::string_view name = open_.back();
    if (tag_open_) {
      out_ += "/>";
    } else {
      out_ += "</";
      out_ += name;
      out_ += '>';
    }
    tag_open_ = false;
    open_.pop_back();
  }
  void Attr(const char* name, std::string_view value) {
    out_ += ' ';
    out_ += name;
    out_ += "=\"";
    Escaped(Carried(value), true);
    out_ += '"';
  }
  void Text(std::string_view value) {
    CloseTag();
    Escaped(Carried(value), false);
  }
  void Element(const char* name, std::string_view value) {
    Start(name);
    Text(value);
    End();
  }
  // IDENTIFIER, LAST-CHANGE and LONG-NAME of an identifiable element.
  void Identity(const std::string& id, const std::string& last_change,
                std::string_view long_name) {
    if (id.size() < 2 || !ids_.insert(id).second)
      throw Error(eErr_ReqifReference, kSource,
                  "The export would write the IDENTIFIER \"" + id + "\" " +
                      (id.size() < 2 ? "empty" : "twice") +
                      " (its GUID is missing or repeated).");
    Attr("IDENTIFIER", id);
    Attr("LAST-CHANGE", last_change);
    if (!long_name.empty()) Attr("LONG-NAME", long_name);
  }
  // <ref>id</ref>, naming an element written before.
  void RefElement(const char* ref, const std::string& id) {
    if (ids_.count(id) == 0)
      throw Error(eErr_ReqifReference, kSource,
                  "The export would reference \"" + id + "\" in <" + ref +
                      "> before or without writing it.");
    Element(ref, id);
  }
  // <outer><ref>id</ref></outer>.
  void Ref(const char* outer, const char* ref, const std::string& id) {
    Start(outer);
    RefElement(ref, id);
    End();
  }
  long CleanedTexts() const { return cleaned_; }

 private:
  static constexpr size_t kFlushAt = size_t{1} << 20;

  [[noreturn]] static void Failed() {
    throw Error(eErr_FileNotFound, kSource, "Cannot write the ReqIF file (disk full?).");
  }
  void Flush() {
    if (!out_.empty() && std::fwrite(out_.data(), 1, out_.size(), file_) != out_.size())
      Failed();
    out_.clear();
  }
  void CloseTag() {
    if (!tag_open_) return;
    out_ += '>';
    tag_open_ = false;
  }

  // |text| as XML 1.0 carries it: code 26 (how the host stores "|") as "|";
  // other control characters are left out, and counted.
  std::string_view Carried(std::string_view text) {
    const bool plain = std::all_of(text.begin(), text.end(), [](char c) {
      return static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n' || c == '\r';
    });
    if (plain) return text;
    scratch_ = movers::baseline::CarriedText(text);
    if (scratch_.size() != text.size()) ++cleaned_;
    return scratch_;
  }

  void Escaped(std::string_view text, bool attribute) {
    size_t done = 0;
    for (size_t i = 0; i < text.size(); ++i) {
      const char* with = nullptr;
      switch (text[i]) {
        case '<': with = "&lt;"; break;
        case '>': with = "&gt;"; break;
        case '&': with = "&amp;"; break;
        case '"': with = "&quot;"; break;
        case '\r': with = "&#13;"; break;
        case '\n': with = attribute ? "&#10;" : nullptr; break;
        case '\t': with = attribute ? "&#9;" : nullptr; break;
        default: break;
      }
      if (with == nullptr) continue;
      out_.append(text, done, i - done);
      out_ += with;
      done = i + 1;
    }
    out_.append(text, done, text.size() - done);
  }

  FILE* file_ = nullptr;
  std::string out_, scratch_;
  std::vector<std::string_view> open_;  // names of the open elements
  bool tag_open_ = false;
  std::unordered_set<std::string> ids_;
  long cleaned_ = 0;
};

// A requirement resource in a .reqifz: the resource's key, and its entry
// "Resources/<GUID>/<name>" in the archive.
struct Attachment {
  int32_t key = 0;
  std::string entry;
};

class Exporter {
 public:
  // With |archive| the requirements' resources become attachments, named
  // from the texts with <xhtml:object>; without, they are not carried.
  Exporter(Connection& conn, const ReqifExportOptions& options, bool archive,
           ReqifExportSummary* summary)
      : conn_(conn), options_(options), summary_(*summary), archive_(archive) {}

  const std::vector<Attachment>& Attachments() const { return attachments_; }

  void Run(const std::string& path) {
    transfer::ExportContext ctx;
    transfer::ChooseProject(conn_, options_.project, &ctx, &summary_.project_name);
    project_key_ = ctx.project_key;
    summary_.project_guid = ctx.project_guid;
    LoadProject();
    LoadStructure();
    LoadPackages();
    LoadTraces();
    Tell("write " + path);
    Writer w(path);
    w.StartDocument();
    w.Start("REQ-IF");
    w.Attr("xmlns", reqif::kNamespace);
    w.Attr("xmlns:xhtml", reqif::kXhtmlNamespace);
    WriteHeader(w);
    w.Line();
    w.Start("CORE-CONTENT");
    w.Start("REQ-IF-CONTENT");
    WriteDatatypes(w);
    WriteSpecTypes(w);
    WriteObjects(w);
    Tell("relations");
    WriteRelations(w);
    Tell("package hierarchy");
    WriteSpecification(w);
    w.End();
    w.End();
    w.Line();
    w.End();
    w.EndDocument();
    if (w.CleanedTexts() > 0)
      Note("texts with control characters XML 1.0 cannot carry (left out of the text)",
           std::to_string(w.CleanedTexts()) + " text(s)", w.CleanedTexts());
  }

 private:
  void Tell(const std::string& what) const {
    if (options_.progress) options_.progress(what);
  }
  void Count(const std::string& kind, long n = 1) { summary_.written[kind] += n; }
  void Note(const std::string& kind, const std::string& example, long n = 1) {
    ReqifNote& note = summary_.left_out[kind];
    if (note.count == 0) note.first = example;
    note.count += n;
  }

  std::string Id(const std::string& guid) const { return reqif::IdOfGuid(guid); }
  std::string Time(const Variant& stored) const {
    std::string iso = reqif::IsoDateTime(stored.ToText());
    return iso.empty() ? project_time_ : iso;
  }

  void LoadProject() {
    auto rs = conn_.Query("SELECT Name, Description, VersionDateTime FROM " +
                              Table("qmProjects") + " WHERE ID = ?",
                          {Variant(project_key_)});
    project_description_ = rs->Value("Description").ToText();
    project_time_ = reqif::IsoDateTime(rs->Value("VersionDateTime").ToText());
    if (project_time_.empty()) project_time_ = "2000-01-01T00:00:00";
    project_id_ = Id(summary_.project_guid);
    if (project_id_.empty())
      throw Error(eErr_ReqifReference, kSource,
                  "The project's GUID \"" + summary_.project_guid + "\" is not a GUID.");
  }

  static std::string Table(const char* name) { return std::string(kTableMarker) + name; }

  void LoadStructure() {
    auto fields = conn_.Query(
        "SELECT DISTINCT f.ID, f.QMGUID, f.Label, f.DataType, f.DESCRIPTION FROM " +
            Table("qmUserDefinedFields") + " f JOIN " + Table("qmRequirementTypeFields") +
            " l ON l.USERDEFINEDFIELDID = f.ID JOIN " +
            Table("qmProjectRequirementTypes") +
            " pt ON pt.REQUIREMENTTYPEID = l.REQUIREMENTTYPEID WHERE pt.PROJECTID = ?",
        {Variant(project_key_)});
    for (; !fields->IsEOF(); fields->MoveNext()) {
      Field f;
      f.key = fields->Value("ID").ToLong();
      f.guid = fields->Value("QMGUID").ToText();
      f.label = fields->Value("Label").ToText();
      f.data_type = fields->Value("DataType").ToLong();
      f.description = fields->Value("DESCRIPTION").ToText();
      fields_[f.key] = std::move(f);
    }
    auto items =
        conn_.Query("SELECT i.ITEMID, i.FIELDID, i.QMGUID, i.ItemText, i.ItemRank FROM " +
                    Table("qmUserDefinedListItems") + " i ORDER BY i.ItemRank, i.ITEMID");
    for (; !items->IsEOF(); items->MoveNext()) {
      auto f = fields_.find(items->Value("FIELDID").ToLong());
      if (f == fields_.end()) continue;
      f->second.items.push_back({items->Value("QMGUID").ToText(),
                                 items->Value("ItemText").ToText(),
                                 items->Value("ItemRank").ToLong()});
      item_ids_[items->Value("ITEMID").ToLong()] = Id(f->second.items.back().guid);
    }
    for (auto& [key, f] : fields_) by_guid_.push_back(&f);
    std::sort(by_guid_.begin(), by_guid_.end(), [](const Field* a, const Field* b) {
      return FoldedGuid(a->guid) < FoldedGuid(b->guid);
    });

    auto types =
        conn_.Query("SELECT t.ID, t.QMGUID, t.NAME, t.DESCRIPTION FROM " +
                        Table("qmRequirementTypes") + " t JOIN " +
                        Table("qmProjectRequirementTypes") +
                        " pt ON pt.REQUIREMENTTYPEID = t.ID WHERE pt.PROJECTID = ? "
                        "ORDER BY t.ID",
                    {Variant(project_key_)});
    for (; !types->IsEOF(); types->MoveNext()) {
      Type t;
      t.key = types->Value("ID").ToLong();
      t.guid = types->Value("QMGUID").ToText();
      t.name = types->Value("NAME").ToText();
      t.description = types->Value("DESCRIPTION").ToText();
      type_order_.push_back(t.key);
      types_[t.key] = std::move(t);
    }
    auto links =
        conn_.Query("SELECT DISTINCT l.REQUIREMENTTYPEID, l.USERDEFINEDFIELDID FROM " +
                        Table("qmRequirementTypeFields") + " l JOIN " +
                        Table("qmProjectRequirementTypes") +
                        " pt ON pt.REQUIREMENTTYPEID = l.REQUIREMENTTYPEID "
                        "WHERE pt.PROJECTID = ?",
                    {Variant(project_key_)});
    for (; !links->IsEOF(); links->MoveNext()) {
      auto t = types_.find(links->Value("REQUIREMENTTYPEID").ToLong());
      auto f = fields_.find(links->Value("USERDEFINEDFIELDID").ToLong());
      if (t != types_.end() && f != fields_.end()) t->second.fields.push_back(&f->second);
    }
    for (auto& [key, t] : types_) {
      std::sort(t.fields.begin(), t.fields.end(), [](const Field* a, const Field* b) {
        return FoldedGuid(a->guid) < FoldedGuid(b->guid);
      });
      t.id = Id(t.guid);
      t.foreign_id_def = t.id + "-foreign-id";
      t.name_def = t.id + "-name";
      t.text_def = t.id + "-text";
      for (const Field* f : t.fields) t.defs.push_back(reqif::IdOfPair(t.guid, f->guid));
    }
  }

  void LoadPackages() {
    auto rs = conn_.Query("SELECT ID, PARENTID, QMGUID, NAME, DESCRIPTION FROM " +
                              Table("QmPackages") + " WHERE PROJECTID = ? ORDER BY ID",
                          {Variant(project_key_)});
    for (; !rs->IsEOF(); rs->MoveNext()) {
      Package p;
      p.key = rs->Value("ID").ToLong();
      p.parent = rs->Value("PARENTID").IsNull() ? 0 : rs->Value("PARENTID").ToLong();
      p.guid = rs->Value("QMGUID").ToText();
      p.name = rs->Value("NAME").ToText();
      p.description = rs->Value("DESCRIPTION").ToText();
      packages_[p.key] = std::move(p);
    }
    for (auto& [key, p] : packages_) {
      auto parent = packages_.find(p.parent);
      if (parent == packages_.end() || p.parent == key)
        roots_.push_back(key);
      else
        parent->second.children.push_back(key);
    }
    auto members = conn_.Query(
        "SELECT e.PACKAGEID, e.REQUIREMENTID FROM " + Table("QmPackageElements") +
            " e JOIN " + Table("QmPackages") +
            " p ON p.ID = e.PACKAGEID WHERE p.PROJECTID = ? AND "
            "e.REQUIREMENTID IS NOT NULL ORDER BY e.PACKAGEID, e.REQUIREMENTID",
        {Variant(project_key_)});
    for (; !members->IsEOF(); members->MoveNext()) {
      auto p = packages_.find(members->Value("PACKAGEID").ToLong());
      if (p == packages_.end()) continue;
      const int32_t req = members->Value("REQUIREMENTID").ToLong();
      if (p->second.requirements.empty() || p->second.requirements.back() != req)
        p->second.requirements.push_back(req);
    }
    if (options_.packages.empty()) return;
    // Only the packages named, with their sub-packages.
    std::vector<int32_t> chosen;
    for (const std::string& which : options_.packages) {
      std::vector<int32_t> hits;
      for (const auto& [key, p] : packages_)
        if (which == std::to_string(key) || FoldedGuid(which) == FoldedGuid(p.guid) ||
            which == p.name)
          hits.push_back(key);
      if (hits.size() != 1)
        throw Error(
            eErr_Transfer, kSource,
            hits.empty()
                ? "The project holds no package with the key, GUID or name " + which + "."
                : "The project holds " + std::to_string(hits.size()) +
                      " packages named " + which + "; choose one by key or GUID.");
      chosen.push_back(hits.front());
    }
    roots_.clear();
    for (int32_t key : chosen)
      if (std::find(roots_.begin(), roots_.end(), key) == roots_.end())
        roots_.push_back(key);
    chosen_only_ = true;
    for (int32_t key : roots_) MarkChosen(key);
  }

  void MarkChosen(int32_t key) {
    const Package& p = packages_.at(key);
    for (int32_t r : p.requirements) chosen_reqs_.insert(r);
    for (int32_t c : p.children) MarkChosen(c);
  }

  void WriteHeader(Writer& w) {
    w.Line();
    w.Start("THE-HEADER");
    w.Start("REQ-IF-HEADER");
    w.Attr("IDENTIFIER", project_id_ + "-header");
    if (!project_description_.empty()) w.Element("COMMENT", project_description_);
    w.Element("CREATION-TIME", reqif::CreationTime());
    w.Element("REPOSITORY-ID", summary_.project_guid);
    const std::string tool = "qmxml " + ComponentVersion();
    w.Element("REQ-IF-TOOL-ID", tool);
    w.Element("REQ-IF-VERSION", "1.0");
    w.Element("SOURCE-TOOL-ID", tool);
    w.Element("TITLE", summary_.project_name);
    w.End();
    w.End();
  }

  void Datatype(Writer& w, const char* element, const char* id, const char* name) {
    w.Line();
    w.Start(element);
    w.Identity(id, project_time_, name);
  }

  void WriteDatatypes(Writer& w) {
    w.Line();
    w.Start("DATATYPES");
    Datatype(w, "DATATYPE-DEFINITION-STRING", reqif::kStringType, "Text");
    w.Attr("MAX-LENGTH", "2147483647");
    w.End();
    Datatype(w, "DATATYPE-DEFINITION-XHTML", reqif::kXhtmlType, "Formatted text");
    w.End();
    Datatype(w, "DATATYPE-DEFINITION-INTEGER", reqif::kIntegerType, "Integer");
    w.Attr("MAX", "2147483647");
    w.Attr("MIN", "-2147483648");
    w.End();
    Datatype(w, "DATATYPE-DEFINITION-REAL", reqif::kRealType, "Real");
    w.Attr("ACCURACY", "15");
    w.Attr("MAX", "1.7976931348623157E308");
    w.Attr("MIN", "-1.7976931348623157E308");
    w.End();
    Datatype(w, "DATATYPE-DEFINITION-DATE", reqif::kDateType, "Date");
    w.End();
    Datatype(w, "DATATYPE-DEFINITION-STRING", reqif::kTimeType, "Time of day");
    w.Attr("MAX-LENGTH", "8");
    w.End();
    for (const Field* f : by_guid_) {
      if (f->data_type != kList && f->data_type != kMulti) continue;
      w.Line();
      w.Start("DATATYPE-DEFINITION-ENUMERATION");
      w.Identity(Id(f->guid) + "-values", project_time_, f->label);
      w.Start("SPECIFIED-VALUES");
      for (const Item& item : f->items) {
        w.Start("ENUM-VALUE");
        w.Identity(Id(item.guid), project_time_, item.text);
        w.Start("PROPERTIES");
        w.Start("EMBEDDED-VALUE");
        w.Attr("KEY", std::to_string(item.rank));
        w.Attr("OTHER-CONTENT", "");
        w.End();
        w.End();
        w.End();
      }
      w.End();
      w.End();
      Count("ENUM-VALUE", static_cast<long>(f->items.size()));
    }
    w.End();
  }

  // One ATTRIBUTE-DEFINITION of |kind| (STRING, XHTML, ...) on |datatype|.
  void Definition(Writer& w, const char* kind, const std::string& id,
                  std::string_view name, const std::string& datatype,
                  std::string_view description = {}, const char* multi = nullptr) {
    const std::string element = std::string("ATTRIBUTE-DEFINITION-") + kind;
    w.Line();
    w.Start(element.c_str());
    if (!description.empty()) w.Attr("DESC", description);
    w.Identity(id, project_time_, name);
    if (multi != nullptr) w.Attr("MULTI-VALUED", multi);
    w.Ref("TYPE", ("DATATYPE-DEFINITION-" + std::string(kind) + "-REF").c_str(),
          datatype);
    w.End();
    Count("ATTRIBUTE-DEFINITION");
  }

  static const char* Kind(int32_t data_type) {
    switch (data_type) {
      case kList:
      case kMulti:
        return "ENUMERATION";
      case kInteger:
        return "INTEGER";
      case kReal:
        return "REAL";
      case kDate:
        return "DATE";
      default:
        return "STRING";
    }
  }
  std::string DatatypeOf(const Field& f) const {
    switch (f.data_type) {
      case kList:
      case kMulti:
        return Id(f.guid) + "-values";
      case kInteger:
        return reqif::kIntegerType;
      case kReal:
        return reqif::kRealType;
      case kDate:
        return reqif::kDateType;
      case kTime:
        return reqif::kTimeType;
      default:
        return reqif::kStringType;
    }
  }

  void WriteSpecTypes(Writer& w) {
    w.Line();
    w.Start("SPEC-TYPES");
    for (int32_t key : type_order_) {
      const Type& t = types_.at(key);
      const std::string id = Id(t.guid);
      w.Line();
      w.Start("SPEC-OBJECT-TYPE");
      if (!t.description.empty()) w.Attr("DESC", t.description);
      w.Identity(id, project_time_, t.name);
      w.Start("SPEC-ATTRIBUTES");
      Definition(w, "STRING", id + "-foreign-id", reqif::kForeignId, reqif::kStringType);
      Definition(w, "STRING", id + "-name", reqif::kName, reqif::kStringType);
      Definition(w, "XHTML", id + "-text", reqif::kText, reqif::kXhtmlType);
      for (const Field* f : t.fields)
        Definition(w, Kind(f->data_type), reqif::IdOfPair(t.guid, f->guid), f->label,
                   DatatypeOf(*f), f->description,
                   f->data_type == kList    ? "false"
                   : f->data_type == kMulti ? "true"
                                            : nullptr);
      w.End();
      w.End();
      Count("SPEC-OBJECT-TYPE");
    }
    // Package headings.
    w.Line();
    w.Start("SPEC-OBJECT-TYPE");
    w.Identity(project_id_ + "-heading", project_time_, "Heading");
    w.Start("SPEC-ATTRIBUTES");
    Definition(w, "STRING", project_id_ + "-heading-name", reqif::kChapterName,
               reqif::kStringType);
    Definition(w, "STRING", project_id_ + "-heading-description", reqif::kDescription,
               reqif::kStringType);
    w.End();
    w.End();
    WriteRelationTypes(w);
    w.Line();
    w.Start("SPECIFICATION-TYPE");
    w.Identity(project_id_ + "-spec-type", project_time_, "Project");
    w.End();
    w.End();
  }

  // The traces between two live requirements of the project, in key order
  // of their ends, then type (NULL types as 0), and the trace types among
  // them. Read before anything is written, as the relation types come
  // before the objects; the ends are checked against the project's live
  // requirements here rather than in a join, which cost the database more
  // than the whole rest of the export.
  void LoadTraces() {
    std::unordered_set<int32_t> live;
    auto reqs = conn_.Query("SELECT r.ID FROM " + Table("qmRequirements") + " r JOIN " +
                                Table("qmProjectRequirements") +
                                " pr ON pr.RequirementID = r.ID AND pr.ProjectID = ? "
                                "WHERE COALESCE(r.Deleted, 0) = 0",
                            {Variant(project_key_)});
    for (; !reqs->IsEOF(); reqs->MoveNext()) live.insert(reqs->Value("ID").ToLong());
    auto rs = conn_.Query(
        "SELECT RequirementID, ToID, COALESCE(Type, 0) AS Type, VersionDateTime FROM " +
        Table("QmToRelationships") +
        " WHERE COALESCE(ExternalProjectID, 0) = 0 AND COALESCE(ExternalProjectToID, 0) "
        "= 0 ORDER BY RequirementID, ToID, 3");
    for (; !rs->IsEOF(); rs->MoveNext()) {
      const int32_t from = rs->Value("RequirementID").ToLong();
      const int32_t to = rs->Value("ToID").ToLong();
      if (!live.count(from) || !live.count(to)) continue;
      traces_.push_back({from, to, rs->Value("Type").ToLong(),
                         Time(rs->Value("VersionDateTime"))});
      trace_types_.insert(traces_.back().type);
    }
  }

  void WriteRelationTypes(Writer& w) {
    for (int32_t type : trace_types_) {
      const std::string n = std::to_string(type);
      w.Line();
      w.Start("SPEC-RELATION-TYPE");
      w.Identity(reqif::kTraceTypePrefix + n, project_time_,
                 n == "0" ? "Trace" : "Trace " + n);
      w.End();
    }
  }

  bool Exported(int32_t requirement) const {
    return !chosen_only_ || chosen_reqs_.count(requirement) > 0;
  }

  void WriteHeadings(Writer& w, int32_t key) {
    const Package& p = packages_.at(key);
    w.Line();
    w.Start("SPEC-OBJECT");
    w.Identity(Id(p.guid), project_time_, "");
    w.Start("VALUES");
    StringValue(w, project_id_ + "-heading-name", p.name);
    if (!p.description.empty())
      StringValue(w, project_id_ + "-heading-description", p.description);
    w.End();
    w.Ref("TYPE", "SPEC-OBJECT-TYPE-REF", project_id_ + "-heading");
    w.End();
    Count("heading SPEC-OBJECT");
    for (int32_t c : p.children) WriteHeadings(w, c);
  }

  void StringValue(Writer& w, const std::string& definition, std::string_view value) {
    w.Start("ATTRIBUTE-VALUE-STRING");
    w.Attr("THE-VALUE", value);
    w.Ref("DEFINITION", "ATTRIBUTE-DEFINITION-STRING-REF", definition);
    w.End();
  }

  void WriteObjects(Writer& w) {
    w.Line();
    w.Start("SPEC-OBJECTS");
    for (int32_t key : roots_) WriteHeadings(w, key);
    int32_t after = 0;
    for (;;) {
      auto reqs = conn_.Query(
          "SELECT r.ID, r.QMGUID, r.RequirementTypeID, r.Tag, r.RequirementPrefix, "
          "r.RequirementName, r.OverflowIND, r.RequirementText, o.OverflowText, "
          "r.VersionDateTime, COALESCE(r.Deleted, 0) AS Deleted FROM " +
              Table("qmRequirements") + " r JOIN " + Table("qmProjectRequirements") +
              " pr ON pr.RequirementID = r.ID AND pr.ProjectID = ? LEFT JOIN " +
              Table("QmOverflowText") +
              " o ON o.OverFlowID = r.ID WHERE r.ID > ? ORDER BY r.ID LIMIT " +
              std::to_string(kSlice),
          {Variant(project_key_), Variant(after)});
      if (reqs->IsEOF()) break;
      reqs->MoveLast();
      const int32_t last = reqs->Value("ID").ToLong();
      reqs->MoveFirst();
      WriteSlice(w, *reqs, after, last);
      after = last;
      Tell("requirements up to key " + std::to_string(last));
    }
    w.End();
  }

  // The attribute and list values of the requirements with keys in
  // (after, last], by requirement, then attribute.
  struct Value {
    int32_t field = 0;
    std::string text;                // attribute value
    std::vector<std::string> items;  // list items' identifiers
  };
  std::map<int32_t, std::vector<Value>> SliceValues(int32_t after, int32_t last) {
    std::map<int32_t, std::vector<Value>> out;
    auto values = conn_.Query(
        "SELECT v.REQUIREMENTID, v.FIELDID, v.FieldValue, v.OVERFLOWIND, "
        "o.OverflowFieldValue FROM " +
            Table("qmUserDefinedFieldValues") + " v LEFT JOIN " +
            Table("QmOverflowValues") +
            " o ON o.OverFlowRequirementID = v.REQUIREMENTID AND o.OverFlowFieldID = "
            "v.FIELDID "
            "WHERE v.REQUIREMENTID > ? AND v.REQUIREMENTID <= ? ORDER BY "
            "v.REQUIREMENTID, v.FIELDID",
        {Variant(after), Variant(last)});
    for (; !values->IsEOF(); values->MoveNext()) {
      const bool overflow = values->Value("OVERFLOWIND").ToText() == "1";
      Value v;
      v.field = values->Value("FIELDID").ToLong();
      v.text = (overflow && !values->Value("OverflowFieldValue").IsNull()
                    ? values->Value("OverflowFieldValue")
                    : values->Value("FieldValue"))
                   .ToText();
      out[values->Value("REQUIREMENTID").ToLong()].push_back(std::move(v));
    }
    auto lists =
        conn_.Query("SELECT l.RequirementID, l.FieldID, i.ITEMID, i.QMGUID FROM " +
                        Table("qmUserDefinedListValues") + " l JOIN " +
                        Table("qmUserDefinedListItems") +
                        " i ON i.ITEMID = l.ListItemID WHERE l.RequirementID > ? AND "
                        "l.RequirementID <= ? "
                        "ORDER BY l.RequirementID, l.FieldID, i.ItemRank, i.ITEMID",
                    {Variant(after), Variant(last)});
    for (; !lists->IsEOF(); lists->MoveNext()) {
      auto& vs = out[lists->Value("RequirementID").ToLong()];
      const int32_t field = lists->Value("FieldID").ToLong();
      if (vs.empty() || vs.back().field != field || vs.back().items.empty()) {
        vs.push_back({field, "", {}});
      }
      auto id = item_ids_.find(lists->Value("ITEMID").ToLong());
      vs.back().items.push_back(id != item_ids_.end() ? id->second
                                                      : Id(lists->Value("QMGUID").ToText()));
    }
    return out;
  }

  // The resources of the requirements with keys in (after, last], by
  // requirement, in key order (an import issues keys in file order).
  struct Resource {
    int32_t key = 0;
    std::string guid, name, type;
  };
  std::map<int32_t, std::vector<Resource>> SliceResources(int32_t after, int32_t last) {
    std::map<int32_t, std::vector<Resource>> out;
    if (!archive_) return out;
    auto rs = conn_.Query("SELECT ID, REQUIREMENTID, QMGUID, NAME, TYPE FROM " +
                              Table("QmResources") +
                              " WHERE REQUIREMENTID > ? AND REQUIREMENTID <= ? "
                              "ORDER BY REQUIREMENTID, ID",
                          {Variant(after), Variant(last)});
    for (; !rs->IsEOF(); rs->MoveNext())
      out[rs->Value("REQUIREMENTID").ToLong()].push_back(
          {rs->Value("ID").ToLong(), rs->Value("QMGUID").ToText(),
           rs->Value("NAME").ToText(), rs->Value("TYPE").ToText()});
    return out;
  }

  // <xhtml:object> of each resource that can be named in the archive, after
  // the text; its content is the resource's name, its type the stored one
  // when that is a MIME type, else one the name's extension gives.
  void WriteAttachments(Writer& w, const std::string& req_guid,
                    const std::vector<Resource>& resources) {
    for (const Resource& r : resources) {
      const std::string folder = frame::FileGuid(r.guid);
      if (folder.empty()) {
        Note("resources whose GUID names no file (not carried)", req_guid + " " + r.guid);
        continue;
      }
      const std::string entry =
          "Resources/" + folder + "/" + reqif::EntryFileName(r.name);
      const bool mime = r.type.find('/') != std::string::npos &&
                        r.type.find_first_of(" \t\r\n") == std::string::npos;
      w.Start("xhtml:object");
      w.Attr("data", reqif::PercentEncoded(entry));
      w.Attr("type", mime ? r.type : reqif::MimeTypeOf(r.name));
      w.Text(r.name);
      w.End();
      attachments_.push_back({r.key, entry});
      Count("attachment");
    }
  }

  void WriteSlice(Writer& w, Recordset& reqs, int32_t after, int32_t last) {
    auto values = SliceValues(after, last);
    auto resources = SliceResources(after, last);
    for (; !reqs.IsEOF(); reqs.MoveNext()) {
      const int32_t key = reqs.Value("ID").ToLong();
      const std::string guid = reqs.Value("QMGUID").ToText();
      if (reqs.Value("Deleted").ToLong() != 0) {
        Note("deleted requirements (not exported)", guid);
        continue;
      }
      if (!Exported(key)) continue;
      auto type = types_.find(reqs.Value("RequirementTypeID").ToLong());
      if (type == types_.end()) {
        Note("requirements whose type is not one of the project", guid);
        continue;
      }
      const Type& t = type->second;
      const std::string& tid = t.id;
      const std::string& id = req_ids_[key] = Id(guid);
      w.Line();
      w.Start("SPEC-OBJECT");
      w.Identity(id, Time(reqs.Value("VersionDateTime")), "");
      w.Start("VALUES");
      StringValue(w, t.foreign_id_def,
                  reqs.Value("RequirementPrefix").ToText() + reqs.Value("Tag").ToText());
      const std::string name = reqs.Value("RequirementName").ToText();
      if (!name.empty()) StringValue(w, t.name_def, name);
      const bool overflow =
          reqs.Value("OverflowIND").ToLong() == 1 && !reqs.Value("OverflowText").IsNull();
      const std::string text =
          reqs.Value(overflow ? "OverflowText" : "RequirementText").ToText();
      auto res = resources.find(key);
      if (!text.empty() || res != resources.end()) {
        w.Start("ATTRIBUTE-VALUE-XHTML");
        w.Start("THE-VALUE");
        w.Start("xhtml:div");
        WriteXhtml(w, text);
        if (res != resources.end()) WriteAttachments(w, guid, res->second);
        w.End();
        w.End();
        w.Ref("DEFINITION", "ATTRIBUTE-DEFINITION-XHTML-REF", t.text_def);
        w.End();
      }
      auto vs = values.find(key);
      if (vs != values.end()) {
        // In the order of the type's attributes (by GUID), as the keys
        // differ from one database to the next.
        std::stable_sort(vs->second.begin(), vs->second.end(),
                         [&](const Value& a, const Value& b) {
                           return Position(t, a.field) < Position(t, b.field);
                         });
        for (const Value& v : vs->second) WriteValue(w, t, guid, v);
      }
      w.End();
      w.Ref("TYPE", "SPEC-OBJECT-TYPE-REF", tid);
      w.End();
      Count("SPEC-OBJECT");
    }
  }

  static size_t Position(const Type& t, int32_t field) {
    auto at = std::find_if(t.fields.begin(), t.fields.end(),
                           [field](const Field* f) { return f->key == field; });
    return static_cast<size_t>(at - t.fields.begin());
  }

  // |text| with its line ends as <xhtml:br/>, inside the open div.
  static void WriteXhtml(Writer& w, std::string_view text) {
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
      if (i < text.size() && text[i] != '\r' && text[i] != '\n') continue;
      w.Text(text.substr(start, i - start));
      if (i == text.size()) break;
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      w.Start("xhtml:br");
      w.End();
      start = i + 1;
    }
  }

  void WriteValue(Writer& w, const Type& t, const std::string& req_guid, const Value& v) {
    const size_t at = Position(t, v.field);
    if (at == t.fields.size()) {
      Note("values of attributes the requirement's type does not have", req_guid);
      return;
    }
    const Field* f = t.fields[at];
    const std::string& def = t.defs[at];
    const char* kind = Kind(f->data_type);
    if (f->data_type == kList || f->data_type == kMulti) {
      if (v.items.empty()) {
        Note("list attribute values that are not list items", req_guid + " " + f->label);
        return;
      }
      w.Start("ATTRIBUTE-VALUE-ENUMERATION");
      w.Ref("DEFINITION", "ATTRIBUTE-DEFINITION-ENUMERATION-REF", def);
      w.Start("VALUES");
      for (const std::string& item : v.items) w.RefElement("ENUM-VALUE-REF", item);
      w.End();
      w.End();
      return;
    }
    if (!v.items.empty()) {
      Note("list values of attributes that are not lists", req_guid + " " + f->label);
      return;
    }
    std::string value = v.text;
    if (f->data_type == kDate) value = reqif::IsoDateTime(v.text);
    const bool fits = f->data_type == kInteger ? reqif::IsInteger(value)
                      : f->data_type == kReal  ? reqif::IsReal(value)
                      : f->data_type == kDate  ? !value.empty()
                                               : true;
    if (!fits) {
      Note("values that do not fit their attribute's data type",
           req_guid + " " + f->label + " \"" + v.text + "\"");
      return;
    }
    const std::string element = std::string("ATTRIBUTE-VALUE-") + kind;
    w.Start(element.c_str());
    w.Attr("THE-VALUE", value);
    w.Ref("DEFINITION", ("ATTRIBUTE-DEFINITION-" + std::string(kind) + "-REF").c_str(),
          def);
    w.End();
  }

  void WriteRelations(Writer& w) {
    w.Line();
    w.Start("SPEC-RELATIONS");
    std::string last_id;
    for (const Trace& trace : traces_) {
      auto from = req_ids_.find(trace.from), to = req_ids_.find(trace.to);
      if (from == req_ids_.end() || to == req_ids_.end()) continue;
      const std::string type = std::to_string(trace.type);
      const std::string id = from->second + to->second + "-" + type;
      if (id == last_id) {
        Note("traces repeated between the same requirements", id);
        continue;
      }
      last_id = id;
      w.Line();
      w.Start("SPEC-RELATION");
      w.Identity(id, trace.time, "");
      w.Ref("SOURCE", "SPEC-OBJECT-REF", from->second);
      w.Ref("TARGET", "SPEC-OBJECT-REF", to->second);
      w.Ref("TYPE", "SPEC-RELATION-TYPE-REF", reqif::kTraceTypePrefix + type);
      w.End();
      Count("SPEC-RELATION");
    }
    w.End();
  }

  void Node(Writer& w, const std::string& id, const std::string& object) {
    w.Line();
    w.Start("SPEC-HIERARCHY");
    w.Identity(id, project_time_, "");
    w.Ref("OBJECT", "SPEC-OBJECT-REF", object);
  }

  void WritePackageNode(Writer& w, const std::string& parent_guid, int32_t key) {
    const Package& p = packages_.at(key);
    Node(w, reqif::IdOfPair(parent_guid, p.guid), Id(p.guid));
    bool any = false;
    for (int32_t c : p.children) {
      if (!any) w.Start("CHILDREN");
      any = true;
      WritePackageNode(w, p.guid, c);
    }
    const std::string package_id = Id(p.guid);
    for (int32_t r : p.requirements) {
      auto id = req_ids_.find(r);
      if (id == req_ids_.end()) continue;
      if (!any) w.Start("CHILDREN");
      any = true;
      Node(w, package_id + id->second, id->second);
      w.End();
    }
    if (any) w.End();
    w.End();
  }

  void WriteSpecification(Writer& w) {
    std::unordered_set<int32_t> in_package;
    for (const auto& [key, p] : packages_)
      for (int32_t r : p.requirements) in_package.insert(r);

    w.Line();
    w.Start("SPECIFICATIONS");
    w.Line();
    w.Start("SPECIFICATION");
    w.Identity(project_id_, project_time_, summary_.project_name);
    w.Ref("TYPE", "SPECIFICATION-TYPE-REF", project_id_ + "-spec-type");
    w.Start("CHILDREN");
    for (int32_t key : roots_) WritePackageNode(w, summary_.project_guid, key);
    if (!chosen_only_) {
      std::vector<int32_t> loose;
      for (const auto& [key, id] : req_ids_)
        if (!in_package.count(key)) loose.push_back(key);
      std::sort(loose.begin(), loose.end());
      for (int32_t key : loose) {
        Node(w, project_id_ + req_ids_[key], req_ids_[key]);
        w.End();
      }
    }
    w.End();
    w.End();
    w.End();
    Count("SPECIFICATION");
  }

  Connection& conn_;
  const ReqifExportOptions& options_;
  ReqifExportSummary& summary_;
  int32_t project_key_ = 0;
  std::string project_id_, project_time_, project_description_;
  std::map<int32_t, Field> fields_;
  std::vector<const Field*> by_guid_;
  std::unordered_map<int32_t, std::string> item_ids_;  // list item key -> identifier
  std::map<int32_t, Type> types_;
  std::vector<int32_t> type_order_;
  std::map<int32_t, Package> packages_;
  std::vector<int32_t> roots_;
  bool chosen_only_ = false;
  std::unordered_set<int32_t> chosen_reqs_;
  // The requirements written, by key: their identifiers.
  std::unordered_map<int32_t, std::string> req_ids_;
  struct Trace {
    int32_t from = 0, to = 0, type = 0;
    std::string time;
  };
  std::vector<Trace> traces_;
  std::set<int32_t> trace_types_;
  const bool archive_;
  std::vector<Attachment> attachments_;
};

}  // namespace

namespace {

bool NamesArchive(const std::string& file) {
  return file.size() >= 7 &&
         EqualsNoCase(std::string_view(file).substr(file.size() - 7), ".reqifz");
}

// The archive: the ReqIF file written at |reqif| as "<stem of file>.reqif",
// then each attachment, its bytes read from the database only when the
// archive writes it.
void WriteArchive(Connection& conn, const Exporter& exporter, const std::string& reqif,
                  const std::string& file, const std::string& part,
                  const ReqifExportOptions& options) {
  if (options.progress)
    options.progress("write " + file + " (" +
                     std::to_string(exporter.Attachments().size()) + " attachments)");
  std::string stem = std::filesystem::path(file).filename().string();
  stem.resize(stem.size() - 7);
  reqif::ArchiveWriter zip(part, reqif::CreationEpoch());
  zip.AddFile(reqif::EntryFileName(stem + ".reqif"), reqif);
  const std::string select =
      "SELECT RESOURCEOBJ FROM " + std::string(kTableMarker) + "QmResources WHERE ID = ?";
  for (const Attachment& a : exporter.Attachments())
    zip.AddFetched(a.entry, [&conn, &select, key = a.key] {
      auto rs = conn.Query(select, {Variant(key)});
      return rs->IsEOF() ? std::vector<uint8_t>()
                         : movers::package_xml::ResourceBytes(rs->Value("RESOURCEOBJ"));
    });
  zip.Close();
}

}  // namespace

ReqifExportSummary ExportReqif(const DatabaseLocator& db, const std::string& file,
                               const ReqifExportOptions& options) {
  const bool archive = NamesArchive(file);
  // The same rules as every file the tool writes: never the database or its
  // key, only a regular file or a new name, written to a new temporary file
  // (created exclusively, never through a link) and renamed when complete.
  // An archive's ReqIF file is written to a second such file first.
  CheckOutputFile(db, file);
  auto conn = OpenProjectDatabase(db);
  ReqifExportSummary summary;
  std::string part, reqif;
  for (std::string* temp : {&part, &reqif}) {
    if (temp == &reqif && !archive) break;
    const int fd = xml::CreateTempFile(file, temp);
    if (fd < 0) {
      if (!part.empty() && temp != &part) std::remove(part.c_str());
      throw Error(eErr_FileNotFound, kSource,
                  "Cannot create a file beside " + file + ": " + std::strerror(errno) + ".");
    }
    ::close(fd);
  }
  conn->SetLockWait(5000);
  conn->BeginSnapshot();
  try {
    Exporter exporter(*conn, options, archive, &summary);
    exporter.Run(archive ? reqif : part);
    if (archive) {
      WriteArchive(*conn, exporter, reqif, file, part, options);
      std::remove(reqif.c_str());
    }
    std::error_code ec;
    std::filesystem::rename(part, file, ec);
    if (ec)
      throw Error(eErr_FileNotFound, kSource,
                  "Cannot name the finished export " + file + ": " + ec.message() + ".");
  } catch (...) {
    conn->Rollback();
    std::remove(part.c_str());
    if (!reqif.empty()) std::remove(reqif.c_str());
    throw;
  }
  conn->Commit();
  return summary;
}

}  // namespace qmxml
