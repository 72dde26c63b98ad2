// Transfer steps of the project content: packages with their requirements
// and resources, and the traces between requirements.
#include "transfer/Kinds.h"
#include "transfer/Rows.h"

namespace qmxml::transfer {

void ExportTraces(ExportContext& ctx) {
  auto rs = Select(ctx,
                   "SELECT f.QMGUID AS ReqGUID, t.QMGUID AS ToReqGUID, r.State AS State, "
                   "r.Type AS Type, r.Name AS Name, r.VersionDateTime AS VersionDateTime "
                   "FROM QmToRelationships r "
                   "JOIN qmProjectRequirements pr ON pr.RequirementID = r.RequirementID "
                   "JOIN qmRequirements f ON f.ID = r.RequirementID "
                   "JOIN qmRequirements t ON t.ID = r.ToID "
                   "WHERE pr.ProjectID = " + std::to_string(ctx.project_key) +
                   " ORDER BY f.QMGUID, t.QMGUID, r.Type, r.State");
  DataDescriptor data;
  data.Data = Variant(ctx.project_guid);
  WriteWith("TraceMover", ctx.dir / kTracesFile, rs, data);
  ctx.summary->files["traces"] += 1;
}

void ImportTraces(ImportContext& ctx) {
  ReadWith("TraceMover", ctx.dir / kTracesFile,
           TargetCollection(*ctx.conn, {"QmToRelationships"}), ctx);
}

}  // namespace qmxml::transfer
