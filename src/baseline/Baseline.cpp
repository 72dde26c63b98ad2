// The baseline and report driver: chooses the project and the elements,
// selects each extract's record sets (BaselineSets.cpp) and calls the
// baseline, document/view and report movers; keeps BaselineList.XML up to
// date for the package extracts, which the package movers leave to their
// caller.
#include "qmxml/Baseline.h"

#include <stdlib.h>

#include <atomic>
#include <deque>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <mutex>
#include <sstream>
#include <thread>

#include "baseline/BaselineSets.h"
#include "movers/baseline/BaseCompWriteXML.h"
#include "qmxml/Error.h"
#include "qmxml/Mover.h"
#include "qmxml/Output.h"
#include "qmxml/ProjectDatabase.h"
#include "qmxml/Scheduler.h"
#include "frame/Guid.h"
#include "transfer/Kinds.h"
#include "transfer/OutputFolders.h"
#include "transfer/TransferSteps.h"
#include "xml/WellFormed.h"
#include "xml/WriteBehind.h"
#include "xml/XmlDoc.h"
#include "xml/Files.h"

namespace qmxml {
namespace fs = std::filesystem;
namespace bl = movers::baseline;

namespace {

constexpr const char* kSource = "Baseline";
constexpr const char* kHistoryFile = "ProjectHistory.XML";
constexpr const char* kDiscussionsFile = "Discussions.XML";
constexpr const char* kPackageListFile = "PackageList.XML";

// One element of the project chosen by key, GUID or name.
struct Element {
  int32_t key = 0;
  std::string guid;
  std::string name;
};

// The statement that finds an element in its project, per Scope: the
// project key, then the text three times; ID, QMGUID, Name.
const char* const kLookupSql[] = {
    "SELECT ID, QMGUID, NAME AS Name FROM QmPackages WHERE PROJECTID = ? AND "
    "(CAST(ID AS TEXT) = ? OR UPPER(QMGUID) = UPPER(?) OR NAME = ?) ORDER BY ID",
    "SELECT d.ID AS ID, d.QMGUID AS QMGUID, d.Name AS Name FROM qmDocuments d "
    "JOIN qmProjectDocuments pd ON pd.DocumentID = d.ID WHERE pd.ProjectID = ? AND "
    "(CAST(d.ID AS TEXT) = ? OR UPPER(d.QMGUID) = UPPER(?) OR d.Name = ?) ORDER BY d.ID",
    "SELECT ID, QMGUID, VIEWNAME AS Name FROM QmViews WHERE PROJECTID = ? AND "
    "(CAST(ID AS TEXT) = ? OR UPPER(QMGUID) = UPPER(?) OR VIEWNAME = ?) ORDER BY ID"};

// A GUID from the data names a file: only a GUID (with or without braces) may.
void CheckFileGuid(const char* word, const Element& e) {
  if (frame::FileGuid(e.guid).empty())
    throw Error(eErr_BadGuid, kSource,
                "the " + std::string(word) + " " + e.name + " (key " + std::to_string(e.key) +
                    ") has the GUID \"" + e.guid +
                    "\", which is not a well-formed GUID and cannot name a file");
}

// What the mover of |kind| is handed as the path of |e|'s extract in |folder|.
std::string Destination(const bl::ExtractKind& kind, const std::string& folder,
                        const Element& e) {
  if (kind.file == bl::FileNaming::kFolder) return folder;
  if (kind.file == bl::FileNaming::kNone) return "";
  return folder + frame::FileGuid(e.guid) + ".XML";
}

// Every resource of the project's requirements names its file by its GUID:
// one that cannot fails the run before anything is written.
void CheckResourceGuids(Connection& conn, int32_t project_key) {
  auto rs = conn.Query(
      "SELECT r.ID AS ID, r.QMGUID AS QMGUID, r.REQUIREMENTID AS REQUIREMENTID FROM QmResources r "
      "JOIN qmProjectRequirements pr ON pr.RequirementID = r.REQUIREMENTID WHERE pr.ProjectID = ?",
      {Variant(project_key)});
  for (; !rs->IsEOF(); rs->MoveNext()) {
    const std::string guid = rs->Value("QMGUID").ToText();
    if (guid.empty() || !frame::FileGuid(guid).empty()) continue;
    throw Error(eErr_BadGuid, kSource,
                "the resource (QmResources row with ID " + rs->Value("ID").ToText() +
                    ", of the requirement with key " + rs->Value("REQUIREMENTID").ToText() +
                    ") has the GUID \"" + guid +
                    "\", which is not a well-formed GUID and cannot name a file");
  }
}

Element Find(Connection& conn, int32_t project_key, const bl::ExtractKind& kind,
             const std::string& which) {
  auto rs = conn.Query(kLookupSql[static_cast<int>(kind.scope)],
                       {Variant(project_key), Variant(which), Variant(which), Variant(which)});
  if (rs->IsEOF())
    throw Error(eErr_Transfer, kSource,
                "the project holds no " + std::string(kind.word) + " with key, GUID or name " +
                    which);
  if (rs->RecordCount() > 1)
    throw Error(eErr_Transfer, kSource,
                "the project holds " + std::to_string(rs->RecordCount()) + " " + kind.word +
                    "s named " + which + "; choose one by key or GUID");
  Element e{rs->Value("ID").ToLong(), rs->Value("QMGUID").ToText(), rs->Value("Name").ToText()};
  CheckFileGuid(kind.word, e);
  return e;
}

// The extracts of one kind a baseline writes.
struct Extracts {
  const bl::ExtractKind& kind;
  std::vector<Element> elements;
};

// Calls WriteData of |mover| with |rows| on |path|.
void Write(const char* mover, const std::string& path, ObjectPtr rows, DataDescriptor& data,
           Scheduler* scheduler = nullptr) {
  SourceContainer source(path, nullptr);
  Mover().Get(mover)->WriteData(&source, &data, rows, scheduler);
}

long RequirementCount(const Collection& sets) {
  auto reqs = sets.Get<Recordset>("Reqs");
  return reqs ? static_cast<long>(reqs->RecordCount()) : 0;
}

// Reads the project's data in one snapshot (repeatable read on a server),
// so that every file of a run shows the database as it stood at the start,
// even while others write to it.
class ReadTransaction {
 public:
  explicit ReadTransaction(Connection& conn) : conn_(conn) { conn_.BeginSnapshot(); }
  ~ReadTransaction() {
    try {
      conn_.Rollback();
    } catch (...) {
    }
  }
  ReadTransaction(const ReadTransaction&) = delete;
  ReadTransaction& operator=(const ReadTransaction&) = delete;

