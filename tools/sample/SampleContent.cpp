// SampleContent: the second job of the sample-project generator: the
// package tree with its group rights, the documents with their history,
// and the requirements, about a hundred per package, with their history,
// attribute and list values, long texts in the overflow tables, resources,
// and the traces between them.
#include <algorithm>
#include <cstdio>

#include "sample/SampleSupport.h"

namespace qmxml::sample {
namespace {

const char* const kAreas[] = {
    "Mission Planning", "Telemetry",       "Commanding",
    "Archive",          "Flight Dynamics", "Operator Interface",
};
const char* const kSubAreas[] = {
    "Alarm handling", "Pass planning",    "Frame decoding",  "Limit checks",
    "Reports",        "Time | Frequency", "User roles",      "Datenübertragung",
    "Replay",         "Orbit files",      "Antenna control", "Command stacks",
    "Audit trail",    "Quick look",       "Interfaces",
};
const char* const kDocShort[] = {"Vision", "SRS", "Use Cases", "Test Plan"};
const char* const kChangeReasons[] = {
    "Wording clarified after the review",
    "Priority changed by the customer",
    "Split into two requirements",
    "Aligned with the interface control document",
    "Typo fixed",
    "Limit values updated – siehe Protokoll vom Montag",
    "Moved to the \"Telemetry\" package",
};
const char* const kTerms[] = {
    "Pass",      "Frame",        "Uplink",      "Downlink",
    "Ephemeris", "Housekeeping", "Telecommand", "Leitstand",
};
const char* const kSources[] = {
    "Customer workshop",   "Operations concept v2.3",
    "ECSS-E-ST-70C §5.4",  "Interview with the Leitstand team",
    "RFC 3339 | ISO 8601", "Lessons learned from \"Atlas 1\"",
};

const int kRights[] = {1, 3, 7, 15, 31};

std::string Pad(int64_t n, int width) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%0*lld", width, static_cast<long long>(n));
  return buf;
}

std::string Number(double d) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.15g", d);
  return buf;
}

// When the |index|-th of |count| requirements was first written: spread
// over the first 800 days of the project.
int64_t Created(const Model& m, int64_t index, int64_t count) {
  return m.project_start + index * 800 * kDay / std::max<int64_t>(count, 1);
}

// ---- packages and documents ----

void WritePackages(Model& m, Rng& rng) {
  const int count = std::max(1, (m.requirements + 99) / 100);
  const int roots = std::min(count, 3);
  Insert packages(m.db, "QmPackages",
                  {"ID", "PROJECTID", "NAME", "DESCRIPTION", "QMGUID", "PARENTID"});
  Insert rights(m.db, "qmPackageUsers",
                {"packageid", "usergroupid", "packageaccessrights",
                 "requirementaccessrights", "documentaccessrights", "viewaccessrights"});
  for (int i = 0; i < count; ++i) {
    Package p;
    p.key = i + 1;
    p.guid = MakeGuid(rng);
    p.first_req = static_cast<int32_t>(int64_t{i} * m.requirements / count);
    p.req_count =
        static_cast<int32_t>(int64_t{i + 1} * m.requirements / count) - p.first_req;
    if (i < roots) {
      p.name = kAreas[i];
    } else {
      // Below the first top-level package hangs a chain three deep; the
      // other parents are one of the last few packages, which makes the
      // tree grow deep; five levels below a top-level package at most.
      if (i < roots + 3) p.parent = i == roots ? 0 : i - 1;
      for (int tries = 0; tries < 4 && p.parent < 0; ++tries) {
        int j = i - 1 - static_cast<int>(rng.Below(std::min(i, 4)));
        if (m.packages[j].depth < 5) p.parent = j;
      }
      if (p.parent < 0) p.parent = static_cast<int>(rng.Below(roots));
      p.depth = m.packages[p.parent].depth + 1;
      p.name = std::string(rng.Pick(kSubAreas)) + " " + std::to_string(p.key);
    }
    std::string description =
        rng.Percent(20) ? "" : BarsStored(Paragraphs(rng, rng.Between(1, 2)));
    std::optional<int32_t> parent;
    if (p.parent >= 0) parent = m.packages[p.parent].key;
    packages.Row(p.key, m.project_key, BarsStored(p.name), description, p.guid, parent);
    // Administrators and engineers hold rights on every package, the
    // others on some.
    for (size_t g = 0; g < m.groups.size(); ++g) {
      if (g == 0) {
        rights.Row(p.key, m.groups[g].key, 255, 255, 255, 255);
      } else if (g == 1 || rng.Percent(50)) {
        int r[4];  // on the package, its requirements, documents, views
        for (int& one : r) one = rng.Pick(kRights);
        rights.Row(p.key, m.groups[g].key, r[0], r[1], r[2], r[3]);
      }
    }
    m.packages.push_back(std::move(p));
  }
}

