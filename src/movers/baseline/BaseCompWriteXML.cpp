// modBaseCompWriteXML: the table of extract kinds, the record-set loader,
// the header block, the requirement pass with its forward merges, the text
// cleaner and the baseline list file.
#include "movers/baseline/BaseCompWriteXML.h"

#include <new>

#include <cctype>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <exception>

#include "movers/content/PackageXml.h"
#include "qmxml/Error.h"
#include "frame/Guid.h"
#include "xml/XmlDoc.h"
#include "xml/Files.h"

namespace qmxml::movers::baseline {

// An entry of the baseline list, from the current row of its info set. An
// entry with a GUID column is updated in place (name, description and
// PackageGUID) when the list holds one whose GUID contains the row's;
// otherwise, and always without one, a new entry is appended.
struct ListEntry {
  const char* element;
  std::shared_ptr<Recordset> BaselineState::*info;
  const char* guid_column;
  const char* name[2];  // child and column
  const char* desc[2];
  void (*append)(xml::TextWriter& w, const Recordset& info);
};

namespace {

constexpr const char* kSource = "modBaseCompWriteXML";

// What the cleaner does with a character: 0 keep, 1 drop, else the
// replacement character.
constexpr char CleanerRule(unsigned char c) {
  switch (c) {
    case 0: case 1: case 2: case 5: case 7: case 11: case 12: case 13: case 18: case 19:
    case 21: case 31:
      return 1;
    case 26:
      return '|';
    case 30:
      return '-';
    default:
      return 0;
  }
}

// Per byte: bit 0 set when XML 1.0 cannot carry it (control characters other
// than tab, line feed and carriage return), the rest the cleaner's action
// shifted left by one. Texts are scanned a byte at a time, so a table lookup
// per byte rather than a switch.
struct ByteRules {
  unsigned short rule[256] = {};
  constexpr ByteRules() {
    for (int c = 0; c < 256; ++c) {
      const bool carried = c >= 0x20 || c == '\t' || c == '\n' || c == '\r';
      rule[c] = static_cast<unsigned short>((carried ? 0 : 1) |
                                            (static_cast<unsigned char>(CleanerRule(c)) << 1));
    }
  }
};
constexpr ByteRules kByteRules;

bool XmlCarries(unsigned char c) { return (kByteRules.rule[c] & 1) == 0; }
char CleanerAction(unsigned char c) { return static_cast<char>(kByteRules.rule[c] >> 1); }

// Whether |text| holds a byte below 0x20, eight bytes at a time: only those
// have rules, and most texts hold none.
bool HasControlByte(std::string_view text) {
  size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    uint64_t x;
    std::memcpy(&x, text.data() + i, 8);
    if ((x - 0x2020202020202020ull) & ~x & 0x8080808080808080ull) return true;
  }
  for (; i < text.size(); ++i)
    if (static_cast<unsigned char>(text[i]) < 0x20) return true;
  return false;
}

// Whether every byte of |text| passes |mask| of the rules (none has a bit of it).
bool AllPass(std::string_view text, unsigned short mask) {
  if (!HasControlByte(text)) return true;
  unsigned short seen = 0;
  for (char c : text) seen |= kByteRules.rule[static_cast<unsigned char>(c)];
  return (seen & mask) == 0;
}

// The columns that pair a row with its requirement.
const std::vector<std::string_view> kReqPair = {"RequirementTypeID",
                                                              "LongTagNumber"};

// The lists of the requirement pass, each indexed by its pairing key.
struct ReqLists {
  explicit ReqLists(const BaselineState& s)
      : field_values(s.field_values.get(), kReqPair),
        list_values(s.list_values.get(), kReqPair),
        history(s.history.get(), kReqPair),
        disc(s.disc.get(), kReqPair),
        trace_to(s.trace_to.get(), kReqPair),
        trace_from(s.trace_from.get(), kReqPair),
        resources(s.resources.get(), {"REQUIREMENTID"}) {}
  RowIndex field_values, list_values, history, disc, trace_to, trace_from, resources;
};

// Text() and Raw() as views into the row where it holds the column as text;
// a value of another kind is converted into |scratch|.
std::string_view TextView(const Recordset& rs, std::string_view column, std::string& scratch) {
  return xml::ColumnAttrText(rs, rs.FieldIndex(column), xml::kString, scratch);
}

std::string_view RawView(const Recordset& rs, std::string_view column, std::string& scratch) {
  const int i = rs.FieldIndex(column);
  if (i < 0 || rs.IsEOF()) return {};
  const Variant& v = rs.RefAt(i);
  if (const std::string* text = v.Text()) return *text;
  scratch = v.ToText();
  return scratch;
}

// |text| cleaned, as a view of itself when the cleaner leaves it as it is.
std::string_view Cleaned(std::string_view text, std::string& scratch) {
  if (AllPass(text, static_cast<unsigned short>(~1u))) return text;
  scratch = CleanText(text);
  return scratch;
}

// Clean text of |column|, or of |fallback| when it is empty.
std::string_view CleanOr(const Recordset& rs, std::string_view column, std::string_view fallback,
                         std::string& scratch) {
  std::string_view text = Cleaned(TextView(rs, column, scratch), scratch);
  return text.empty() ? Cleaned(TextView(rs, fallback, scratch), scratch) : text;
}

// The field values of a requirement: a value whose last child would be
// empty says nothing and is left out, and a list left without values is
// not written.
void AppendFieldValues(xml::TextWriter& w, RowIndex& values, const std::string& key) {
  bool open = false;
  values.Take(key, [&](const Recordset& rs) {
    std::string scratch;
    const std::string_view value = CleanOr(rs, "OverflowFieldValue", "FieldValue", scratch);
    const std::string number = Text(rs, "NumericValue");
    if ((number.empty() ? value : number).empty()) return;
    if (!open) w.Open("FVs");
    open = true;
    w.Open("FV");
    AppendRawColumn(w, "FGUID", rs, "UDFGuid");
    AppendColumn(w, "FLbl", rs, "Label");
    AppendText(w, "FTxt", value);
    if (!number.empty()) AppendText(w, "FNumVal", number);
    w.Close();
  });
  if (open) w.Close();
}

void AppendListValue(xml::TextWriter& w, const Recordset& rs) {
  w.Open("LV");
  AppendRawColumn(w, "LGUID", rs, "ListGUID");
  AppendColumn(w, "LLbl", rs, "Label");
  AppendCleanColumn(w, "LITxt", rs, "ItemText");
  AppendRawColumn(w, "UDF", rs, "UDFGUID");
  w.Close();
}

void AppendDiscussionRef(xml::TextWriter& w, const Recordset& rs) {
  w.Open("Disc");
  AppendRawColumn(w, "DID", rs, "DiscID");
  AppendColumn(w, "Subj", rs, "Subject");
  w.Close();
}

// Column names of one trace direction.
struct TraceColumns {
  const char* id;
  const char* guid;
  const char* prefix;
  const char* version;
};
constexpr TraceColumns kTraceTo{"ToID", "ToGuid", "ReqToPrefix", "ReqToVersionNo"};
constexpr TraceColumns kTraceFrom{"ReqFromID", "FromGuid", "ReqFromPrefix", "ReqFromVersionNo"};

// The row of the external-requirement table of |project| whose column 0 is
// |key|, or nullptr (the table is left on that row).
Recordset* FindExternalRequirement(const BaselineState& s, const std::string& project,
                                   const std::string& key) {
  if (!s.ext_reqs || project.empty()) return nullptr;
  auto table = s.ext_reqs->Get<Recordset>(project);
  if (!table || table->Columns().size() < 6) return nullptr;
  for (table->MoveFirst(); !table->IsEOF(); table->MoveNext())
    if (table->RefAt(0).ToText() == key) return table.get();
  return nullptr;
}

void AppendTrace(const BaselineState& s, xml::TextWriter& item, const Recordset& rs,
                 const TraceColumns& cols) {
  const bool report = s.kind->report;
  const bool by_guid = s.kind->by_guid;
  const std::string project = s.cross_project ? Text(rs, "ExtProjectGuid") : std::string();
  item.Open("TReq");
  if (project.empty()) {
    AppendColumn(item, "TRID", rs, by_guid ? cols.guid : cols.id);
    AppendColumn(item, "TRTag", rs, cols.prefix);
    if (report) {
      AppendCleanColumn(item, "RText", rs, "RequirementText");
      AppendCleanColumn(item, "RName", rs, "RequirementName");
    }
    AppendColumn(item, "TRVer", rs, cols.version);
  } else {
    const std::string key = Text(rs, cols.id);
    const Recordset* ext = FindExternalRequirement(s, project, key);
    auto column = [&](int i) { return ext ? ext->RefAt(i).ToText() : std::string(); };
    AppendText(item, "TRID", by_guid ? column(1) : key);
    AppendText(item, "TRTag", column(2));
    if (report) {
      AppendText(item, "RText", CleanText(column(5)));
      AppendText(item, "RName", CleanText(column(4)));
    }
    AppendText(item, "TRVer", column(3));
    AppendText(item, "EPGUID", project);
    if (report) AppendColumn(item, "EPPrefix", rs, "ExtProjPrefix");
  }
  if (Text(rs, "State") == "1") AppendText(item, "State", "1");
  item.Close();
}

// Resources of the requirement with key |id|: rows paired by REQUIREMENTID.
void AppendResources(const BaselineState& s, xml::TextWriter& w, RowIndex& resources,
                     const std::string& id) {
  bool list = false;
  resources.Take(id, [&](const Recordset& rs) {
    const std::string guid = Text(rs, "QMGUID");
    if (guid.empty()) return;
    // The GUID names the resource file; the caller refused every one that
    // cannot before the first file was written. Should one come here, the
    // requirement is left out (and counted) rather than listing it.
    if (frame::FileGuid(guid).empty())
      throw Error(eErr_BadGuid, "modBaseCompWriteXML.AppendResources",
                  "the resource GUID \"" + guid + "\" cannot name a file");
    if (!list) w.Open("Resources");
    list = true;
    w.Open("Resource");
    AppendText(w, "GUID", guid);
    w.Close();
    if (!s.kind->report)
      package_xml::WriteResourceFile(rs, guid, s.project_guid, s.resources_folder, *s.run);
  });
  if (list) w.Close();
}

// One Req from the current "Reqs" row, with its lists.
void AppendRequirement(const BaselineState& s, xml::TextWriter& req, const Recordset& reqs,
                       ReqLists& lists) {
  const xml::TextWriter::Mark before = req.Here();
  req.Open("Req");
  try {
    AppendRawColumn(req, "GUID", reqs, "ReqGUID");
    AppendColumn(req, "Tag", reqs, "Tag");
    AppendColumn(req, "LCTag", reqs, "LastChildTag");
    AppendColumn(req, "LTNum", reqs, "LongTagNumber");
    AppendColumn(req, "RPre", reqs, "RequirementPrefix");
    std::string scratch;
    AppendText(req, "RText", CleanOr(reqs, "OverflowText", "RequirementText", scratch));
    AppendCleanColumn(req, "RName", reqs, "RequirementName");
    AppendColumn(req, "Flags", reqs, "Flags");
    AppendColumn(req, "RTID", reqs, "ReqTypeGuid");
    if (s.kind->package_guid)
      AppendColumn(req, "PGUID", reqs, "PackageGUID");
    if (Bit(reqs, "Deleted") == "1") AppendText(req, "Deleted", "1");

    const std::string key = RowIndex::KeyOf(reqs, kReqPair);
    AppendFieldValues(req, lists.field_values, key);
    FillList(req, "LVs", lists.list_values, key, AppendListValue);
    FillList(req, "History", lists.history, key, AppendRevision);
    if (!Text(reqs, "BookmarkName").empty()) {
      req.Open("RDInfo");
      AppendColumn(req, "BM", reqs, "BookmarkName");
      AppendColumn(req, "BMDoc", reqs, s.kind->by_guid ? "DocGuid" : "BookmarkDocumentID");
      AppendColumn(req, "DPos", reqs, "DocumentPosition");
      AppendColumn(req, "LDText", reqs, "LastDocText");
      req.Close();
    }
    FillList(req, "Discs", lists.disc, key, AppendDiscussionRef);
    FillList(req, "TTo", lists.trace_to, key,
             [&](xml::TextWriter& w, const Recordset& rs) { AppendTrace(s, w, rs, kTraceTo); });
    FillList(req, "TFrom", lists.trace_from, key,
             [&](xml::TextWriter& w, const Recordset& rs) { AppendTrace(s, w, rs, kTraceFrom); });
    if (s.kind->by_guid) AppendColumn(req, "SuspTS", reqs, "SuspectDateTime");
    AppendResources(s, req, lists.resources, RowIndex::KeyOf(reqs, {"ID"}));
    req.Close();
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    req.Rewind(before);
    s.run->NoteLeftOut(std::string("requirements of an extract left out (") + e.what() + ")");
  }
}

// "yyyymmdd-hh:mm:ss" of the current local time.
std::string TimeStampNow() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y%m%d-%H:%M:%S", &local);
  return buf;
}

