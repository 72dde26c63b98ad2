// The table of kinds, in transfer order.
#include "transfer/Kinds.h"

namespace qmxml::transfer {

const std::vector<Kind>& Kinds() {
  static const std::vector<Kind> kinds = {
      {"security", ExportSecurity, ImportSecurity},
      {"project", ExportProjectProps, ImportProjectProps},
      {"structure", ExportStructure, ImportStructure},
      {"permissions", ExportPermissions, ImportPermissions},
      {"documents", ExportDocuments, ImportDocuments},
      {"queries", ExportQueries, ImportQueries},
      {"views", ExportViews, ImportViews},
      {"external projects", ExportExternalProjects, nullptr},
      {"packages", ExportPackages, ImportPackages},
      {"traces", ExportTraces, ImportTraces},
  };
  return kinds;
}

}  // namespace qmxml::transfer