void WriteDocuments(Model& m, Rng& rng) {
  Insert docs(m.db, "qmDocuments",
              {"ID",
               "DocumentTypeID",
               "Name",
               "Description",
               "ItemLabel",
               "ProtectState",
               "UnlockToRevise",
               "DeferredRenumber",
               "DeferredRestyle",
               "FileDirectory",
               "FileName",
               "FileExtension",
               "FileDateTime",
               "FileSize",
               "FileFlags",
               "FileVersion",
               "VersionNumber",
               "VersionLabel",
               "VersionUserID",
               "VersionDateTime",
               "VersionReason",
               "OfflineFullPath",
               "OfflineStatus",
               "QMGUID",
               "Flags"});
  Insert project_docs(m.db, "qmProjectDocuments", {"ProjectID", "DocumentID"});
  Insert history(m.db, "qmDocumentHistory",
                 {"DocumentID", "VersionNumber", "VersionLabel", "VersionUserID",
                  "VersionDateTime", "VersionReason", "OverflowIND", "Flags"});
  Insert related(m.db, "QmUserDefinedDocRelValues",
                 {"DOCUMENTID", "FIELDID", "RELATEDITEMID"});
  Insert members(m.db, "QmPackageElements", {"PACKAGEID", "DOCUMENTID"});
  const int count = static_cast<int>(m.packages.size());
  for (int i = 0; i < count; i += 3) {
    Package& p = m.packages[i];
    Document d{static_cast<int32_t>(m.documents.size() + 1),
               static_cast<int>(rng.Below(static_cast<uint32_t>(m.doc_types.size()))), i};
    const DocType& type = m.doc_types[d.doc_type];
    std::string guid = MakeGuid(rng);
    std::string file =
        "ATL-" + std::string(kDocShort[d.doc_type]).substr(0, 3) + "-" + Pad(d.key, 3);
    for (char& c : file)
      if (c == ' ') c = '_';
    std::optional<std::string> directory, offline;
    if (!rng.Percent(15)) directory = "C:\\Projects\\Atlas\\Documents";
    if (rng.Percent(20)) offline = "D:\\Offline\\" + file + "." + type.extension;
    // Versions of the document, the last one is its stamp.
    int64_t when = Created(m, p.first_req, m.requirements) + rng.Between(1, 20) * kDay;
    const int versions = rng.Between(1, 3);
    int32_t user = 0;
    std::string label, reason;
    for (int v = 1; v <= versions; ++v) {
      if (v > 1) when += rng.Between(10, 120) * kDay;
      user = m.AnyUser(rng).key;
      label = v == versions && rng.Percent(40) ? "Approved" : "";
      reason = v == 1 ? "Document created" : rng.Pick(kChangeReasons);
      history.Row(d.key, std::to_string(v), label, user, Stamp(when), reason, 0,
                  v == 1 ? 1 : 0);
    }
    const std::string description = BarsStored(Paragraphs(rng, rng.Between(1, 3)));
    const int item_label = rng.Below(2), protect = rng.Below(3), unlock = rng.Below(2);
    const int size = rng.Between(40, 900) * 1024;
    docs.Row(d.key, type.key,
             BarsStored(std::string(kDocShort[d.doc_type]) + " – " + p.name), description,
             item_label, protect, unlock, 0, 0, directory, file, type.extension,
             Stamp(when + 3600), size, 0, versions, std::to_string(versions), label, user,
             Stamp(when), reason, offline, offline ? 1 : 0, guid, 0);
    project_docs.Row(m.project_key, d.key);
    members.Row(p.key, d.key);
    // A document carries its status and its release as related values.
    const Field& status = m.fields[kStatus];
    related.Row(d.key, status.key, rng.Pick(status.items));
    if (rng.Percent(50)) {
      const Field& release = m.fields[kRelease];
      related.Row(d.key, release.key, rng.Pick(release.items));
    }
    p.document = static_cast<int>(m.documents.size());
    m.documents.push_back(d);
  }
}