// Sets the text of the first child |name| of |entry| (appending the child
// when it is missing).
void SetChildText(pugi::xml_node entry, const char* name, const std::string& text) {
  pugi::xml_node child = entry.child(name);
  if (!child) child = entry.append_child(name);
  child.text().set(CarriedText(text).c_str());
}

void DocEntry(xml::TextWriter& w, const Recordset& r) { AppendDocEntry(w, r, EntryForm::kList); }
void ViewEntry(xml::TextWriter& w, const Recordset& r) { AppendViewEntry(w, r, EntryForm::kList); }
const ListEntry kDocEntry{"Doc", &BaselineState::doc_info, "DocGuid", {"DocName", "Name"},
                          {"DocDescription", "Description"}, DocEntry};
const ListEntry kViewEntry{"View", &BaselineState::view_info, "ViewGuid", {"ViewName", "ViewName"},
                           {"ViewDescription", "ViewDescription"}, ViewEntry};
const ListEntry kPkgEntry{"Pkg", &BaselineState::package_info, nullptr, {}, {}, AppendPackageEntry};

// The row of |element_type|; the kOtherKind row for a value of no row.
const ExtractKind& KindOf(int32_t element_type) {
  for (const ExtractKind& k : kExtractKinds)
    if (k.element_type == element_type) return k;
  return kExtractKinds[kOtherKind];
}

}  // namespace

