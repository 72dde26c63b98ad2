// The table of kinds, in transfer order: per kind its file (or its
// per-element files and the catalogue naming them), the mover of each, how
// each document starts, the tables the reader fills and the two steps.
#include "transfer/Kinds.h"

namespace qmxml::transfer {

namespace {
constexpr KindFile kNoFile = {};
}  // namespace

const std::vector<Kind>& Kinds() {
  // path, extension, mover, summary key, message text, root, root case, first child,
  // inspection; then the tables, the steps, the catalogue's list, element files optional
  static const std::vector<Kind> kinds = {
      {"security",
       {kSecurityFile, nullptr, "ProjSecurityMover", "security", "users and groups document",
        "PROJECT", true, "Groups", nullptr},
       kNoFile,
       {"qmUserGroups", "qmUsers"},
       ExportSecurity,
       ImportTables,
       nullptr,
       false},
      {"project",
       {kProjectFile, nullptr, "ProjPropsMover", "project", "project properties document",
        "Project", false, "-", nullptr},
       kNoFile,
       {},
       ExportProjectProps,
       ImportTables,
       nullptr,
       false},
      {"structure",
       {kStructureFile, nullptr, "ProjStructureMover", "structure", "project structure document",
        "PROJECT", false, "RequirementTypes", nullptr},
       kNoFile,
       {"qmUserDefinedFields", "qmUserDefinedListItems", "qmRequirementTypes",
        "qmProjectRequirementTypes", "qmRequirementTypeFields", "qmDocumentTypes",
        "qmProjectDocumentTypes"},
       ExportStructure,
       ImportTables,
       nullptr,
       false},
      {"permissions",
       {kPermissionsFile, nullptr, "PermissionsMover", "permissions", "permissions document",
        "Project", true, "Groups", nullptr},
       kNoFile,
       {"qmProjectUsers", "qmRequirementTypeUsers", "qmDocumentTypeUsers",
        "qmUserDefinedFieldUsers", "qmUserDefinedListItemUsers"},
       ExportPermissions,
       ImportTables,
       nullptr,
       false},
      {"documents",
       {kDocumentsDir, ".xml", "DocPropertiesMover", "document", "document properties document",
        "PROJECT", false, "DOC", nullptr},
       {kDocListFile, nullptr, "DocListMover", "document list", "document list", "PROJECT", false,
        "DOCS", nullptr},
       {},
       ExportDocuments,
       ImportDocuments,
       &ImportContext::documents,
       false},
      {"queries",
       {kQueriesFile, nullptr, "QueryDefsMover", "queries", "saved queries document", "PROJECT",
        false, "QUERYDEFS", nullptr},
       kNoFile,
       {"QmQueryDefinitions"},
       ExportQueries,
       ImportQueries,
       nullptr,
       false},
      {"views",
       {kViewsDir, ".xml", "ViewMover", "view", "view document", "PROJECT", false, "VIEW", nullptr},
       {kViewListFile, nullptr, "ViewListMover", "view list", "view list", "PROJECT", false,
        "VIEWS", nullptr},
       {"QmViews"},
       ExportViews,
       ImportViews,
       &ImportContext::views,
       true,
       false,
       true},
      {"external projects",
       {kExternalFile, nullptr, "ExternalProjectMover", "external projects", nullptr, nullptr,
        false, "", nullptr},
       kNoFile,
       {},
       ExportExternalProjects,
       nullptr,
       nullptr,
       false},
      {"packages",
       {kPackagesDir, ".XML", "PackageMover", "package", "package document", "PROJECT", false,
        "Package", CheckResourceNames},
       {kPckListFile, nullptr, "PckListMover", "package list", "package list", "PROJECT", false,
        "Packages", nullptr},
       {},
       ExportPackages,
       ImportPackages,
       &ImportContext::packages,
       false,
       true},
      {"traces",
       {kTracesFile, nullptr, "TraceMover", "traces", "traces document", "Project", false, "",
        CheckTraceList},
       kNoFile,
       {"QmToRelationships"},
       ExportTraces,
       ImportTables,
       nullptr,
       false,
       false,
       true},
  };
  return kinds;
}

const Kind& KindNamed(std::string_view name) {
  for (const auto& k : Kinds())
    if (name == k.name) return k;
  throw Error(eErr_InvalidArgument, "Transfer", "unknown kind " + std::string(name));
}

const KindFile* FileOfMover(std::string_view mover) {
  for (const auto& k : Kinds())
    for (const KindFile* f : {&k.file, &k.catalogue})
      if (f->mover != nullptr && EqualsNoCase(f->mover, mover)) return f;
  return nullptr;
}

std::filesystem::path ElementFileOf(const KindFile& file, const std::string& guid,
                                    const std::string& whose) {
  return ElementFile(file.path, guid, file.extension, whose);
}

void ImportTables(ImportContext& ctx, const Kind& kind) {
  ImportFile(ctx, kind, kind.file.path);
}

}  // namespace qmxml::transfer