 private:
  Connection& conn_;
};

// Takes the baseline list of |dir| into the work folder |work|, where the
// run updates it. The list must be a regular file that passes the same
// well-formedness check as every document an import reads, and must belong
// to the project of this run.
void TakeBaselineList(const fs::path& dir, const fs::path& work, const std::string& project_guid,
                      const std::string& project_name) {
  const std::string list = (dir / bl::kBaselineListFile).string();
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(list, ec))) return;
  xml::CheckReplaceable(list);
  XmlDocumentPtr doc = xml::CheckWellFormed(list);
  const std::string owner = doc->child("PROJECT").child_value("GUID");
  if (!EqualsNoCase(owner, project_guid))
    throw Error(eErr_OtherProject, kSource,
                "The baseline list " + list + " belongs to the project " +
                    (owner.empty() ? std::string("(no GUID)") : owner) + ", not to the project " +
                    project_name + " " + project_guid +
                    "; write the baseline of this project into another folder.");
  std::ifstream in(list, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (!in)
    throw Error(eErr_FileNotFound, kSource, "Cannot read the baseline list " + list + ".");
  xml::WriteFileBytes((work / bl::kBaselineListFile).string(), bytes.str());
}

// The text of a failed baseline's error: the files it names as the user
// will know them, and what failed called a baseline, not an export.
std::string BaselineFailure(const transfer::StagedFolder& staged, const std::string& text) {
  std::string out = staged.Published(text);
  const std::string exported = "Export of the ";
  if (out.compare(0, exported.size(), exported) == 0)
    out = "Baseline of the " + out.substr(exported.size());
  return out;
}

baseline::SetOptions SetOptionsOf(const BaselineOptions& o, const bl::ExtractKind& kind) {
  return {o.history, o.discussions, o.traces, o.cross_project, kind.report};
}

// The transfer context of an extract of the chosen project.
DataDescriptor ProjectContext(const transfer::ExportContext& ctx) {
  DataDescriptor data;
  data.Run = ctx.run;
  data.ProjectKey = ctx.project_key;
  data.SpectoProject = Variant(ctx.project_guid);
  return data;
}

// The transfer context every extract of this baseline shares.
DataDescriptor BaselineContext(const transfer::ExportContext& ctx, const BaselineOptions& o) {
  DataDescriptor data = ProjectContext(ctx);
  data.Label = Variant(o.label);
  data.BaselineDesc = Variant(o.description);
  data.History = Variant(o.history);
  data.Discussion = Variant(o.discussions);
  data.Traceability = Variant(o.traces);
  data.CPT = Variant(o.cross_project);
  return data;
}

void Tell(const ProgressFn& progress, const std::string& what) {
  if (progress) progress(what);
}

// The info sets of an extract, all its baseline list entry needs.
std::shared_ptr<Collection> ListedSets(const Collection& sets) {
  auto listed = std::make_shared<Collection>();
  for (const char* key : {"PackageInfo", "DocInfo", "ViewInfo"})
    if (sets.Contains(key)) listed->Add(sets.Item(key), key);
  return listed;
}

// One of the threads that write a run's extracts: a connection of its own
// (on the run's snapshot), and its own state, context and counts, which
// are added to the run's once every extract is written.
struct ExtractWriter {
  Connection* conn = nullptr;
  TransferState run;
  DataDescriptor data;
  std::optional<baseline::NameTables> names;
  long requirements = 0;
  long files = 0;
  // The element whose extract failed, and how.
  size_t failed_at = 0;
  std::exception_ptr failure;
};

// Writes the extract of each of |x.elements| into ctx.dir, and the entries
// the run lists once every file is written. |whole|: the list even for no
// package, and progress told every 100 packages, not by name. |beside|
// writes what else the run writes, on the last thread before it takes
// elements; it fails the run only when no element does.
//
// With a second connection on the run's snapshot (ctx.aside), for the kinds
// whose list the run keeps, two threads take the elements in turn, each
// reading an extract's sets and writing them: the rows stay with the thread
// (and the core) that read them. The run fails with the error of the first
// element that failed, as it would writing one element after another.
void WriteEach(transfer::ExportContext& ctx, const BaselineOptions& o, const Extracts& x,
               DataDescriptor& data, BaselineSummary& summary, bool whole = false,
               const std::function<void(ExtractWriter&)>& beside = nullptr) {
  if (x.elements.empty() && !whole) return;
  const std::string folder = ctx.dir.string() + "/";
  data.ElementType = Variant(x.kind.element_type);
  std::optional<bl::BaselineListUpdate> list;
  if (x.kind.caller_lists)
    list.emplace(folder + bl::kBaselineListFile, data, bl::LoadRecordsets(nullptr, data));
  std::vector<std::shared_ptr<Collection>> listed(x.elements.size());

  // The movers of kinds the run does not list update the list file
  // themselves, one extract after another.
  const bool two = ctx.aside && x.kind.caller_lists && x.elements.size() > 1;
  std::deque<ExtractWriter> writers(two ? 2 : 1);
  std::atomic<size_t> next{0};
  std::atomic<size_t> done{0};
  std::atomic<bool> failed{false};
  std::mutex telling;
  auto tell = [&](const std::string& what) {
    std::lock_guard<std::mutex> lock(telling);
    Tell(ctx.progress, what);
  };
  auto write = [&](ExtractWriter& w) {
    if (beside && &w == &writers.back()) {
      try {
        beside(w);
      } catch (...) {
        w.failure = std::current_exception();
        w.failed_at = x.elements.size();
      }
    }
    for (size_t i; !failed && (i = next++) < x.elements.size();) {
      const Element& e = x.elements[i];
      try {
        if (!whole) tell(std::string(x.kind.word) + " " + e.name);
        if (!w.names) w.names = baseline::ReadNameTables(*w.conn);
        auto sets = baseline::ReadExtractSets(*w.conn, *w.names, x.kind.scope, e.key,
                                              ctx.project_key, SetOptionsOf(o, x.kind));
        baseline::PairExtractSets(*sets);
        w.requirements += RequirementCount(*sets);
        w.data.ElementGUID = Variant(e.guid);
        ObjectPtr rows = sets;
        if (x.kind.file == bl::FileNaming::kFolder) {  // a collection of packages' sets
          auto item = std::make_shared<Collection>();
          item->Add(Variant(rows));
          rows = item;
        }
        Write(x.kind.mover, Destination(x.kind, folder, e), rows, w.data);
        if (list) listed[i] = ListedSets(*sets);
        ++w.files;
        if (whole && ++done % 100 == 0)
          tell("  " + std::to_string(done) + " of " + std::to_string(x.elements.size()) +
               " packages");
      } catch (...) {
        if (!w.failure || i < w.failed_at) {
          w.failure = std::current_exception();
          w.failed_at = i;
        }
        failed = true;
        return;
      }
    }
  };
  for (size_t t = 0; t < writers.size(); ++t) {
    ExtractWriter& w = writers[t];
    w.conn = t == 0 ? ctx.conn : ctx.aside.get();
    w.run.files = ctx.run->files;
    w.run.services = ctx.run->services;
    w.data = data;
    w.data.Run = &w.run;
  }
  {
    std::thread second;
    if (writers.size() > 1) second = std::thread(write, std::ref(writers[1]));
    write(writers[0]);
    if (second.joinable()) second.join();
  }
  const ExtractWriter* first_failed = nullptr;
  for (const ExtractWriter& w : writers) {
    if (w.failure && (!first_failed || w.failed_at < first_failed->failed_at)) first_failed = &w;
    ctx.run->Add(w.run);
    summary.requirements += w.requirements;
    summary.files[x.kind.word] += w.files;
  }
  if (first_failed) std::rethrow_exception(first_failed->failure);
  if (!list) return;
  for (const auto& sets : listed) list->Add(bl::LoadRecordsets(sets.get(), data));
  if (ctx.run->files != nullptr) ctx.run->files->Finish(&ctx.run->write_notes);
  list->Save();
}

// Every package of the project through the project mover, then the project
// history, the package list and the discussions.
void WriteWholeProject(transfer::ExportContext& ctx, const BaselineOptions& o,
                       BaselineSummary& summary) {
  const std::string folder = ctx.dir.string() + "/";
  transfer::CheckPackageTree(*ctx.conn, ctx.project_key);
  auto packages = baseline::PackageListRows(*ctx.conn, ctx.project_key);
  Extracts all{bl::kExtractKinds[bl::kProjectExtract], {}};
  for (packages->MoveFirst(); !packages->IsEOF(); packages->MoveNext()) {
    Element e{packages->Value("ID").ToLong(), packages->Value("PackageGUID").ToText(),
              packages->Value("NAME").ToText()};
    CheckFileGuid(all.kind.word, e);
    all.elements.push_back(e);
  }
  // The project's own files are written beside the packages.
  auto project_files = [&](ExtractWriter& w) {
    DataDescriptor data = w.data;
    data.ElementGUID = Variant(ctx.project_guid);
    Write("BaseCompProjHistoryMover", folder + kHistoryFile,
          baseline::ProjectHistoryRows(*w.conn, ctx.project_key), data);
    packages->MoveFirst();
    Write("BaseCompPckListMover", folder + kPackageListFile, packages, data);
    if (o.discussions)
      Write("BaseCompDiscsMover", folder + kDiscussionsFile,
            baseline::DiscussionSets(*w.conn, ctx.project_key), data);
  };
  DataDescriptor data = BaselineContext(ctx, o);
  WriteEach(ctx, o, all, data, summary, true, project_files);
  ++summary.files["project history"];
  ++summary.files["package list"];
  if (o.discussions) ++summary.files["discussions"];
}

// |summary| with what the writers left out; a strict run fails on any.
BaselineSummary LeftOut(const TransferState& run, BaselineSummary& summary, bool strict) {
  summary.left_out = run.left_out;
  if (strict) transfer::FailOnLeftOut(summary.left_out, "baseline");
  return summary;
}

// Writes the extracts the options ask for into |ctx.dir|: |chosen|, or the
// whole project when it names no element.
void WriteExtracts(transfer::ExportContext& ctx, const BaselineOptions& options,
                   const std::vector<Extracts>& chosen, BaselineSummary& summary) {
  // Files are created on a second thread while the next extract is built;
  // the baseline list itself is always written at once. They go straight to
  // their names: |ctx.dir| is the run's own work folder, which is moved into
  // place only once every file is complete.
  xml::WriteBehind files(xml::WriteBehind::Files::kInPlace);
  ctx.run->files = &files;
  struct Forget {
    TransferState& run;
    ~Forget() { run.files = nullptr; }
  } forget{*ctx.run};

  bool whole = true;
  for (const Extracts& x : chosen) whole = whole && x.elements.empty();
  if (whole) {
    Tell(ctx.progress, "whole project " + summary.project_name);
    WriteWholeProject(ctx, options, summary);
  }
  DataDescriptor data = BaselineContext(ctx, options);
  for (const Extracts& x : chosen) WriteEach(ctx, options, x, data, summary);
  files.Finish(&ctx.run->write_notes);
}

}  // namespace