const ExtractKind kExtractKinds[kExtractRows] = {
    // word, ElementType, BaselineType, report, by GUID, PGUID, list entry, the run lists it,
    // scope, mover, file
    {"view", 0x20000, "DocView", false, false, true, &kViewEntry, false, Scope::kView,
     "ViewReqsMover", FileNaming::kGuidFile},
    {"document", 0x40000, "DocView", false, false, true, &kDocEntry, false, Scope::kDocument,
     "DocReqsMover", FileNaming::kGuidFile},
    {"package", 0x200000, "Package", false, true, false, &kPkgEntry, true, Scope::kPackage,
     "BaseCompPackageMover", FileNaming::kGuidFile},
    {"package", 0x400000, "Project", false, true, false, &kPkgEntry, true, Scope::kPackage,
     "BaseCompProjectMover", FileNaming::kFolder},
    {"view", 0x2000000, "", true, false, true, nullptr, false, Scope::kView,
     "ViewReqsMoverForReports", FileNaming::kNone},
    {"document", 0x2000000, "", true, false, true, nullptr, false, Scope::kDocument,
     "DocReqsMover", FileNaming::kNone},
    {"package", 0x4000000, "", true, false, false, nullptr, false, Scope::kPackage,
     "PackageMoverForReports", FileNaming::kGuidFile},
    {"", 0, "", false, false, true, nullptr, false, Scope::kPackage, "", FileNaming::kNone},
};

