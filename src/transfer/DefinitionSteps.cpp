// Transfer steps of the project definition: project properties, structure
// and document properties.
#include "transfer/Kinds.h"
#include "transfer/Rows.h"

namespace qmxml::transfer {

void ExportProjectProps(ExportContext& ctx) {
  auto rs = Select(ctx,
                   "SELECT p.Name AS NAME, p.Description AS DESCRIPTION, p.Prefix AS PREFIX, "
                   "p.DocumentWordFormat AS DOCUMENTWORDFORMAT, a.QMGUID AS AUTHORGUID, "
                   "p.SecurityEnabled AS SECURITYENABLED, p.VersionNumber AS VERSIONNUMBER, "
                   "p.VersionLabel AS VERSIONLABEL, v.QMGUID AS VERSIONUSERGUID, "
                   "p.VersionDateTime AS VERSIONDATETIME, p.VersionReason AS VERSIONREASON, "
                   "p.RSDS AS RSDS, p.Flags AS FLAGS, p.QMGUID AS QMGUID "
                   "FROM qmProjects p LEFT JOIN qmUsers a ON a.ID = p.AuthorID "
                   "LEFT JOIN qmUsers v ON v.ID = p.VersionUserID WHERE p.ID = " +
                       std::to_string(ctx.project_key));
  DataDescriptor data;
  WriteWith("ProjPropsMover", ctx.dir / kProjectFile, rs, data);
  ctx.summary->files["project"] += 1;
}

void ImportProjectProps(ImportContext& ctx) {
  ReadWith("ProjPropsMover", ctx.dir / kProjectFile, std::make_shared<Collection>(), ctx);
}

}  // namespace qmxml::transfer
