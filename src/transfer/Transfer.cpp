// Whole-project export and import: choosing the project, preparing the
// folder or the database, the one transaction of an import and its report.
#include "qmxml/Transfer.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>

#include <filesystem>

#include "qmxml/Application.h"
#include "qmxml/Error.h"
#include "qmxml/ProjectDatabase.h"
#include "frame/Guid.h"
#include "transfer/Kinds.h"
#include "transfer/OutputFolders.h"
#include "transfer/TransferSteps.h"
#include "xml/WriteBehind.h"
#include "xml/XmlDoc.h"
#include "xml/Files.h"

namespace qmxml {
namespace fs = std::filesystem;
using transfer::ExportContext;
using transfer::ImportContext;

namespace {

constexpr const char* kSource = "Transfer";

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

namespace transfer {

void FailOnLeftOut(const std::map<std::string, long>& left_out, const std::string& run) {
  if (left_out.empty()) return;
  long total = 0;
  std::string kinds;
  for (const auto& [kind, n] : left_out) {
    total += n;
    if (!kinds.empty()) kinds += "; ";
    kinds += std::to_string(n);
    kinds += ' ';
    kinds += kind;
  }
  std::string text = "The ";
  text += run;
  text += " had to leave out ";
  text += std::to_string(total);
  text += " item(s), and --strict does not allow it: ";
  text += kinds;
  text += '.';
  throw Error(eErr_LeftOut, kSource, text);
}

std::map<std::string, long> RowCounts(Connection& conn) {
  std::map<std::string, long> counts;
  for (const std::string& t : ProjectTables(conn)) counts[t] = conn.CountRows(t);
  return counts;
}

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
                which.empty() ? "The database holds no project."
                              : "The database holds no project with the key, GUID or name " + which + ".");
  if (hits.size() > 1)
    throw Error(eErr_Transfer, kSource,
                "The database holds " + std::to_string(hits.size()) +
                    " projects; choose one with --project (key, GUID or name).");
  std::tie(ctx->project_key, ctx->project_guid, *name) = hits.front();
}

}  // namespace transfer

void TuneAllocatorForTransfers() {
  mallopt(M_MMAP_THRESHOLD, 256 << 20);
  mallopt(M_TRIM_THRESHOLD, 512 << 20);
  mallopt(M_TOP_PAD, 64 << 20);
  AdviseHugePagesForHeap(192 << 20);
}

namespace {

// The hidden folder beside |dir| for the files of an export:
// "<parent>/.<name>.partial-<pid>".
fs::path SiblingFolder(const fs::path& dir) {
  fs::path name = dir.filename();
  if (name.empty()) name = dir.parent_path().filename();
  const fs::path parent = dir.filename().empty() ? dir.parent_path().parent_path() : dir.parent_path();
  // Appended piece by piece: GCC 12 warns (-Wrestrict) about the inlined
  // copies of a chain of operator+ starting from a literal, wrongly.
  std::string hidden = ".";
  hidden += name.string();
  hidden += ".partial-";
  hidden += std::to_string(::getpid());
  return parent / hidden;
}

// Refuses a |dir| the export may not fill: a file, or a folder that holds
// something when |force| is off.
void CheckExportTarget(const fs::path& dir, bool force) {
  std::error_code ec;
  if (!fs::exists(dir, ec)) return;
  if (!fs::is_directory(dir, ec))
    throw Error(eErr_FolderNotEmpty, kSource,
                "The export folder " + dir.string() + " exists and is not a folder.");
  if (!force && !fs::is_empty(dir, ec))
    throw Error(eErr_FolderNotEmpty, kSource,
                "The export folder " + dir.string() +
                    " already holds files. Choose a new folder, or replace it with --force.");
}

}  // namespace