BaselineState LoadRecordsets(const Collection* rows, const DataDescriptor& data) {
  BaselineState s;
  auto ignore = [](auto&& step) {
    try {
      step();
    } catch (const std::exception&) {
    }
  };
  ignore([&] { s.kind = &KindOf(data.ElementType.IsEmpty() ? 0 : data.ElementType.ToLong()); });
  ignore([&] { s.cross_project = !data.CPT.IsEmpty() && data.CPT.ToBool(); });
  ignore([&] { s.project_guid = data.SpectoProject.ToText(); });
  if (data.Run != nullptr) s.run = data.Run;
  if (rows == nullptr) return s;
  struct Entry {
    const char* key;
    std::shared_ptr<Recordset> BaselineState::*set;
  };
  static const Entry kSets[] = {
      {"PackageInfo", &BaselineState::package_info},
      {"ChildPackages", &BaselineState::child_packages},
      {"PackageSecurity", &BaselineState::package_security},
      {"DocInfo", &BaselineState::doc_info},
      {"DocHistory", &BaselineState::doc_history},
      {"ViewInfo", &BaselineState::view_info},
      {"Reqs", &BaselineState::reqs},
      {"ReqsFieldValues", &BaselineState::field_values},
      {"ReqsListValues", &BaselineState::list_values},
      {"ReqsHistory", &BaselineState::history},
      {"ReqsDisc", &BaselineState::disc},
      {"ReqsDiscUser", &BaselineState::disc_user},
      {"ReqsDiscGroup", &BaselineState::disc_group},
      {"ReqsDiscRead", &BaselineState::disc_read},
      {"ReqsDiscReply", &BaselineState::disc_reply},
      {"ReqsDiscReplyRead", &BaselineState::disc_reply_read},
      {"ReqsTraceTo", &BaselineState::trace_to},
      {"ReqsTraceFrom", &BaselineState::trace_from},
      {"Resources", &BaselineState::resources},
  };
  for (const Entry& e : kSets) ignore([&] { s.*e.set = rows->Get<Recordset>(e.key); });
  ignore([&] { s.ext_reqs = rows->Get<Collection>("ReqsExtReqsTrace"); });
  return s;
}

