// The kinds of data a whole-project transfer moves, in the order they run
// (the same order serves both directions: users and groups first, traces
// last). Each kind knows how to select the rows of its writer and how to
// hand its reader the file and the tables it fills.
#pragma once

#include <functional>
#include <string>
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

struct Kind {
  const char* name;
  std::function<void(ExportContext&)> do_export;
  std::function<void(ImportContext&)> do_import;
};

const std::vector<Kind>& Kinds();

// Steps of each kind, in their own units.
void ExportProjectProps(ExportContext& ctx);
void ImportProjectProps(ImportContext& ctx);
void ExportStructure(ExportContext& ctx);
void ImportStructure(ImportContext& ctx);
// The project row with its "Groups" and "Users" chapters, as the
// users-and-groups writer takes it (which also fills the thread's group
// lookup lists that package writers read).
std::shared_ptr<Recordset> SecurityRows(ExportContext& ctx);
void ExportSecurity(ExportContext& ctx);
void ImportSecurity(ImportContext& ctx);
void ExportPermissions(ExportContext& ctx);
void ImportPermissions(ImportContext& ctx);
void ExportDocuments(ExportContext& ctx);
void ImportDocuments(ImportContext& ctx);
void ExportQueries(ExportContext& ctx);
void ImportQueries(ImportContext& ctx);
void ExportViews(ExportContext& ctx);
void ImportViews(ImportContext& ctx);
void ExportExternalProjects(ExportContext& ctx);
void ExportPackages(ExportContext& ctx);
void ImportPackages(ImportContext& ctx);
void ExportTraces(ExportContext& ctx);
void ImportTraces(ImportContext& ctx);

}  // namespace qmxml::transfer