// ---- requirements ----

// The types' shares of a package, in percent.
int PickType(Rng& rng) {
  static const int kShare[kTypeCount] = {10, 18, 34, 8, 26, 4};
  int r = static_cast<int>(rng.Below(100));
  for (int t = 0; t < kTypeCount; ++t) {
    if (r < kShare[t]) return t;
    r -= kShare[t];
  }
  return kSoftware;
}

// A text short enough for the row in every code page.
bool FitsRow(const std::string& text) { return text.size() <= kTextBytes; }

std::string RequirementText(Rng& rng, int type) {
  std::string text;
  switch (type) {
    case kSoftware:
      do text = Sentence(rng);
      while (text.find(" shall ") == std::string::npos);
      return text;
    case kUseCase:
      text = "Main flow:\r\n1. " + Sentence(rng);
      text += "\r\n2. " + Sentence(rng);
      break;
    case kTestCase:
      text = "Verify: " + Sentence(rng) + "\r\nExpected: no alarm is raised.";
      break;
    case kTerm:
      return std::string(rng.Pick(kTerms)) + ": the term as the operators use it.";
    default:
      return Sentence(rng);
  }
  return FitsRow(text) ? text : Sentence(rng);
}

// One requirement of a package before it is written: its place in the
// tag hierarchy.
struct Pending {
  int type = 0;
  int32_t tag = 0;
  int32_t children = 0;
  std::string long_tag;
};

class RequirementWriter {
 public:
  explicit RequirementWriter(Model& m)
      : m_(m),
        rng_(m.seed, 3),
        reqs_(m.db, "qmRequirements",
              {"ID",
               "RequirementTypeID",
               "Tag",
               "LastChildTag",
               "BookmarkName",
               "BookmarkDocumentID",
               "DocumentPosition",
               "LongTagNumber",
               "RequirementPrefix",
               "RequirementName",
               "RequirementText",
               "OverflowIND",
               "Deleted",
               "VersionNumber",
               "VersionLabel",
               "VersionUserID",
               "VersionDateTime",
               "VersionReason",
               "QMGUID",
               "Flags",
               "LastDocText",
               "SuspectDateTime"}),
        project_reqs_(m.db, "qmProjectRequirements", {"ProjectID", "RequirementID"}),
        members_(m.db, "QmPackageElements", {"PACKAGEID", "REQUIREMENTID"}),
        overflow_(m.db, "QmOverflowText", {"OverFlowID", "OverflowText"}),
        history_(m.db, "qmRequirementHistory",
                 {"RequirementID", "VersionNumber", "VersionLabel", "VersionUserID",
                  "VersionDateTime", "VersionReason", "OverflowIND", "Flags"}),
        history_overflow_(m.db, "QmOverflowHistory",
                          {"OverFlowHistoryType", "OverFlowID", "OverFlowVersionNumber",
                           "OverflowVersionReason"}),
        values_(
            m.db, "qmUserDefinedFieldValues",
            {"REQUIREMENTID", "FIELDID", "FieldValue", "OVERFLOWIND", "NumericValue"}),
        value_overflow_(
            m.db, "QmOverflowValues",
            {"OverFlowRequirementID", "OverFlowFieldID", "OverflowFieldValue"}),
        list_values_(m.db, "qmUserDefinedListValues",
                     {"RequirementID", "FieldID", "ListItemID"}),
        resources_(m.db, "QmResources",
                   {"ID", "NAME", "TYPE", "REQUIREMENTID", "RESOURCEOBJ", "QMGUID",
                    "Flags", "VERSIONDATETIME"}) {}

  void Run() {
    m_.req_type.resize(m_.requirements);
    m_.req_package.resize(m_.requirements);
    int next_tenth = 1;
    for (size_t p = 0; p < m_.packages.size(); ++p) {
      WritePackage(static_cast<int>(p));
      const Package& pkg = m_.packages[p];
      while (next_tenth <= 9 && int64_t{pkg.first_req + pkg.req_count} * 10 >=
                                    int64_t{m_.requirements} * next_tenth)
        m_.Tell("requirements " + std::to_string(10 * next_tenth++) + "%");
    }
  }