bool WriteHeader(xml::TextWriter& parent, const DataDescriptor& data, const BaselineState& s,
                 bool list_form) {
  try {
    auto yes = [](const Variant& v) { return !v.IsEmpty() && !v.IsNull() && v.ToBool(); };
    AppendText(parent, "GUID", s.project_guid);
    if (list_form) {
      AppendText(parent, "Label", data.Label.ToText());
      AppendText(parent, "TimeStamp", TimeStampNow());
      AppendText(parent, "BaselineDesc", data.BaselineDesc.ToText());
    }
    if (yes(data.History)) AppendText(parent, "IncludeHistory", "1");
    if (yes(data.Discussion)) AppendText(parent, "IncludeDiscs", "1");
    if (yes(data.CPT)) AppendText(parent, "IncludeCPT", "1");
    if (!yes(data.CPT) && yes(data.Traceability)) AppendText(parent, "IncludeTraces", "1");
    if (list_form) AppendText(parent, "BaselineType", s.kind->baseline_type);
    return true;
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    s.run->NoteLeftOut(std::string("the header of an extract left out (") + e.what() + ")");
    return false;
  }
}

bool WriteRequirements(xml::TextWriter& parent, const BaselineState& s) {
  Recordset* reqs = s.reqs.get();
  if (reqs == nullptr) return true;
  try {
    ReqLists lists(s);
    for (; !reqs->IsEOF(); reqs->MoveNext()) AppendRequirement(s, parent, *reqs, lists);
    return true;
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    s.run->NoteLeftOut(std::string("the requirements of an extract left out (") + e.what() + ")");
    return false;
  }
}

void WriteBaselineList(const std::string& output_path, const DataDescriptor& data,
                       const BaselineState& state) {
  BaselineListUpdate list(output_path, data, state);
  list.Add(state);
  list.Save();
}

