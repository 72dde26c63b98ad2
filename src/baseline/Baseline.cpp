// The baseline and report driver: chooses the project and the elements,
// selects each extract's record sets (BaselineSets.cpp) and calls the
// baseline, document/view and report movers; keeps BaselineList.XML up to
// date for the package extracts, which the package movers leave to their
// caller.
#include "qmxml/Baseline.h"

#include <stdlib.h>

#include <filesystem>

#include "baseline/BaselineSets.h"
#include "movers/baseline/BaseCompWriteXML.h"
#include "qmxml/Error.h"
#include "qmxml/Mover.h"
#include "qmxml/ProjectDatabase.h"
#include "qmxml/Scheduler.h"
#include "sql/Guid.h"
#include "transfer/Kinds.h"
#include "transfer/TransferSteps.h"
#include "xml/WriteBehind.h"
#include "xml/XmlDoc.h"

namespace qmxml {
namespace fs = std::filesystem;
namespace bl = movers::baseline;
using baseline::Scope;

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

// How each kind of element is looked up in its project.
struct Lookup {
  const char* word;  // for messages
  const char* sql;   // the project key, then the text three times; ID, QMGUID, Name
};
const Lookup kPackageLookup = {
    "package",
    "SELECT ID, QMGUID, NAME AS Name FROM QmPackages WHERE PROJECTID = ? AND "
    "(CAST(ID AS TEXT) = ? OR UPPER(QMGUID) = UPPER(?) OR NAME = ?) ORDER BY ID"};
const Lookup kDocumentLookup = {
    "document",
    "SELECT d.ID AS ID, d.QMGUID AS QMGUID, d.Name AS Name FROM qmDocuments d "
    "JOIN qmProjectDocuments pd ON pd.DocumentID = d.ID WHERE pd.ProjectID = ? AND "
    "(CAST(d.ID AS TEXT) = ? OR UPPER(d.QMGUID) = UPPER(?) OR d.Name = ?) ORDER BY d.ID"};
const Lookup kViewLookup = {
    "view",
    "SELECT ID, QMGUID, VIEWNAME AS Name FROM QmViews WHERE PROJECTID = ? AND "
    "(CAST(ID AS TEXT) = ? OR UPPER(QMGUID) = UPPER(?) OR VIEWNAME = ?) ORDER BY ID"};

// A GUID from the data names a file: only a well-formed one may.
void CheckFileGuid(const char* word, const Element& e) {
  if (!sql::IsGuidShaped(e.guid))
    throw Error(eErr_Transfer, kSource,
                "the " + std::string(word) + " " + e.name + " (key " + std::to_string(e.key) +
                    ") has the GUID \"" + e.guid +
                    "\", which is not a well-formed GUID and cannot name a file");
}

Element Find(Connection& conn, int32_t project_key, const Lookup& lookup,
             const std::string& which) {
  auto rs = conn.Query(lookup.sql, {Variant(project_key), Variant(which), Variant(which), Variant(which)});
  if (rs->IsEOF())
    throw Error(eErr_Transfer, kSource,
                "the project holds no " + std::string(lookup.word) + " with key, GUID or name " +
                    which);
  if (rs->RecordCount() > 1)
    throw Error(eErr_Transfer, kSource,
                "the project holds " + std::to_string(rs->RecordCount()) + " " + lookup.word +
                    "s named " + which + "; choose one by key or GUID");
  Element e{rs->Value("ID").ToLong(), rs->Value("QMGUID").ToText(), rs->Value("Name").ToText()};
  CheckFileGuid(lookup.word, e);
  return e;
}

std::vector<Element> FindAll(Connection& conn, int32_t project_key, const Lookup& lookup,
                             const std::vector<std::string>& names) {
  std::vector<Element> out;
  for (const std::string& n : names) out.push_back(Find(conn, project_key, lookup, n));
  return out;
}

// Runs the users-and-groups writer into memory: it fills the group lookup
// lists of this thread that package extracts name groups from.
void FillGroupLookups(transfer::ExportContext& ctx) {
  DataDescriptor data;
  data.ReturnAsXMLStream = true;
  Scheduler scheduler;
  SourceContainer source;
  ObjectPtr rows = transfer::SecurityRows(ctx);
  Mover().Get("ProjSecurityMover")->WriteData(&source, &data, rows, &scheduler);
}

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

// Reads the project's data inside one transaction, so that every file of
// an extract shows the database as it stood at the start.
class ReadTransaction {
 public:
  explicit ReadTransaction(Connection& conn) : conn_(conn) { conn_.ExecuteScript("BEGIN"); }
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

baseline::SetOptions SetOptionsOf(const BaselineOptions& o) {
  return {o.history, o.discussions, o.traces, o.cross_project};
}

// The transfer context of an extract of the chosen project.
DataDescriptor ProjectContext(const transfer::ExportContext& ctx) {
  DataDescriptor data;
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

// The extract writers keep the last extract's record sets in this thread's
// state; a finished baseline or report lets them go.
void ReleaseExtractRows() { bl::LoadRecordsets(nullptr, DataDescriptor()); }

void Tell(const ProgressFn& progress, const std::string& what) {
  if (progress) progress(what);
}

// Every package of the project through the project mover, one call per
// package so that only one package's rows are held at a time; then the
// project history, the package list and the discussions.
void WriteWholeProject(transfer::ExportContext& ctx, const BaselineOptions& o,
                       BaselineSummary& summary) {
  Connection& conn = *ctx.conn;
  const std::string folder = ctx.dir.string() + "/";
  transfer::CheckPackageTree(conn, ctx.project_key);
  auto packages = baseline::PackageListRows(conn, ctx.project_key);
  std::vector<Element> list;
  for (packages->MoveFirst(); !packages->IsEOF(); packages->MoveNext()) {
    Element e{packages->Value("ID").ToLong(), packages->Value("PackageGUID").ToText(),
              packages->Value("NAME").ToText()};
    CheckFileGuid("package", e);
    list.push_back(e);
  }
  DataDescriptor data = BaselineContext(ctx, o);
  data.ElementType = Variant(int32_t{bl::kKindProject});
  bl::LoadRecordsets(nullptr, data);  // the header of a new list names this extract
  bl::BaselineListUpdate catalogue(folder + bl::kBaselineListFile, data);
  size_t done = 0;
  for (const Element& e : list) {
    auto sets = baseline::ExtractSets(conn, Scope::kPackage, e.key, ctx.project_key,
                                      SetOptionsOf(o));
    summary.requirements += RequirementCount(*sets);
    auto item = std::make_shared<Collection>();
    item->Add(Variant(ObjectPtr(sets)));
    data.ElementGUID = Variant(e.guid);
    Write("BaseCompProjectMover", folder, item, data);
    catalogue.Add();
    ++summary.files["package"];
    if (++done % 100 == 0)
      Tell(ctx.progress, "  " + std::to_string(done) + " of " + std::to_string(list.size()) +
                             " packages");
  }

  // The list is written once every package file is complete.
  if (xml::WriteBehind* files = xml::WriteBehind::Current()) files->Finish();
  catalogue.Save();
  data.ElementGUID = Variant(ctx.project_guid);
  Write("BaseCompProjHistoryMover", folder + kHistoryFile,
        baseline::ProjectHistoryRows(conn, ctx.project_key), data);
  ++summary.files["project history"];
  packages->MoveFirst();
  Write("BaseCompPckListMover", folder + kPackageListFile, packages, data);
  ++summary.files["package list"];
  if (o.discussions) {
    Write("BaseCompDiscsMover", folder + kDiscussionsFile,
          baseline::DiscussionSets(conn, ctx.project_key), data);
    ++summary.files["discussions"];
  }
}

}  // namespace

BaselineSummary WriteBaseline(const std::string& db_path, const std::string& dir,
                              const BaselineOptions& options) {
  auto conn = OpenProjectDatabase(db_path, options.pg_schema);
  BaselineSummary summary;
  transfer::ExportContext ctx;
  ctx.conn = conn.get();
  ctx.dir = dir;
  ctx.progress = options.progress;
  ReadTransaction reading(*conn);
  transfer::ChooseProject(*conn, options.project, &ctx, &summary.project_name);
  summary.project_key = ctx.project_key;
  summary.project_guid = ctx.project_guid;

  // Every name is resolved before anything is written.
  auto packages = FindAll(*conn, ctx.project_key, kPackageLookup, options.packages);
  auto documents = FindAll(*conn, ctx.project_key, kDocumentLookup, options.documents);
  auto views = FindAll(*conn, ctx.project_key, kViewLookup, options.views);
  std::error_code ec;
  fs::create_directories(ctx.dir, ec);
  if (ec || !fs::is_directory(ctx.dir))
    throw Error(eErr_FileNotFound, kSource,
                "cannot create the folder " + dir + (ec ? ": " + ec.message() : ""));
  FillGroupLookups(ctx);
  // Files are created on a second thread while the next extract is built;
  // the baseline list itself is always written at once.
  xml::WriteBehind files;

  const std::string folder = ctx.dir.string() + "/";
  const bool whole = packages.empty() && documents.empty() && views.empty();
  if (whole) {
    Tell(ctx.progress, "whole project " + summary.project_name);
    WriteWholeProject(ctx, options, summary);
    files.Finish();
    ReleaseExtractRows();
    return summary;
  }
  DataDescriptor data = BaselineContext(ctx, options);
  for (const Element& e : packages) {
    Tell(ctx.progress, "package " + e.name);
    auto sets = baseline::ExtractSets(*conn, Scope::kPackage, e.key, ctx.project_key,
                                      SetOptionsOf(options));
    summary.requirements += RequirementCount(*sets);
    data.ElementGUID = Variant(e.guid);
    data.ElementType = Variant(int32_t{bl::kKindPackage});
    Write("BaseCompPackageMover", folder + e.guid + ".XML", sets, data);
    bl::WriteBaselineList(folder + e.guid + ".XML", data);
    ++summary.files["package"];
  }
  struct Named {
    const std::vector<Element>& elements;
    Scope scope;
    int32_t kind;
    const char* mover;
    const char* word;
  };
  const Named named[] = {
      {documents, Scope::kDocument, bl::kKindDocument, "DocReqsMover", "document"},
      {views, Scope::kView, bl::kKindView, "ViewReqsMover", "view"},
  };
  for (const Named& n : named) {
    for (const Element& e : n.elements) {
      Tell(ctx.progress, std::string(n.word) + " " + e.name);
      auto sets = baseline::ExtractSets(*conn, n.scope, e.key, ctx.project_key,
                                        SetOptionsOf(options));
      summary.requirements += RequirementCount(*sets);
      data.ElementGUID = Variant(e.guid);
      data.ElementType = Variant(n.kind);
      Write(n.mover, folder + e.guid + ".XML", sets, data);
      ++summary.files[n.word];
    }
  }
  files.Finish();
  ReleaseExtractRows();
  return summary;
}

std::string WriteReport(const std::string& db_path, const ReportOptions& options) {
  const int named = !options.package.empty() + !options.document.empty() + !options.view.empty();
  if (named != 1)
    throw Error(eErr_InvalidArgument, kSource,
                "a report needs exactly one --package, --document or --view");
  auto conn = OpenProjectDatabase(db_path, options.pg_schema);
  transfer::ExportContext ctx;
  ctx.conn = conn.get();
  ReadTransaction reading(*conn);
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

  if (!options.package.empty()) {
    Element e = Find(*conn, ctx.project_key, kPackageLookup, options.package);
    FillGroupLookups(ctx);
    auto sets =
        baseline::ExtractSets(*conn, Scope::kPackage, e.key, ctx.project_key, sets_options);
    data.ElementGUID = Variant(e.guid);
    data.ElementType = Variant(int32_t{bl::kKindPackageReport});
    // The package movers create the resource folder beside their path even
    // for a report; give them a scratch folder that goes away again.
    char scratch[] = "/tmp/qmxml-report-XXXXXX";
    if (mkdtemp(scratch) == nullptr)
      throw Error(eErr_FileNotFound, kSource, "cannot create a scratch folder under /tmp");
    try {
      Write("PackageMoverForReports", std::string(scratch) + "/" + e.guid + ".XML", sets, data,
            &scheduler);
    } catch (...) {
      std::error_code ec;
      fs::remove_all(scratch, ec);
      throw;
    }
    std::error_code ec;
    fs::remove_all(scratch, ec);
  } else {
    const bool document = !options.document.empty();
    Element e = document ? Find(*conn, ctx.project_key, kDocumentLookup, options.document)
                         : Find(*conn, ctx.project_key, kViewLookup, options.view);
    auto sets = baseline::ExtractSets(*conn, document ? Scope::kDocument : Scope::kView, e.key,
                                      ctx.project_key, sets_options);
    if (!options.reqs) sets->Remove("Reqs");
    data.ElementGUID = Variant(e.guid);
    data.ElementType = Variant(int32_t{bl::kKindReport});
    data.ReturnAsXMLStream = true;
    Write(document ? "DocReqsMover" : "ViewReqsMoverForReports", "", sets, data, &scheduler);
  }
  ReleaseExtractRows();
  if (!scheduler.XMLDoc)
    throw Error(eErr_Transfer, kSource, "the report mover handed back no document");
  return xml::DocumentText(*scheduler.XMLDoc);
}

}  // namespace qmxml