 private:
  void WritePackage(int p) {
    const Package& pkg = m_.packages[p];
    // First the tag hierarchy: some requirements are children of the last
    // top-level requirement of their type in the package.
    std::vector<Pending> pending;
    int last_root[kTypeCount];
    std::fill(std::begin(last_root), std::end(last_root), -1);
    for (int32_t k = 0; k < pkg.req_count; ++k) {
      Pending r;
      r.type = PickType(rng_);
      ReqType& type = m_.types[r.type];
      r.tag = ++type.last_tag;
      if (last_root[r.type] >= 0 && rng_.Percent(15)) {
        Pending& parent = pending[last_root[r.type]];
        r.long_tag = parent.long_tag + "." + Pad(++parent.children, 4);
      } else {
        r.long_tag = Pad(r.tag, 8);
        last_root[r.type] = k;
      }
      pending.push_back(std::move(r));
    }
    for (int32_t k = 0; k < pkg.req_count; ++k)
      WriteRequirement(p, pkg.first_req + k, pending[k]);
  }

  void WriteRequirement(int p, int32_t index, const Pending& r) {
    const Package& pkg = m_.packages[p];
    const ReqType& type = m_.types[r.type];
    const int32_t key = index + 1;
    m_.req_type[index] = static_cast<uint8_t>(r.type);
    m_.req_package[index] = p;

    // Text: the first requirement and a few others get a long text, whose
    // full form lives in the overflow table (bars kept there, since it is
    // stored as a parameter) and whose head stays in the row.
    const bool long_text = index == 0 || rng_.Percent(4);
    std::string text =
        long_text ? LongText(rng_, 300 + rng_.Below(500)) : RequirementText(rng_, r.type);
    std::string row_text = long_text ? Head(text, kTextHead) : text;
    std::optional<std::string> name;
    if (r.type == kTerm && !long_text)
      name = text.substr(0, text.find(':'));
    else if (r.type != kSoftware || !rng_.Percent(20))
      name = BarsStored(Title(rng_));

    // Location in the package's document.
    std::optional<std::string> bookmark;
    std::optional<int32_t> document;
    int32_t position = 0, last_doc_text = 0;
    if (pkg.document >= 0 &&
        (m_.doc_types[m_.documents[pkg.document].doc_type].req_type == r.type ||
         rng_.Percent(30))) {
      Document& doc = m_.documents[pkg.document];
      char buf[24];
      std::snprintf(buf, sizeof buf, "_RQ%06X", static_cast<unsigned>(key));
      bookmark = buf;
      document = doc.key;
      position = ++doc.positions;
      last_doc_text = rng_.Below(2);
    }

    // Versions: history rows for every version, the last one is the stamp.
    int64_t when = Created(m_, index, m_.requirements) + rng_.Between(0, 10 * 3600);
    const int roll = static_cast<int>(rng_.Below(100));
    const int versions = index == 0  ? 3
                         : roll < 50 ? 1
                         : roll < 80 ? 2
                         : roll < 95 ? 3
                                     : 4;
    int32_t user = 0;
    std::string label, reason;
    for (int v = 1; v <= versions; ++v) {
      if (v > 1) when += rng_.Days(3, 90, 7200);
      user = m_.AnyUser(rng_).key;
      label = v > 1 && rng_.Percent(20) ? "Baseline 1." + std::to_string(v - 1) : "";
      reason = v == 1 ? "Initial version" : rng_.Pick(kChangeReasons);
      std::string version = std::to_string(v);
      if (v < versions && (index == 0 || rng_.Percent(3))) {
        std::string full = LongText(rng_, 300);
        history_overflow_.Row("Requirement", key, version, full);
        history_.Row(key, version, label, user, Stamp(when), Head(full, kValueUnits), 1,
                     0);
      } else {
        history_.Row(key, version, label, user, Stamp(when), reason, 0,
                     v == 1 || rng_.Percent(60) ? 1 : 0);
      }
    }
    std::optional<std::string> suspect;
    if (rng_.Percent(3)) suspect = Stamp(when + rng_.Between(1, 30) * kDay);

    const int deleted = rng_.Percent(1) ? 1 : 0;
    const std::string guid = MakeGuid(rng_);
    const int flags = rng_.Percent(10) ? 1 : 0;
    reqs_.Row(key, type.key, r.tag, r.children, bookmark, document, position, r.long_tag,
              type.prefix, name, BarsStored(row_text), long_text ? 1 : 0, deleted,
              std::to_string(versions), label, user, Stamp(when), reason, guid, flags,
              last_doc_text, suspect);
    if (long_text) overflow_.Row(key, text);
    project_reqs_.Row(m_.project_key, key);
    members_.Row(pkg.key, key);

    WriteValues(key, type, when);
    if (index == 0 || rng_.Percent(2)) WriteResources(key, when);
  }