BaselineListUpdate::BaselineListUpdate(const std::string& output_path,
                                       const DataDescriptor& data, const BaselineState& state)
    : path_(xml::FolderOfPath(output_path) + kBaselineListFile),
      notes_(data.Run != nullptr ? &data.Run->write_notes : nullptr) {
  if (!xml::FileExists(path_)) {
    xml::TextWriter w;
    w.Open("PROJECT");
    SetSchemaAttributes(w, kBaselineListSchema);
    WriteHeader(w, data, state, true);
    doc_ = xml::ParseText(w.Finish());
    project_ = doc_->child("PROJECT");
    return;
  }
  doc_ = xml::LoadDocument(path_, std::string(kSource) + ".WriteBaselineList");
  project_ = doc_->select_node("//PROJECT").node();
  if (!project_)
    throw Error(eErr_BadDocument, std::string(kSource) + ".WriteBaselineList",
                "the file " + path_ + " holds no PROJECT element");
  SetChildText(project_, "TimeStamp", TimeStampNow());
}

void BaselineListUpdate::Add(const BaselineState& s) {
  if (s.kind->entry == nullptr) return;
  const ListEntry& e = *s.kind->entry;
  const Recordset* info = (s.*e.info).get();
  if (info == nullptr || info->IsEOF()) return;
  const std::string guid = e.guid_column ? Text(*info, e.guid_column) : std::string();
  for (pugi::xml_node entry : project_.children(e.element)) {
    const std::string listed = entry.child("GUID").text().get();
    if (guid.empty() || listed.find(guid) == std::string::npos) continue;
    SetChildText(entry, e.name[0], Text(*info, e.name[1]));
    const std::string desc = Text(*info, e.desc[1]);
    if (!desc.empty()) {
      if (!entry.child(e.desc[0])) entry.insert_child_after(e.desc[0], entry.child(e.name[0]));
      SetChildText(entry, e.desc[0], desc);
    } else if (entry.child(e.desc[0])) {
      entry.remove_child(e.desc[0]);
    }
    SetChildText(entry, "PackageGUID", Text(*info, "PackageGUID"));
    return;
  }
  xml::TextWriter fragment(false);
  e.append(fragment, *info);
  xml::AppendFragment(project_, fragment.Finish());
}

void BaselineListUpdate::Save() { xml::WriteFileBytes(path_, xml::DocumentText(*doc_, notes_)); }

std::string CleanText(std::string_view text) {
  if (AllPass(text, static_cast<unsigned short>(~1u))) return std::string(text);
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const char action = CleanerAction(static_cast<unsigned char>(c));
    if (action == 0)
      out.push_back(c);
    else if (action != 1)
      out.push_back(action);
  }
  return out;
}

void SetSchemaAttributes(xml::TextWriter& w, const char* schema) {
  w.Attr("xmlns:xsi", kSchemaInstance);
  w.Attr("xsi:noNamespaceSchemaLocation", schema);
}

void AppendText(xml::TextWriter& w, const char* name, std::string_view text) {
  if (w.PlainText(name, text)) return;
  if (AllPass(text, 1))
    w.Text(name, text);
  else
    w.Text(name, CarriedText(text));
}

std::string CarriedText(std::string_view text) {
  std::string kept;
  kept.reserve(text.size());
  for (char c : text) {
    const auto code = static_cast<unsigned char>(c);
    if (XmlCarries(code))
      kept.push_back(c);
    else if (CleanerAction(code) > 1)  // the cleaner's stand-ins for 26 and 30
      kept.push_back(CleanerAction(code));
  }
  return kept;
}

std::string Text(const Recordset& rs, std::string_view column) {
  return xml::ColumnText(rs, column);
}

void AppendColumn(xml::TextWriter& w, const char* name, const Recordset& rs,
                  std::string_view column) {
  std::string scratch;
  AppendText(w, name, TextView(rs, column, scratch));
}

void AppendRawColumn(xml::TextWriter& w, const char* name, const Recordset& rs,
                     std::string_view column) {
  std::string scratch;
  AppendText(w, name, RawView(rs, column, scratch));
}

void AppendCleanColumn(xml::TextWriter& w, const char* name, const Recordset& rs,
                       std::string_view column) {
  std::string scratch;
  std::string_view text = TextView(rs, column, scratch);
  AppendText(w, name, Cleaned(text, scratch));
}

std::string Raw(const Recordset& rs, std::string_view column) {
  std::string scratch;
  return std::string(RawView(rs, column, scratch));
}