ExportSummary ExportProject(const DatabaseLocator& db, const std::string& dir,
                            const ExportOptions& options) {
  CheckExportTarget(dir, options.force);
  if (options.force) transfer::CheckNotSourceFiles(dir, db, true);
  auto conn = OpenProjectDatabase(db);
  ExportSummary summary;
  ExportContext ctx;
  ctx.conn = conn.get();
  ctx.db = std::make_shared<DatabaseContainer>();
  ctx.db->connection = conn;
  // Resolves nothing on export; it counts what the writers had to leave
  // out, as it does for an import.
  ctx.db->keys = std::make_shared<KeyMap>(conn.get());
  ctx.dir = SiblingFolder(dir);
  ctx.progress = options.progress;
  ctx.summary = &summary;
  TransferState run;
  ctx.run = &run;
  std::error_code ec;
  fs::remove_all(ctx.dir, ec);
  const fs::path parent = ctx.dir.parent_path();
  const std::string stale = ctx.dir.filename().string();
  for (const fs::path& gone : transfer::RemoveStaleWorkFolders(
           parent, stale.substr(0, stale.rfind('-') + 1)))
    if (options.progress)
      options.progress("removed " + gone.string() + ", left by an export that did not finish");
  // One read transaction: every file of the export shows the database as it
  // was at the first read, even while others write to it.
  conn->SetLockWait(5000);
  conn->BeginSnapshot();
  try {
    transfer::ChooseProject(*conn, options.project, &ctx, &summary.project_name);
    summary.project_key = ctx.project_key;
    summary.project_guid = ctx.project_guid;
    ctx.aside = conn->OpenSnapshotReader();
    fs::create_directories(ctx.dir / transfer::kDocumentsDir, ec);
    fs::create_directories(ctx.dir / transfer::kPackagesDir, ec);
    if (ec)
      throw Error(eErr_FileNotFound, kSource,
                  "Cannot create the folder " + ctx.dir.string() + ": " + ec.message() + ".");
    {
      // Files are created on a second thread while the next document is
      // built, each straight under its name: the hidden folder is published
      // whole or not at all.
      xml::WriteBehind files(xml::WriteBehind::Files::kInPlace);
      run.files = &files;
      transfer::ExportAll(ctx);
      ctx.aside.reset();  // its reading transaction (and a file's shared lock) ends here
      files.Finish(&run.write_notes);
      run.files = nullptr;
    }
    // What conversions and writers had to leave out, counted by kind and reason.
    summary.losses = ctx.db->keys->Losses();
    for (const auto& [kind, n] : run.left_out) summary.losses[kind] += n;
    if (options.strict) transfer::FailOnLeftOut(summary.losses, "export");
    transfer::ExchangeFolders(ctx.dir, dir);
  } catch (...) {
    conn->Rollback();
    fs::remove_all(ctx.dir, ec);
    throw;
  }
  conn->Commit();
  summary.documents_with_control_characters = run.write_notes.documents_with_control_characters;
  summary.texts_cut_at_nul = run.write_notes.texts_cut_at_nul;
  return summary;
}