BaselineSummary WriteBaseline(const DatabaseLocator& db, const std::string& dir,
                              const BaselineOptions& options) {
  auto conn = OpenProjectDatabase(db);
  BaselineSummary summary;
  transfer::ExportContext ctx;
  ctx.conn = conn.get();
  ctx.progress = options.progress;
  ReadTransaction reading(*conn);
  TransferState run;
  ctx.run = &run;
  transfer::ChooseProject(*conn, options.project, &ctx, &summary.project_name);
  summary.project_key = ctx.project_key;
  summary.project_guid = ctx.project_guid;
  ctx.aside = conn->OpenSnapshotReader();

  // Every name is resolved before anything is written.
  std::vector<Extracts> chosen;
  for (auto [row, names] : {std::pair(bl::kPackageExtract, &options.packages),
                            std::pair(bl::kDocumentExtract, &options.documents),
                            std::pair(bl::kViewExtract, &options.views)}) {
    // Braces: an aggregate made in place from parentheses is beyond clang 14.
    Extracts& x = chosen.emplace_back(Extracts{bl::kExtractKinds[row], {}});
    for (const std::string& name : *names)
      x.elements.push_back(Find(*conn, ctx.project_key, x.kind, name));
  }
  for (const Extracts& x : chosen)
    for (const Element& e : x.elements)
      if (x.kind.scope == bl::Scope::kView)
        baseline::CheckViewQueries(*conn, e.key, ctx.project_key);
  CheckResourceGuids(*conn, ctx.project_key);

  // Every file of the run goes to a work folder inside |dir| and is moved
  // into place, the list last, only once all are written: a run that fails
  // leaves the folder as it was.
  transfer::StagedFolder staged(dir);
  for (const fs::path& gone : staged.Removed())
    Tell(ctx.progress, "removed " + gone.string() + ", left by a baseline that did not finish");
  try {
    TakeBaselineList(dir, staged.Work(), ctx.project_guid, summary.project_name);
    ctx.dir = staged.Work();
    WriteExtracts(ctx, options, chosen, summary);
    LeftOut(run, summary, options.strict);
    staged.Commit(bl::kBaselineListFile);
  } catch (const Error& e) {
    throw e.WithDescription(BaselineFailure(staged, e.Description()));
  }
  return summary;
}

