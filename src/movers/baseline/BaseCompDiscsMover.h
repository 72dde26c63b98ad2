// BaseCompDiscsMover: the discussions of a project for a baseline, each
// with its author and state, the users and groups it is addressed to, who
// has read it, its replies with their read marks, and the requirements it
// is about. Write-only.
#pragma once

#include "frame/MoverBase.h"

namespace qmxml::movers {

// WriteData(oSource, oData, oRs, oScheduler): oRs is a Collection of record
// sets: "Discs" (drives the pass, ascending DiscID), "DiscReqs" (paired by
// DiscussionID), "DiscUser", "DiscGroup", "DiscRead" (by DiscID),
// "DiscReply" (by ParentID) and "DiscReplyRead" (by each reply's DiscID),
// each sorted ascending by its pairing column; a row whose pairing value
// is below the current discussion's is passed over, so orphans cost
// nothing. A missing set leaves its lists out; a list without items is not
// written. PROJECT carries the schema attributes and GUID = the project
// GUID (oData.SpectoProject). Always saved to the path.
class BaseCompDiscsMover : public frame::MoverBase {
 public:
  BaseCompDiscsMover();

  void ReadData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                Scheduler* oScheduler) override;
  void WriteData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                 Scheduler* oScheduler) override;
};

}  // namespace qmxml::movers