  void WriteValues(int32_t key, const ReqType& type, int64_t when) {
    for (int f : type.fields) {
      const Field& field = m_.fields[f];
      if (!field.values) continue;
      switch (field.data_type) {
        case kList:
          if (rng_.Percent(85)) list_values_.Row(key, field.key, rng_.Pick(field.items));
          break;
        case kMulti:
          if (rng_.Percent(60)) WriteChoices(key, field);
          break;
        case kText:
          WriteText(key, f);
          break;
        case kInteger:
          if (rng_.Percent(60)) {
            int n = rng_.Between(1, 40);
            values_.Row(key, field.key, std::to_string(n), 0, static_cast<double>(n));
          }
          break;
        case kReal:
          if (rng_.Percent(60)) {
            double d = f == kCost ? rng_.Between(1000, 5000000) / 100.0
                                  : rng_.Between(1, 9) / 10.0;
            values_.Row(key, field.key, Number(d), 0, d);
          }
          break;
        case kDate:
          if (rng_.Percent(40)) {
            int64_t due = when + rng_.Between(30, 700) * kDay;
            values_.Row(key, field.key, DayText(due), 0,
                        static_cast<double>(DateSerial(due)));
          }
          break;
        case kTime:
          if (rng_.Percent(30)) {
            // Review slots every 45 minutes: a day fraction of n/32, exact in
            // binary and in a short decimal.
            int slot = rng_.Between(10, 24);
            values_.Row(key, field.key, ClockText(slot * 2700), 0, slot / 32.0);
          }
          break;
      }
    }
  }

  void WriteChoices(int32_t key, const Field& field) {
    std::vector<int32_t> items = field.items;
    const int count = rng_.Between(1, 3);
    for (int i = 0; i < count; ++i)
      std::swap(items[i], items[i + rng_.Below(static_cast<uint32_t>(items.size() - i))]);
    items.resize(count);
    std::sort(items.begin(), items.end());
    for (int32_t item : items) list_values_.Row(key, field.key, item);
  }

  void WriteText(int32_t key, int f) {
    const Field& field = m_.fields[f];
    std::string value;
    if (f == kRationale) {
      if (!long_value_done_ || rng_.Percent(45)) {
        // One long rationale early on, then one in ten.
        value = !long_value_done_ || rng_.Percent(10)
                    ? LongText(rng_, 300 + rng_.Below(300))
                    : Sentence(rng_);
        long_value_done_ = true;
      }
    } else if (f == kSource) {
      if (rng_.Percent(50)) value = rng_.Pick(kSources);
    } else if (f == kOwner) {
      if (rng_.Percent(60)) value = m_.AnyUser(rng_).full_name;
    }
    if (value.empty()) return;
    if (Units(value) <= kValueUnits) {
      values_.Row(key, field.key, value, 0, 0.0);
      return;
    }
    values_.Row(key, field.key, Head(value, kValueUnits), 1, 0.0);
    value_overflow_.Row(key, field.key, value);
  }