std::string Bit(const Recordset& rs, std::string_view column) {
  Variant v = rs.ValueOr(column);
  if (v.IsEmpty() || v.IsNull()) return "0";
  try {
    return v.ToBool() ? "1" : "0";
  } catch (const Error&) {
    return "0";
  }
}

void AppendRevision(xml::TextWriter& ver, const Recordset& rs) {
  ver.Open("RVer");
  AppendRawColumn(ver, "VNum", rs, "VersionNumber");
  AppendColumn(ver, "VLbl", rs, "VersionLabel");
  AppendColumn(ver, "VUGUID", rs, "UserGuid");
  AppendColumn(ver, "VUName", rs, "FullName");
  AppendRawColumn(ver, "VDate", rs, "VersionDateTime");
  std::string scratch;
  AppendText(ver, "VResn", CleanOr(rs, "OverflowVersionReason", "VersionReason", scratch));
  AppendRawColumn(ver, "RTextFlag", rs, "Flags");
  ver.Close();
}

void AppendPackageEntry(xml::TextWriter& pkg, const Recordset& info) {
  pkg.Open("Pkg");
  AppendColumn(pkg, "GUID", info, "QMGUID");
  AppendColumn(pkg, "PkgName", info, "Name");
  const std::string desc = Text(info, "Description");
  if (!desc.empty()) AppendText(pkg, "PkgDesc", desc);
  AppendColumn(pkg, "PkgID", info, "ID");
  AppendColumn(pkg, "ParentID", info, "PARENTID");
  pkg.Close();
}

namespace {

// What a Doc entry holds beyond the list form: the document's type and
// state, its file, its version and, in the package form, its revisions.
void AppendDocDetails(xml::TextWriter& doc, const Recordset& info, EntryForm form,
                      RowIndex* history) {
  AppendText(doc, "DocTypeGUID", form == EntryForm::kPackage ? Raw(info, "DocTypeGuid")
                                                             : Text(info, "DocTypeGuid"));
  AppendText(doc, "ItemLabel", Bit(info, "ItemLabel"));
  AppendColumn(doc, "ProtectState", info, "ProtectState");
  AppendText(doc, "UnlockToRevise", Bit(info, "UnlockToRevise"));
  static const char* const kSame[] = {"DeferredRenumber", "DeferredRestyle", "FileDirectory",
                                      "FileName",         "FileExtension",   "FileDateTime",
                                      "FileSize",         "FileFlags",       "FileVersion"};
  for (const char* column : kSame) AppendColumn(doc, column, info, column);
  AppendColumn(doc, "VNum", info, "VersionNumber");
  AppendColumn(doc, "VLbl", info, "VersionLabel");
  AppendColumn(doc, "VDate", info, "VersionDateTime");
  AppendColumn(doc, "VResn", info, "VersionReason");
  AppendColumn(doc, "VUGUID", info, "VersionUserGUID");
  AppendColumn(doc, "VUName", info, "VersionUserFullName");
  if (form != EntryForm::kPackage || history == nullptr) return;
  // The document's revisions follow in "DocHistory", paired by the
  // document's GUID.
  FillList(doc, "History", *history, RowIndex::KeyOf(info, {"DocGuid"}), AppendRevision);
}

void AppendViewFields(xml::TextWriter& view, const Recordset& info, EntryForm form) {
  AppendText(view, "GUID", form == EntryForm::kPackage ? Raw(info, "ViewGuid")
                                                       : Text(info, "ViewGuid"));
  AppendColumn(view, "ViewName", info, "ViewName");
  const std::string desc = Text(info, "ViewDescription");
  if (!desc.empty()) AppendText(view, "ViewDescription", desc);
  AppendColumn(view, "ReqTypeID", info, "ReqTypeGuid");
  if (form != EntryForm::kPackage) AppendColumn(view, "PackageGUID", info, "PackageGUID");
  if (form == EntryForm::kList) return;
  AppendColumn(view, "Visibility", info, "Visibility");
  AppendColumn(view, "ViewProperties", info, "Properties");
  AppendColumn(view, "ViewQueryString", info, "QueryString");
  AppendColumn(view, "ViewQueryDefGUID", info, "QueryDefGuid");
  AppendColumn(view, "ViewUserFullName", info, "FullName");
  AppendColumn(view, "ViewUserGUID", info, "UserGuid");
  AppendColumn(view, "ViewDateTime", info, "ViewDateTime");
  const std::string reason = Text(info, "ViewReason");
  if (!reason.empty()) AppendText(view, "ViewReason", reason);
  if (form != EntryForm::kPackage) return;
  AppendColumn(view, "Type", info, "ViewType");
  const std::string secondary_query = Text(info, "SecondaryQueryDefGuid");
  if (!secondary_query.empty()) AppendText(view, "SecQueryID", secondary_query);
  const std::string secondary_type = Text(info, "SecondaryReqTypeGuid");
  if (!secondary_type.empty()) AppendText(view, "SecReqTypeID", secondary_type);
}

}  // namespace

