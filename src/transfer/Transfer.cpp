// Whole-project export and import: choosing the project, preparing the
// folder or the database, the one transaction of an import and its report.
#include "qmxml/Transfer.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

#include <filesystem>

#include "qmxml/Application.h"
#include "qmxml/Error.h"
#include "qmxml/ProjectDatabase.h"
#include "transfer/Kinds.h"
#include "transfer/TransferSteps.h"
#include "xml/WriteBehind.h"
#include "xml/XmlDoc.h"

namespace qmxml {
namespace fs = std::filesystem;
using transfer::ExportContext;
using transfer::ImportContext;

namespace {

constexpr const char* kSource = "Transfer";

// Finds the project by key, GUID or name; the only one when |which| is "".
void ChooseProject(Connection& conn, const std::string& which, ExportContext* ctx,
                   std::string* name) {
  auto rs = conn.Query("SELECT ID, QMGUID, Name FROM qmProjects ORDER BY ID");
  std::vector<std::tuple<int32_t, std::string, std::string>> hits;
  for (; !rs->IsEOF(); rs->MoveNext()) {
    int32_t key = rs->Value("ID").ToLong();
    std::string guid = rs->Value("QMGUID").ToText(), n = rs->Value("Name").ToText();
    bool match = which.empty() || which == std::to_string(key) || EqualsNoCase(which, guid) ||
                 which == n;
    if (match) hits.emplace_back(key, guid, n);
  }
  if (hits.empty())
    throw Error(eErr_Transfer, kSource,
                which.empty() ? "the database holds no project"
                              : "the database holds no project with key, GUID or name " + which);
  if (hits.size() > 1)
    throw Error(eErr_Transfer, kSource,
                "the database holds " + std::to_string(hits.size()) +
                    " projects; choose one with --project (key, GUID or name)");
  std::tie(ctx->project_key, ctx->project_guid, *name) = hits.front();
}

std::map<std::string, long> RowCounts(Connection& conn) {
  std::map<std::string, long> counts;
  auto tables = conn.Query("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name");
  for (; !tables->IsEOF(); tables->MoveNext()) {
    std::string t = tables->Value("name").ToText();
    counts[t] = conn.Scalar("SELECT COUNT(*) FROM \"" + t + "\"", {}).ToLong();
  }
  return counts;
}

std::string DanglingText(const std::map<std::string, std::set<std::string>>& dangling) {
  std::string out;
  size_t shown = 0;
  for (const auto& [word, guids] : dangling)
    for (const auto& g : guids)
      if (shown++ < 5) out += (out.empty() ? "" : ", ") + word + " " + g;
  size_t total = 0;
  for (const auto& [w, g] : dangling) total += g.size();
  if (total > shown) out += ", ... (" + std::to_string(total) + " in all)";
  return out;
}

// Grows the heap by |bytes| at once and asks the kernel to back that range
// with huge pages, then frees it for the allocator to hand out again (the
// trim threshold above keeps it in the heap). Faulting in a transfer's
// memory 4 KiB at a time cost a 100k export 53,000 page faults; with huge
// pages it takes about 5,000. Pages are only touched when used, so nothing
// is spent where a transfer stays small.
void AdviseHugePagesForHeap(size_t bytes) {
  void* block = std::malloc(bytes);
  if (block == nullptr) return;
  const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  auto begin = (reinterpret_cast<uintptr_t>(block) + page - 1) & ~(page - 1);
  auto end = (reinterpret_cast<uintptr_t>(block) + bytes) & ~(page - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
  std::free(block);
}

}  // namespace

void TuneAllocatorForTransfers() {
  mallopt(M_MMAP_THRESHOLD, 256 << 20);
  mallopt(M_TRIM_THRESHOLD, 512 << 20);
  mallopt(M_TOP_PAD, 64 << 20);
  AdviseHugePagesForHeap(192 << 20);
}

ExportSummary ExportProject(const std::string& db_path, const std::string& dir,
                            const ExportOptions& options) {
  auto conn = OpenProjectDatabase(db_path);
  ExportSummary summary;
  ExportContext ctx;
  ctx.conn = conn.get();
  ctx.db = std::make_shared<DatabaseContainer>();
  ctx.db->connection = conn;
  // Resolves nothing on export; it counts what the writers had to leave
  // out, as it does for an import.
  ctx.db->keys = std::make_shared<KeyMap>(conn.get());
  ctx.dir = dir;
  ctx.progress = options.progress;
  ctx.summary = &summary;
  // One read transaction: every file of the export shows the database as it
  // was at the first read, even while others write to it.
  conn->ExecuteScript("BEGIN");
  try {
    ChooseProject(*conn, options.project, &ctx, &summary.project_name);
    summary.project_key = ctx.project_key;
    summary.project_guid = ctx.project_guid;
    std::error_code ec;
    fs::create_directories(ctx.dir / transfer::kDocumentsDir, ec);
    fs::create_directories(ctx.dir / transfer::kPackagesDir, ec);
    if (ec) throw Error(eErr_FileNotFound, kSource, "cannot create the folder " + dir + ": " + ec.message());
    // Files are created on a second thread while the next document is built.
    xml::WriteBehind files;
    transfer::ExportAll(ctx);
    files.Finish();
  } catch (...) {
    conn->Rollback();
    throw;
  }
  conn->Commit();
  summary.losses = ctx.db->keys->Losses();
  return summary;
}

ImportSummary ImportProject(const std::string& dir, const std::string& db_path,
                            const ImportOptions& options) {
  if (!fs::is_directory(dir))
    throw Error(eErr_FileNotFound, kSource, "there is no folder " + dir);
  if (!xml::FileExists((fs::path(dir) / transfer::kProjectFile).string()))
    throw Error(eErr_FileNotFound, kSource,
                "the folder " + dir + " holds no " + transfer::kProjectFile +
                    ": it is not an exported project");
  bool created = !xml::FileExists(db_path);
  auto conn = created ? CreateProjectDatabase(db_path) : OpenProjectDatabase(db_path);

  ImportContext ctx;
  ctx.conn = conn;
  ctx.dir = dir;
  ctx.progress = options.progress;
  ctx.db = std::make_shared<DatabaseContainer>();
  ctx.db->connection = conn;
  ctx.db->keys = std::make_shared<KeyMap>(conn.get());
  ctx.db->keys->DeferCounterWrites();
  ctx.db->view_builder = std::make_shared<AttrViewBuilder>();
  ctx.data.ProjectFlags = options.new_guids ? 1 : 0;

  ImportSummary summary;
  auto before = RowCounts(*conn);
  conn->Begin();
  try {
    transfer::ImportAll(ctx);
    ctx.db->keys->Flush();
    summary.dangling = ctx.db->keys->Dangling();
    summary.losses = ctx.db->keys->Losses();
    if (options.strict && !summary.dangling.empty())
      throw Error(eErr_Dangling, kSource,
                  "references that resolve to no element: " + DanglingText(summary.dangling));
    conn->Commit();
  } catch (...) {
    conn->Rollback();
    if (created) {
      conn.reset();
      ctx.conn.reset();
      ctx.db.reset();
      std::error_code ec;
      fs::remove(db_path, ec);
    }
    throw;
  }
  summary.project_key = ctx.data.ProjectKey;
  for (const auto& [table, n] : RowCounts(*conn)) {
    long added = n - (before.count(table) ? before[table] : 0);
    if (added != 0) summary.rows_added[table] = added;
  }
  return summary;
}

}  // namespace qmxml
