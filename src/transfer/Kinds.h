// The kinds of data a whole-project transfer moves, in the order they run
// (the same order serves both directions: users and groups first, traces
// last). Each kind knows how to select the rows of its writer and how to
// hand its reader the file and the tables it fills.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "transfer/TransferSteps.h"

namespace qmxml::transfer {

// Attributes are listed plain first, then those of the modelling tool, then
// List and MultiSelect ones; an importer allocates their keys in that
// order, so "ORDER BY <this>" lists them the same way before and after a
// transfer. Needs the attribute table under the alias f.
inline constexpr const char* kModraLabels =
    "UPPER(f.Label) IN ('MODRAITEMID', 'MODRAMODELPATH', 'MODRATYPE', 'MODRA USE CASE')";
inline const std::string kAttributeGroup =
    std::string("CASE WHEN f.DataType = 0 THEN 2 WHEN f.DataType = 10 THEN 3 WHEN ") +
    kModraLabels + " THEN 1 ELSE 0 END";
inline const std::string kAttributeOrder = kAttributeGroup + ", f.ID";

struct Kind;

// One file of a kind: where it lies, which mover writes and reads it, what
// it is called in messages and in the export summary, and how its document
// starts. Readers find their data by position, so a document of another
// kind would be read as garbage instead of failing: the import checks the
// root element and its first child before the reader runs.
struct KindFile {
  const char* path;         // the file, or the folder of per-element files
  const char* extension;    // per-element files "<path>/<GUID><extension>"; nullptr: one file
  const char* mover;        // nullptr: the kind has no such file
  const char* counted_as;   // its key in the export summary
  const char* what;         // what the document is, for a message
  const char* root;         // nullptr: not checked (nothing reads it)
  bool root_case;           // compared with case when the case tells kinds apart
  const char* first_child;  // "": none or any; "-": none
  // What an import checks of a document of this file beyond its start
  // (nullptr: nothing); throws Error naming |path| and the element.
  void (*inspect)(const std::string& path, const pugi::xml_document& doc);
};

struct Kind {
  const char* name;     // in progress lines
  KindFile file;        // the kind's file, or its per-element files
  KindFile catalogue;   // the table of contents naming the element files
  std::vector<std::string> tables;  // the tables its reader fills
  void (*do_export)(ExportContext&, const Kind&);
  void (*do_import)(ImportContext&, const Kind&);  // nullptr: not imported
  // Where CheckFolder puts the GUIDs the catalogue lists (nullptr: no
  // catalogue), and whether a folder without the element files is read as
  // one without such elements (written before they moved).
  std::vector<std::string> ImportContext::*listed;
  bool files_optional;
  // Exported after every other kind. The packages are: their reading thread
  // keeps both cores busy, while a kind exported after them would run alone,
  // and one exported before has its document written out by the write-behind
  // thread while the packages are read. Imports keep the table's order.
  bool exported_last = false;
  // Exported on a thread of its own, beside the other kinds, over a second
  // connection that reads the same snapshot (when the database gives one).
  // The trace list (one statement over every trace of the project) and the
  // views (a lookup per key of their columns) are: on a server they would
  // otherwise keep the run waiting before the packages start.
  bool exported_aside = false;
};

// Every kind, in transfer order (an export moves the kinds exported_last to
// the end).
const std::vector<Kind>& Kinds();

// The kind called |name|; throws eErr_InvalidArgument for another name.
const Kind& KindNamed(std::string_view name);
// The file of the kinds that |mover| writes and reads, or nullptr.
const KindFile* FileOfMover(std::string_view mover);

// The file of |kind| holding the element |guid|, relative to the folder
// (see ElementFile; |whose| names the element for the message).
std::filesystem::path ElementFileOf(const KindFile& file, const std::string& guid,
                                    const std::string& whose);

// The checks of a document beyond its start (KindFile::inspect): a trace
// list names each pair of requirements once; a package names each resource
// file by a GUID.
void CheckTraceList(const std::string& path, const pugi::xml_document& doc);
void CheckResourceNames(const std::string& path, const pugi::xml_document& doc);

// Steps of each kind, in their own units. A kind with one file read into
// its tables imports with ImportTables.
void ImportTables(ImportContext& ctx, const Kind& kind);
void ExportProjectProps(ExportContext& ctx, const Kind& kind);
void ExportStructure(ExportContext& ctx, const Kind& kind);
// The project row with its "Groups" and "Users" chapters, as the
// users-and-groups writer takes it (which also fills the thread's group
// lookup lists that package writers read).
std::shared_ptr<Recordset> SecurityRows(ExportContext& ctx);
void ExportSecurity(ExportContext& ctx, const Kind& kind);
void ExportPermissions(ExportContext& ctx, const Kind& kind);
void ExportDocuments(ExportContext& ctx, const Kind& kind);
void ImportDocuments(ImportContext& ctx, const Kind& kind);
void ExportQueries(ExportContext& ctx, const Kind& kind);
void ImportQueries(ImportContext& ctx, const Kind& kind);
void ExportViews(ExportContext& ctx, const Kind& kind);
void ImportViews(ImportContext& ctx, const Kind& kind);
void ExportExternalProjects(ExportContext& ctx, const Kind& kind);
void ExportPackages(ExportContext& ctx, const Kind& kind);
void ImportPackages(ImportContext& ctx, const Kind& kind);
void ExportTraces(ExportContext& ctx, const Kind& kind);

}  // namespace qmxml::transfer
