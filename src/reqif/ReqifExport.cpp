// ReqIF export: one project (or some of its packages) as a ReqIF 1.2 file,
// written streaming with libxml2's text writer. The requirements and their
// values are read in slices of requirement keys, so memory holds one slice
// besides the project's structure, package tree and package members.
//
// Order: everything is written in an order that an import of the file
// gives back, so that the export of the imported project is the same
// bytes: requirement types, requirements and traces in key order (an
// import issues keys in file order), packages in tree order with siblings
// by key, attributes by GUID, list items by rank.
#include <libxml/xmlwriter.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "movers/baseline/BaseCompWriteXML.h"
#include "qmxml/Application.h"
#include "qmxml/Collection.h"
#include "qmxml/Error.h"
#include "qmxml/Output.h"
#include "qmxml/ProjectDatabase.h"
#include "qmxml/Reqif.h"
#include "qmxml/Variant.h"
#include "reqif/ReqifNames.h"
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

// The text writer with the checks the schema cannot make: every IDENTIFIER
// is written once, and every reference names one written before it (the
// file defines everything before it is referenced).
class Writer {
 public:
  explicit Writer(const std::string& path)
      : w_(xmlNewTextWriterFilename(path.c_str(), 0)) {
    if (w_ == nullptr)
      throw Error(eErr_FileNotFound, kSource, "Cannot create the file " + path + ".");
  }
  ~Writer() {
    if (w_ != nullptr) xmlFreeTextWriter(w_);
  }
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  void Check(int rc) const {
    if (rc < 0)
      throw Error(eErr_FileNotFound, kSource,
                  "Cannot write the ReqIF file (disk full?).");
  }
  void StartDocument() { Check(xmlTextWriterStartDocument(w_, "1.0", "UTF-8", nullptr)); }
  void EndDocument() {
    Check(xmlTextWriterEndDocument(w_));
    Check(xmlTextWriterFlush(w_));
  }
  // A new line before an element where whitespace does not count.
  void Line() { Check(xmlTextWriterWriteRaw(w_, BAD_CAST "\n")); }
  void Start(const char* name) { Check(xmlTextWriterStartElement(w_, BAD_CAST name)); }
  void StartNs(const char* prefix, const char* name) {
    Check(xmlTextWriterStartElementNS(w_, BAD_CAST prefix, BAD_CAST name, nullptr));
  }
  void End() { Check(xmlTextWriterEndElement(w_)); }
  void Attr(const char* name, std::string_view value) {
    const std::string clean = Carried(value);
    Check(xmlTextWriterWriteAttribute(w_, BAD_CAST name, BAD_CAST clean.c_str()));
  }
  void Text(std::string_view value) {
    const std::string clean = Carried(value);
    Check(xmlTextWriterWriteString(w_, BAD_CAST clean.c_str()));
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
  // |text| as XML 1.0 carries it: code 26 (how the host stores "|") as "|";
  // other control characters are left out, and counted.
  std::string Carried(std::string_view text) {
    std::string kept = movers::baseline::CarriedText(text);
    if (kept.size() != text.size()) ++cleaned_;
    return kept;
  }

  xmlTextWriterPtr w_;
  std::unordered_set<std::string> ids_;
  long cleaned_ = 0;
};

class Exporter {
 public:
  Exporter(Connection& conn, const ReqifExportOptions& options,
           ReqifExportSummary* summary)
      : conn_(conn), options_(options), summary_(*summary) {}