void AppendDocEntry(xml::TextWriter& doc, const Recordset& info, EntryForm form,
                    RowIndex* history, const std::function<void()>& inside) {
  const xml::TextWriter::Mark before = doc.Here();
  doc.Open("Doc");
  try {
    const std::string guid = form == EntryForm::kPackage ? Raw(info, "DocGuid")
                                                         : Text(info, "DocGuid");
    AppendText(doc, "GUID", guid);
    AppendColumn(doc, "DocName", info, "Name");
    const std::string desc = Text(info, "Description");
    if (!desc.empty()) AppendText(doc, "DocDescription", desc);
    if (form != EntryForm::kPackage) AppendColumn(doc, "PackageGUID", info, "PackageGUID");
    if (form != EntryForm::kList) AppendDocDetails(doc, info, form, history);
    if (inside) inside();
    doc.Close();
  } catch (...) {
    doc.Rewind(before);
    throw;
  }
}

void AppendViewEntry(xml::TextWriter& view, const Recordset& info, EntryForm form,
                     const std::function<void()>& inside) {
  const xml::TextWriter::Mark before = view.Here();
  view.Open("View");
  try {
    AppendViewFields(view, info, form);
    if (inside) inside();
    view.Close();
  } catch (...) {
    view.Rewind(before);
    throw;
  }
}

namespace {

// The text of |columns| of the current row, joined by a character no key
// holds, into |key|.
void JoinKey(const Recordset& rs, const std::vector<int>& columns, std::string& key) {
  key.clear();
  for (size_t i = 0; i < columns.size(); ++i) {
    if (i > 0) key.push_back('\x1f');
    const Variant& v = rs.RefAt(columns[i]);
    if (const std::string* text = v.Text())
      key += *text;
    else
      key += v.ToText();
  }
}


std::vector<int> ColumnsOf(const Recordset& rs, const std::vector<std::string_view>& names) {
  std::vector<int> columns;
  for (std::string_view name : names) {
    const int index = rs.FieldIndex(name);
    if (index < 0) return {};
    columns.push_back(index);
  }
  return columns;
}

}  // namespace

RowIndex::RowIndex(Recordset* rs, const std::vector<std::string_view>& columns) : rs_(rs) {
  if (rs_ == nullptr) return;
  const std::vector<int> indexes = ColumnsOf(*rs_, columns);
  if (indexes.empty()) return;
  // Rows of one owner mostly stand together: the last key's list is kept.
  std::string key, last;
  std::vector<Recordset::Bookmark>* rows = nullptr;
  for (; !rs_->IsEOF(); rs_->MoveNext()) {
    JoinKey(*rs_, indexes, key);
    if (rows == nullptr || key != last) {
      rows = &rows_[key];
      last = key;
    }
    rows->push_back(rs_->GetBookmark());
  }
}

std::string RowIndex::KeyOf(const Recordset& rs, const std::vector<std::string_view>& columns) {
  const std::vector<int> indexes = ColumnsOf(rs, columns);
  if (indexes.empty() || rs.IsEOF()) return std::string("\x1e");
  std::string key;
  JoinKey(rs, indexes, key);
  return key;
}

}  // namespace qmxml::movers::baseline
