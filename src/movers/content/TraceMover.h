// TraceMover: the traceability links between the requirements of one
// project, as a trace document and back.
#pragma once

#include <memory>
#include <string>

#include <pugixml.hpp>

#include "frame/MoverBase.h"
#include "qmxml/Collection.h"
#include "qmxml/Recordset.h"
#include "xml/ElementLayout.h"

namespace qmxml::movers {

// The attributes of "TraceTo" (VersionDateTime computed: cTimeStamp).
inline constexpr xml::AttrTable kTraceToAttrs{{
    {"ReqGUID", "ReqGUID"},
    {"ToReqGUID", "ToReqGUID"},
    {"State", "State", xml::kLong},
    {"Type", "Type", xml::kLong},
    {"Name", "Name"},
    {"VersionDateTime"},
}};

// Moves the traces (QmToRelationships rows): requirement RequirementID
// traces to requirement ToID. Links to requirements of other projects are
// not carried; both external project columns are 0 on import.
//
// Document:
//   <Project ID="<oData.Data>" XMLVersion="2">
//     <Traces>                       (only when there is at least one row)
//       <TraceTo ReqGUID ToReqGUID State Type Name VersionDateTime/>
//
// WriteData: oRs is ONE Recordset, read from its current row to the end,
//   with the columns
//     ReqGUID         text  GUID of the requirement the trace starts at
//     ToReqGUID       text  GUID of the requirement it traces to
//     State, Type     integer
//     Name            text
//     VersionDateTime date-time (written through cTimeStamp)
//   The document is always saved to the container's file path (it is not
//   handed to the scheduler). Without the conversion service and with rows
//   to write, no document is written.
//
// ReadData: oRs is a Collection holding the updatable record set of the
//   target table under the key "QmToRelationships" (transfer::
//   TargetRecordset). Rows are added to it and sent with one UpdateBatch;
//   no statement is run otherwise. The database container must carry the
//   key map; every ReqGUID/ToReqGUID must resolve through
//   getKeyFromGUID("Requirement", guid) (recorded by the package readers of
//   the same transfer, or a requirement of the target database with that
//   GUID). An unresolved GUID stops the read before the batch is sent; rows
//   added until then stay pending in the caller's record set. Attributes are
//   read by position, in the writer's order.
class TraceMover : public frame::MoverBase {
 public:
  TraceMover() : MoverBase("TraceMover") {}

  void WriteData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                 Scheduler* oScheduler) override;
  void ReadData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                Scheduler* oScheduler) override;

 private:
  // Appends <Traces> with one <TraceTo> per row of |rs| to |project|, unless
  // |rs| is at its end. False when the conversion service is missing (and
  // then nothing is appended).
  // The Traces element of the rows of |rs| from its current row on.
  static void WriteTraces(Recordset& rs, ConversionService& conversion, xml::TextWriter& w);
  // Loads |path| and adds one relationship row per <TraceTo> to the
  // collection's QmToRelationships record set.
  void CreateTracesDBElement_(const std::string& path, const SourceContainer* oSource,
                              Collection* rows);
};

}  // namespace qmxml::movers
