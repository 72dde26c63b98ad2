// The steps of a whole-project transfer, shared by the exporter and the
// importer: which mover moves which file, and how each mover call is made.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "qmxml/Collection.h"
#include "qmxml/Connection.h"
#include "qmxml/DataDescriptor.h"
#include "qmxml/Error.h"
#include "qmxml/KeyMap.h"
#include "qmxml/Recordset.h"
#include "qmxml/Scheduler.h"
#include "qmxml/SourceContainer.h"
#include "qmxml/Transfer.h"
#include "frame/TransferState.h"

namespace qmxml::transfer {

// File names of the folder layout.
inline constexpr const char* kProjectFile = "project.xml";
inline constexpr const char* kSecurityFile = "security.xml";
inline constexpr const char* kStructureFile = "structure.xml";
inline constexpr const char* kPermissionsFile = "permissions.xml";
inline constexpr const char* kExternalFile = "externalprojects.xml";
inline constexpr const char* kDocListFile = "doclist.xml";
inline constexpr const char* kViewListFile = "viewlist.xml";
inline constexpr const char* kPckListFile = "pcklist.xml";
inline constexpr const char* kTracesFile = "traces.xml";
inline constexpr const char* kDocumentsDir = "documents";
inline constexpr const char* kPackagesDir = "packages";
inline constexpr const char* kResourcesDir = "packages/Resources";
inline constexpr const char* kViewsDir = "views";
inline constexpr const char* kQueriesFile = "queries.xml";

// What every export step sees.
struct ExportContext {
  Connection* conn = nullptr;
  // The same connection in a database container, for writers that look
  // keys up while they write (views, queries).
  std::shared_ptr<DatabaseContainer> db;
  int32_t project_key = 0;
  std::string project_guid;
  std::filesystem::path dir;
  ProgressFn progress;
  ExportSummary* summary = nullptr;
  // The state of this run, handed to every mover call (DataDescriptor::Run).
  TransferState* run = nullptr;
  // A second connection on the snapshot |conn| reads, for the kinds
  // exported aside; nullptr: every kind reads through |conn|.
  std::shared_ptr<Connection> aside;
};

// The file of an element named by its GUID, relative to the folder:
// "<folder>/<GUID><extension>". Throws Error eErr_BadGuid when |guid| is not
// GUID-shaped; |whose| names the element for the message ("the document
// \"Use Cases\" (key 4)").
// Throws Error eErr_LeftOut listing |left_out| (count per kind) when it is
// not empty: a strict |run| ("export", "baseline", "report") that had to
// leave something out fails.
void FailOnLeftOut(const std::map<std::string, long>& left_out, const std::string& run);

std::filesystem::path ElementFile(const char* folder, const std::string& guid,
                                  const char* extension, const std::string& whose);

// What every import step sees.
struct ImportContext {
  std::shared_ptr<Connection> conn;
  std::shared_ptr<DatabaseContainer> db;
  DataDescriptor data;  // shared by every reader of the transfer
  std::filesystem::path dir;
  ProgressFn progress;
  // The GUIDs of the documents, packages and views the catalogues list, in
  // their order, as checked by CheckFolder (each kind's row in the kinds
  // table names its list).
  std::vector<std::string> documents;
  std::vector<std::string> packages;
  std::vector<std::string> views;
};

// Reads the catalogues of the folder of |ctx| before the first reader
// runs, walking the kinds table: each must list each document, view and
// package once, by GUID, and each file it lists must be there (they fill
// ctx.documents, ctx.packages and ctx.views). Every other document is
// checked as it is loaded for its reader (LoadChecked); the import runs in
// one transaction, so a fault found late still changes nothing. Throws
// Error naming the file, the element and the line.
void CheckFolder(ImportContext& ctx);

// Loads |file| (a path inside ctx.dir) for the reader |mover_name|, in one
// pass over its bytes: it must lie inside the folder (links followed),
// be well-formed XML 1.0 without a DOCTYPE (xml::CheckWellFormed), start
// as the documents of its kind start, and pass its kind's own check (the
// kinds table). Returns the parsed document, which ReadWith hands to the
// reader. Throws Error naming the file, the element, line and column.
XmlDocumentPtr LoadChecked(const ImportContext& ctx, const std::filesystem::path& file,
                           const char* mover_name);

// Calls WriteData of |mover_name| with |rows| into |file|; |db| (may be
// null) is the database container the source container hands out.
void WriteWith(const char* mover_name, const std::filesystem::path& file, ObjectPtr rows,
               DataDescriptor& data, std::shared_ptr<DatabaseContainer> db = nullptr);
// Calls ReadData of |mover_name| on |file| with |rows| (a collection),
// handing it |doc| (loaded with LoadChecked when nullptr). Failures are
// raised again naming the file.
void ReadWith(const char* mover_name, const std::filesystem::path& file, ObjectPtr rows,
              ImportContext& ctx, XmlDocumentPtr doc = nullptr);

struct Kind;
struct KindFile;

// Writes ctx.dir / |file| with the mover of |kind_file| as a call of the
// run of |ctx| and counts it in the summary under the file's key.
void ExportFile(ExportContext& ctx, const KindFile& kind_file, const std::filesystem::path& file,
                ObjectPtr rows, DataDescriptor data = {}, bool with_db = false);
// Reads ctx.dir / |file| with the mover of |kind|'s file, handing it the
// updatable record sets of the kind's tables (and |doc|, see ReadWith).
void ImportFile(ImportContext& ctx, const Kind& kind, const std::filesystem::path& file,
                XmlDocumentPtr doc = nullptr);

// The element GUIDs ("ID") listed by a table-of-contents file, read with
// the catalogue mover |mover_name| from |doc| (see ReadWith), in document
// order.
std::vector<std::string> ReadCatalogue(ImportContext& ctx, const char* mover_name,
                                       const std::filesystem::path& file,
                                       XmlDocumentPtr doc = nullptr);

// The project row (ID, QMGUID) with an empty column per name in
// |chapters|, for AttachChapter to fill: the parent set several writers take.
std::shared_ptr<Recordset> ProjectRow(ExportContext& ctx, const std::vector<std::string>& chapters);

// Runs |sql| on the source database (no marker needed).
std::shared_ptr<Recordset> Select(ExportContext& ctx, const std::string& sql);

// Finds the project of |conn| by key, GUID or name (the only one there is
// when |which| is "") and sets ctx->project_key, ctx->project_guid and
// |name|. Throws eErr_Transfer when none or several match.
void ChooseProject(Connection& conn, const std::string& which, ExportContext* ctx,
                   std::string* name);

// The rows of every project table of |conn|, by table name.
std::map<std::string, long> RowCounts(Connection& conn);

// The check an import's key map makes of every identity it issues a key
// for: a GUID, given once, and with |keep_guids| not a project |conn|
// already holds (error 23106, 23107, 23108).
KeyMap::IdentityCheck IdentityCheck(Connection* conn, bool keep_guids);

// Refuses (Error eErr_PackageCycle, naming them) the packages of project
// |project_key| that no chain of parents leads to from a top-level package:
// packages in a cycle of parents and everything below them, which a walk
// from the top would leave out without a word.
void CheckPackageTree(Connection& conn, int32_t project_key);

// The export and import steps, in the order they run.
void ExportAll(ExportContext& ctx);
void ImportAll(ImportContext& ctx);

}  // namespace qmxml::transfer