  void WriteResources(int32_t key, int64_t when) {
    const int count = rng_.Between(1, 2);
    for (int i = 0; i < count; ++i) {
      const int32_t id = ++m_.last_resource;
      Bytes bytes;
      std::string name, type;
      switch (rng_.Below(3)) {
        case 0: {
          static const uint8_t kPng[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
          bytes.assign(std::begin(kPng), std::end(kPng));
          name = "figure-" + std::to_string(id) + ".png";
          type = "image/png";
          break;
        }
        case 1: {
          const std::string head = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
          bytes.assign(head.begin(), head.end());
          name = "Spezifikation " + std::to_string(id) + ".pdf";
          type = "application/pdf";
          break;
        }
        default: {
          const std::string notes = Paragraphs(rng_, 3);
          bytes.assign(notes.begin(), notes.end());
          name = "notes-" + std::to_string(id) + ".txt";
          type = "text/plain";
          break;
        }
      }
      if (type != "text/plain") {
        const int size = rng_.Between(64, 2048);
        for (int b = 0; b < size; ++b)
          bytes.push_back(static_cast<uint8_t>(rng_.Next() >> 56));
      }
      const std::string guid = MakeGuid(rng_);
      const int flags = rng_.Below(2);
      resources_.Row(id, name, type, key, bytes, guid, flags, Stamp(when));
    }
  }

  Model& m_;
  Rng rng_;
  bool long_value_done_ = false;
  Insert reqs_, project_reqs_, members_, overflow_, history_, history_overflow_, values_,
      value_overflow_, list_values_, resources_;
};

// ---- traces ----

// The type whose requirements a requirement of |type| is traced from, or
// -1. Software requirements come from user requirements or use cases.
int Upstream(Rng& rng, int type) {
  switch (type) {
    case kUserNeed:
      return kFeature;
    case kSoftware:
      return rng.Percent(70) ? kUserNeed : kUseCase;
    case kTestCase:
      return kSoftware;
    default:
      return -1;
  }
}

void WriteTraces(Model& m, Rng& rng) {
  Insert traces(m.db, "QmToRelationships",
                {"RequirementID", "ExternalProjectID", "ToID", "ExternalProjectToID",
                 "State", "Type", "Name", "VersionDateTime"});
  std::vector<int32_t> by_type[kTypeCount];  // indexes, ascending
  for (int32_t i = 0; i < m.requirements; ++i) by_type[m.req_type[i]].push_back(i);
  for (int32_t i = 0; i < m.requirements; ++i) {
    const int from_type = Upstream(rng, m.req_type[i]);
    if (from_type < 0) continue;
    const Package& pkg = m.packages[m.req_package[i]];
    const std::vector<int32_t>& pool = by_type[from_type];
    const auto earlier = static_cast<uint32_t>(
        std::lower_bound(pool.begin(), pool.end(), i) - pool.begin());
    int32_t first = -1;
    const int count = rng.Percent(30) ? 2 : 1;
    for (int n = 0; n < count; ++n) {
      int32_t from = -1;
      // Mostly from the same package; else, and when the package has none,
      // from anywhere before, which crosses packages.
      if (rng.Percent(75) && i > pkg.first_req) {
        for (int tries = 0; tries < 8 && from < 0; ++tries) {
          int32_t j =
              pkg.first_req +
              static_cast<int32_t>(rng.Below(static_cast<uint32_t>(i - pkg.first_req)));
          if (m.req_type[j] == from_type) from = j;
        }
      }
      if (from < 0 && earlier > 0) from = pool[rng.Below(earlier)];
      if (from < 0 || from == first) continue;
      first = from;
      int64_t when = Created(m, i, m.requirements) + rng.Between(1, 60) * kDay;
      const int suspect = rng.Percent(6) ? 1 : 0;
      const int type = rng.Percent(10) ? 1 : 0;
      traces.Row(from + 1, 0, i + 1, 0, suspect, type, "", Stamp(when));
    }
  }
}

void WriteLastTags(Model& m) {
  for (const ReqType& t : m.types)
    Exec(m.db, "UPDATE qmRequirementTypes SET LastReqNumber = " +
                   std::to_string(t.last_tag) + " WHERE ID = " + std::to_string(t.key));
}

}  // namespace

void FillContent(Model& m) {
  Rng rng(m.seed, 2);
  m.Tell("packages and documents");
  WritePackages(m, rng);
  WriteDocuments(m, rng);
  m.Tell("requirements");
  RequirementWriter(m).Run();
  m.Tell("traces");
  Rng trace_rng(m.seed, 4);
  WriteTraces(m, trace_rng);
  WriteLastTags(m);
}

}  // namespace qmxml::sample