std::string WriteReport(const DatabaseLocator& db, const ReportOptions& options,
                        std::map<std::string, long>* left_out) {
  const int named = !options.package.empty() + !options.document.empty() + !options.view.empty();
  if (named != 1)
    throw Error(eErr_InvalidArgument, kSource,
                "a report needs exactly one --package, --document or --view");
  auto conn = OpenProjectDatabase(db);
  transfer::ExportContext ctx;
  ctx.conn = conn.get();
  ReadTransaction reading(*conn);
  TransferState run;
  ctx.run = &run;
  std::string project_name;
  transfer::ChooseProject(*conn, options.project, &ctx, &project_name);

  DataDescriptor data = ProjectContext(ctx);
  data.Traceability = Variant(options.reqs);
  data.IncludePkgDocsInfo = Variant(options.docs);
  data.IncludePkgViewsInfo = Variant(options.views);
  data.IncludePkgReqsInfo = Variant(options.reqs);
  baseline::SetOptions sets_options;
  sets_options.traces = options.reqs;
  Scheduler scheduler;

  const bl::ExtractKind& kind =
      bl::kExtractKinds[!options.package.empty()    ? bl::kPackageReport
                        : !options.document.empty() ? bl::kDocumentReport
                                                    : bl::kViewReport];
  Element e = Find(*conn, ctx.project_key, kind,
                   options.package + options.document + options.view);
  // A mover that writes a file creates the resource folder beside it, even
  // for a report: it gets a scratch folder that goes away again.
  struct Scratch {
    std::string folder;
    ~Scratch() {
      std::error_code ec;
      if (!folder.empty()) fs::remove_all(folder, ec);
    }
  } scratch;
  if (kind.file != bl::FileNaming::kNone) {
    CheckResourceGuids(*conn, ctx.project_key);
    char name[] = "/tmp/qmxml-report-XXXXXX";
    if (mkdtemp(name) == nullptr)
      throw Error(eErr_FileNotFound, kSource, "cannot create a scratch folder under /tmp");
    scratch.folder = std::string(name) + "/";
  }
  sets_options.trace_texts = kind.report;
  auto sets = baseline::ExtractSets(*conn, kind.scope, e.key, ctx.project_key, sets_options);
  if (!options.reqs) sets->Remove("Reqs");
  data.ElementGUID = Variant(e.guid);
  data.ElementType = Variant(kind.element_type);
  data.ReturnAsXMLStream = true;
  Write(kind.mover, Destination(kind, scratch.folder, e), sets, data, &scheduler);
  if (!scheduler.XMLDoc)
    throw Error(eErr_Transfer, kSource, "the report mover handed back no document");
  if (left_out != nullptr) *left_out = run.left_out;
  if (options.strict) transfer::FailOnLeftOut(run.left_out, "report");
  return xml::DocumentText(*scheduler.XMLDoc);
}

void WriteReportTo(const DatabaseLocator& db, const ReportOptions& options,
                   const std::string& out, std::map<std::string, long>* left_out) {
  WriteCommandOutput(db, out, [&] { return WriteReport(db, options, left_out); });
}

}  // namespace qmxml