  void Run(const std::string& path) {
    transfer::ExportContext ctx;
    transfer::ChooseProject(conn_, options_.project, &ctx, &summary_.project_name);
    project_key_ = ctx.project_key;
    summary_.project_guid = ctx.project_guid;
    LoadProject();
    LoadStructure();
    LoadPackages();
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
    WriteRelations(w);
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
        conn_.Query("SELECT i.FIELDID, i.QMGUID, i.ItemText, i.ItemRank FROM " +
                    Table("qmUserDefinedListItems") + " i ORDER BY i.ItemRank, i.ITEMID");
    for (; !items->IsEOF(); items->MoveNext()) {
      auto f = fields_.find(items->Value("FIELDID").ToLong());
      if (f == fields_.end()) continue;
      f->second.items.push_back({items->Value("QMGUID").ToText(),
                                 items->Value("ItemText").ToText(),
                                 items->Value("ItemRank").ToLong()});
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
    for (auto& [key, t] : types_)
      std::sort(t.fields.begin(), t.fields.end(), [](const Field* a, const Field* b) {
        return FoldedGuid(a->guid) < FoldedGuid(b->guid);
      });
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

  // Traces between two requirements of the export, in key order of their
  // ends (NULL types as 0).
  std::string TraceSelect(bool distinct_types) const {
    const std::string ends =
        " FROM " + Table("QmToRelationships") + " tr JOIN " +
        Table("qmProjectRequirements") +
        " pa ON pa.RequirementID = tr.RequirementID AND pa.ProjectID = ? JOIN " +
        Table("qmProjectRequirements") +
        " pb ON pb.RequirementID = tr.ToID AND pb.ProjectID = ? JOIN " +
        Table("qmRequirements") + " a ON a.ID = tr.RequirementID JOIN " +
        Table("qmRequirements") +
        " b ON b.ID = tr.ToID WHERE COALESCE(tr.ExternalProjectID, 0) = 0 AND "
        "COALESCE(tr.ExternalProjectToID, 0) = 0 AND COALESCE(a.Deleted, 0) = 0 AND "
        "COALESCE(b.Deleted, 0) = 0";
    if (distinct_types)
      return "SELECT DISTINCT COALESCE(tr.Type, 0) AS Type" + ends + " ORDER BY 1";
    return "SELECT tr.RequirementID, tr.ToID, a.QMGUID AS FromGuid, b.QMGUID AS ToGuid, "
           "COALESCE(tr.Type, 0) AS Type, tr.VersionDateTime" +
           ends + " ORDER BY tr.RequirementID, tr.ToID, 5";
  }

  void WriteRelationTypes(Writer& w) {
    auto rs =
        conn_.Query(TraceSelect(true), {Variant(project_key_), Variant(project_key_)});
    for (; !rs->IsEOF(); rs->MoveNext()) {
      const std::string n = std::to_string(rs->Value("Type").ToLong());
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
    std::vector<std::string> items;  // list item GUIDs
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
        conn_.Query("SELECT l.RequirementID, l.FieldID, i.QMGUID FROM " +
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
      vs.back().items.push_back(lists->Value("QMGUID").ToText());
    }
    return out;
  }

  void WriteSlice(Writer& w, Recordset& reqs, int32_t after, int32_t last) {
    auto values = SliceValues(after, last);
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
      const std::string tid = Id(t.guid);
      written_.insert(key);
      w.Line();
      w.Start("SPEC-OBJECT");
      w.Identity(Id(guid), Time(reqs.Value("VersionDateTime")), "");
      w.Start("VALUES");
      StringValue(w, tid + "-foreign-id",
                  reqs.Value("RequirementPrefix").ToText() + reqs.Value("Tag").ToText());
      const std::string name = reqs.Value("RequirementName").ToText();
      if (!name.empty()) StringValue(w, tid + "-name", name);
      const bool overflow =
          reqs.Value("OverflowIND").ToLong() == 1 && !reqs.Value("OverflowText").IsNull();
      const std::string text =
          reqs.Value(overflow ? "OverflowText" : "RequirementText").ToText();
      if (!text.empty()) {
        w.Start("ATTRIBUTE-VALUE-XHTML");
        w.Start("THE-VALUE");
        WriteXhtml(w, text);
        w.End();
        w.Ref("DEFINITION", "ATTRIBUTE-DEFINITION-XHTML-REF", tid + "-text");
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

  static void WriteXhtml(Writer& w, std::string_view text) {
    w.StartNs("xhtml", "div");
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
      if (i < text.size() && text[i] != '\r' && text[i] != '\n') continue;
      w.Text(text.substr(start, i - start));
      if (i == text.size()) break;
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      w.StartNs("xhtml", "br");
      w.End();
      start = i + 1;
    }
    w.End();
  }

  void WriteValue(Writer& w, const Type& t, const std::string& req_guid, const Value& v) {
    auto field = fields_.find(v.field);
    const Field* f = field == fields_.end() ? nullptr : &field->second;
    if (f == nullptr ||
        std::find(t.fields.begin(), t.fields.end(), f) == t.fields.end()) {
      Note("values of attributes the requirement's type does not have", req_guid);
      return;
    }
    const std::string def = reqif::IdOfPair(t.guid, f->guid);
    const char* kind = Kind(f->data_type);
    if (f->data_type == kList || f->data_type == kMulti) {
      if (v.items.empty()) {
        Note("list attribute values that are not list items", req_guid + " " + f->label);
        return;
      }
      w.Start("ATTRIBUTE-VALUE-ENUMERATION");
      w.Ref("DEFINITION", "ATTRIBUTE-DEFINITION-ENUMERATION-REF", def);
      w.Start("VALUES");
      for (const std::string& item : v.items) w.RefElement("ENUM-VALUE-REF", Id(item));
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
    auto rs =
        conn_.Query(TraceSelect(false), {Variant(project_key_), Variant(project_key_)});
    std::string last_id;
    for (; !rs->IsEOF(); rs->MoveNext()) {
      if (!written_.count(rs->Value("RequirementID").ToLong()) ||
          !written_.count(rs->Value("ToID").ToLong()))
        continue;
      const std::string type = std::to_string(rs->Value("Type").ToLong());
      const std::string id =
          reqif::IdOfPair(rs->Value("FromGuid").ToText(), rs->Value("ToGuid").ToText()) +
          "-" + type;
      if (id == last_id) {
        Note("traces repeated between the same requirements", id);
        continue;
      }
      last_id = id;
      w.Line();
      w.Start("SPEC-RELATION");
      w.Identity(id, Time(rs->Value("VersionDateTime")), "");
      w.Ref("SOURCE", "SPEC-OBJECT-REF", Id(rs->Value("FromGuid").ToText()));
      w.Ref("TARGET", "SPEC-OBJECT-REF", Id(rs->Value("ToGuid").ToText()));
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
    for (int32_t r : p.requirements) {
      auto guid = req_guids_.find(r);
      if (guid == req_guids_.end()) continue;
      if (!any) w.Start("CHILDREN");
      any = true;
      Node(w, reqif::IdOfPair(p.guid, guid->second), Id(guid->second));
      w.End();
    }
    if (any) w.End();
    w.End();
  }

  void WriteSpecification(Writer& w) {
    // The GUIDs of the requirements written, for the hierarchy.
    auto rs = conn_.Query("SELECT r.ID, r.QMGUID FROM " + Table("qmRequirements") +
                              " r JOIN " + Table("qmProjectRequirements") +
                              " pr ON pr.RequirementID = r.ID AND pr.ProjectID = ?",
                          {Variant(project_key_)});
    std::unordered_set<int32_t> in_package;
    for (; !rs->IsEOF(); rs->MoveNext())
      if (written_.count(rs->Value("ID").ToLong()))
        req_guids_[rs->Value("ID").ToLong()] = rs->Value("QMGUID").ToText();
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
      for (const auto& [key, guid] : req_guids_)
        if (!in_package.count(key)) loose.push_back(key);
      std::sort(loose.begin(), loose.end());
      for (int32_t key : loose) {
        Node(w, reqif::IdOfPair(summary_.project_guid, req_guids_[key]),
             Id(req_guids_[key]));
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
  std::map<int32_t, Type> types_;
  std::vector<int32_t> type_order_;
  std::map<int32_t, Package> packages_;
  std::vector<int32_t> roots_;
  bool chosen_only_ = false;
  std::unordered_set<int32_t> chosen_reqs_;
  std::unordered_set<int32_t> written_;
  std::unordered_map<int32_t, std::string> req_guids_;
};

}  // namespace

ReqifExportSummary ExportReqif(const DatabaseLocator& db, const std::string& file,
                               const ReqifExportOptions& options) {
  if (file.size() >= 7 &&
      EqualsNoCase(std::string_view(file).substr(file.size() - 7), ".reqifz"))
    throw Error(eErr_NotAvailable, kSource,
                "Writing zip archives (.reqifz) is not offered; name the file .reqif.");
  // The same rules as every file the tool writes: never the database or its
  // key, only a regular file or a new name, written to a new temporary file
  // (created exclusively, never through a link) and renamed when complete.
  CheckOutputFile(db, file);
  auto conn = OpenProjectDatabase(db);
  ReqifExportSummary summary;
  std::string part;
  const int fd = xml::CreateTempFile(file, &part);
  if (fd < 0)
    throw Error(eErr_FileNotFound, kSource,
                "Cannot create a file beside " + file + ": " + std::strerror(errno) + ".");
  ::close(fd);
  conn->SetLockWait(5000);
  conn->BeginSnapshot();
  try {
    Exporter(*conn, options, &summary).Run(part);
    std::error_code ec;
    std::filesystem::rename(part, file, ec);
    if (ec)
      throw Error(eErr_FileNotFound, kSource,
                  "Cannot name the finished export " + file + ": " + ec.message() + ".");
  } catch (...) {
    conn->Rollback();
    std::remove(part.c_str());
    throw;
  }
  conn->Commit();
  return summary;
}

}  // namespace qmxml
