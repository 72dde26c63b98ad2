// Transfer steps of saved queries and views: queries.xml, one document per
// view under views/, and viewlist.xml, the table of contents that names
// each view's file.
//
// Views are imported after the queries they show (a view cannot be stored
// without its query) and before the packages that list them, so that a
// package's view references resolve to the imported views.
#include <filesystem>

#include "transfer/Kinds.h"
#include "transfer/Rows.h"

namespace qmxml::transfer {
namespace fs = std::filesystem;

void ExportViews(ExportContext& ctx, const Kind& kind) {
  const std::string pk = std::to_string(ctx.project_key);
  std::error_code ec;
  fs::create_directories(ctx.dir / kind.file.path, ec);
  if (ec)
    throw Error(eErr_FileNotFound, "Transfer",
                "Cannot create the folder " + (ctx.dir / kind.file.path).string() + ": " +
                    ec.message() + ".");
  // The referenced type, owner and queries travel as GUIDs; no key column
  // of the same name may be selected, as names compare without case.
  auto views = Select(
      ctx,
      "SELECT p.QMGUID AS ProjectGUID, v.VIEWNAME AS VIEWNAME, v.QMGUID AS QMGUID, "
      "t.QMGUID AS requirementtypeid, t2.QMGUID AS secondaryreqtypeid, "
      "v.VIEWTYPE AS VIEWTYPE, v.VISIBILITY AS VISIBILITY, u.QMGUID AS viewuserid, "
      "u.FullName AS viewusername, v.VIEWDATETIME AS VIEWDATETIME, "
      "v.VIEWREASON AS VIEWREASON, q.QMGUID AS queryid, q2.QMGUID AS secondaryqueryid, "
      "v.VIEWDESCRIPTION AS VIEWDESCRIPTION, v.PROPERTIES AS PROPERTIES "
      "FROM QmViews v JOIN qmProjects p ON p.ID = v.PROJECTID "
      "LEFT JOIN qmRequirementTypes t ON t.ID = v.REQUIREMENTTYPEID "
      "LEFT JOIN qmRequirementTypes t2 ON t2.ID = v.SECONDARYREQTYPEID "
      "LEFT JOIN qmUsers u ON u.ID = v.VIEWUSERID "
      "LEFT JOIN QmQueryDefinitions q ON q.ID = v.QUERYID "
      "LEFT JOIN QmQueryDefinitions q2 ON q2.ID = v.SECONDARYQUERYID "
      "WHERE v.PROJECTID = " +
          pk + " ORDER BY v.ID");
  auto list = ProjectRow(ctx, {"Views"});
  auto entries =
      std::make_shared<Recordset>(std::vector<Column>{{"PROJECTID", VarType::Long},
                                                      {"VIEWNAME", VarType::String},
                                                      {"QMGUID", VarType::String},
                                                      {"FilePath", VarType::String}});
  for (views->MoveFirst(); !views->IsEOF(); views->MoveNext()) {
    const std::string guid = views->Value("QMGUID").ToText();
    const std::string file =
        ElementFileOf(kind.file, guid, "the view \"" + views->Value("VIEWNAME").ToText() + "\"")
            .generic_string();
    DataDescriptor data;
    data.ProjectKey = ctx.project_key;
    ExportFile(ctx, kind.file, file, CurrentRowOnly(*views), data, true);
    entries->AppendRow({Variant(ctx.project_key), views->Value("VIEWNAME"), Variant(guid),
                        Variant(file)});
  }
  AttachChapter(*list, "ID", "Views", entries, "PROJECTID");
  ExportFile(ctx, kind.catalogue, kind.catalogue.path, list);
}

void ImportViews(ImportContext& ctx, const Kind& kind) {
  // A folder exported before views moved has a view list but no view
  // documents: its views are left out (package references to them are
  // then reported as unresolved).
  if (!fs::is_directory(ctx.dir / kind.file.path)) {
    if (ctx.progress) ctx.progress("  no views/ folder: saved views are not imported");
    return;
  }
  for (const auto& guid : ctx.views) ImportFile(ctx, kind, ElementFileOf(kind.file, guid, "view"));
}

}  // namespace qmxml::transfer

// Saved queries: one document, queries.xml. They are imported after the
// users, the structure and the documents (their texts name those) and
// before the views that show them.
namespace qmxml::transfer {

void ExportQueries(ExportContext& ctx, const Kind& kind) {
  auto project = ProjectRow(ctx, {"Queries"});
  // The owner travels as a GUID; QUERYUSERID itself is not selected, as
  // names compare without case.
  auto queries = Select(
      ctx,
      "SELECT q.PROJECTID AS PROJECTID, q.QUERYNAME AS QUERYNAME, q.QMGUID AS QMGUID, "
      "u.QMGUID AS queryuserid, u.FullName AS queryusername, "
      "q.QUERYDATETIME AS QUERYDATETIME, q.QUERYREASON AS QUERYREASON, "
      "q.QUERYBASETYPE AS QUERYBASETYPE, q.QUERYDESCRIPTION AS QUERYDESCRIPTION, "
      "q.QUERYSTRING AS QUERYSTRING FROM QmQueryDefinitions q "
      "LEFT JOIN qmUsers u ON u.ID = q.QUERYUSERID WHERE q.PROJECTID = " +
          std::to_string(ctx.project_key) + " ORDER BY q.ID");
  AttachChapter(*project, "ID", "Queries", queries, "PROJECTID");
  ExportFile(ctx, kind.file, kind.file.path, project, {}, true);
}

void ImportQueries(ImportContext& ctx, const Kind& kind) {
  // A folder exported before queries moved has none.
  if (!std::filesystem::exists(ctx.dir / kind.file.path)) {
    if (ctx.progress) ctx.progress("  no queries.xml: saved queries are not imported");
    return;
  }
  ImportTables(ctx, kind);
}

}  // namespace qmxml::transfer