namespace {

// How an element type word reads in a message.
std::string ElementWord(std::string_view type_word) {
  static const std::pair<const char*, const char*> kWords[] = {
      {"UserDefinedField", "attribute"},       {"UserDefinedListItem", "list item"},
      {"RequirementType", "requirement type"}, {"DocumentType", "document type"},
      {"Group", "user group"}};
  for (const auto& [word, text] : kWords)
    if (EqualsNoCase(word, type_word)) return text;
  std::string lower(type_word);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

}  // namespace

namespace transfer {

// The check the key map makes of every identity a reader gives a new key:
// a GUID, once in the file or folder, and with kept GUIDs not a project the
// database holds already.
KeyMap::IdentityCheck IdentityCheck(Connection* conn, bool keep_guids) {
  return [conn, keep_guids](std::string_view word, std::string_view guid, bool repeated) {
    const std::string what = ElementWord(word);
    if (frame::FileGuid(guid).empty())
      throw Error(eErr_BadGuid, kSource,
                  "The " + what + " identity \"" + std::string(guid) + "\" is not a GUID.");
    if (repeated)
      throw Error(eErr_Duplicate, kSource,
                  "The " + what + " " + std::string(guid) +
                      " appears a second time in the folder; each element may appear once.");
    if (!keep_guids || !EqualsNoCase(word, "Project")) return;
    auto rs = conn->Query("SELECT ID, Name FROM qmProjects WHERE " + conn->EqualsNoCaseSql("QMGUID"),
                          {Variant(std::string(guid))});
    if (rs->IsEOF()) return;
    throw Error(eErr_ProjectExists, kSource,
                "The database already holds the project \"" + rs->Value("Name").ToText() +
                    "\" " + std::string(guid) + " (key " + rs->Value("ID").ToText() +
                    "). Importing it again with its GUIDs would make a second project under the "
                    "same GUIDs; import a copy with --new-guids.");
  };
}

}  // namespace transfer

namespace {

long Total(const std::map<std::string, long>& counts) {
  long n = 0;
  for (const auto& [kind, count] : counts) n += count;
  return n;
}

}  // namespace

ImportSummary ImportProject(const std::string& dir, const DatabaseLocator& db,
                            const ImportOptions& options) {
  if (!fs::is_directory(dir))
    throw Error(eErr_FileNotFound, kSource, "There is no folder " + dir + ".");
  if (!xml::FileExists((fs::path(dir) / transfer::kProjectFile).string()))
    throw Error(eErr_FileNotFound, kSource,
                "The folder " + dir + " holds no " + transfer::kProjectFile +
                    ": it is not an exported project.");
  ImportContext ctx;
  ctx.dir = dir;
  ctx.progress = options.progress;
  TransferState run;
  ctx.data.Run = &run;
  // The catalogues are checked before the database is touched; every other
  // document as it is loaded for its reader.
  if (ctx.progress) ctx.progress("check the folder");
  transfer::CheckFolder(ctx);

  // Opens (or creates) the database inside the import's one transaction:
  // what a failed import created goes with its rollback.
  auto write = std::make_unique<ProjectWrite>(db, options.lock_wait_ms);
  auto conn = write->Conn();
  ctx.conn = conn;
  ctx.db = std::make_shared<DatabaseContainer>();
  ctx.db->connection = conn;
  ctx.db->keys = std::make_shared<KeyMap>(conn.get());
  ctx.db->keys->DeferCounterWrites();
  ctx.db->keys->SetIdentityCheck(transfer::IdentityCheck(conn.get(), !options.new_guids));
  ctx.db->view_builder = std::make_shared<AttrViewBuilder>();
  ctx.data.ProjectFlags = options.new_guids ? 1 : 0;

  ImportSummary summary;
  auto before = transfer::RowCounts(*conn);
  transfer::ImportAll(ctx);
  ctx.db->keys->Flush();
  summary.dangling = ctx.db->keys->Dangling();
  summary.read_notes = run.read_notes;
  for (const auto& [kind, n] : run.left_out) summary.read_notes[kind] += n;
  summary.losses = ctx.db->keys->Losses();
  if (options.strict && !summary.dangling.empty())
    throw Error(eErr_Dangling, kSource,
                "References that resolve to no element: " + DanglingText(summary.dangling) + ".");
  // What was stored or left out by rule, and what conversions dropped.
  std::map<std::string, long> left_out = summary.read_notes;
  for (const auto& [kind, n] : summary.losses) left_out[kind] += n;
  if (options.strict && !left_out.empty())
    throw Error(eErr_Skipped, kSource,
                "The readers stored or left out " + std::to_string(Total(left_out)) +
                    " value(s) by rule (" + left_out.begin()->first + ": " +
                    std::to_string(left_out.begin()->second) + ", ...).");
  summary.project_key = ctx.data.ProjectKey;
  for (const auto& [table, n] : transfer::RowCounts(*conn)) {
    long added = n - (before.count(table) ? before[table] : 0);
    if (added != 0) summary.rows_added[table] = added;
  }
  // Another import gave a new database file its name first: this one runs
  // again, into that database, as if it had started after it.
  if (!write->Commit()) return ImportProject(dir, db, options);
  return summary;
}

}  // namespace qmxml
