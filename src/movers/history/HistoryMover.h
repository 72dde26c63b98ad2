// HistoryMover: the shared shape of the history movers. A transfer can
// schedule a history step for every kind of element, but history rows are
// not carried in these documents (baseline extracts write project history
// themselves), so both data operations accept their four arguments, touch
// none of them and return normally. The history classes answer no
// identification properties.
#pragma once

#include "frame/MoverBase.h"

namespace qmxml::movers {

class HistoryMover : public frame::MoverBase {
 public:
  void ReadData(SourceContainer*, DataDescriptor*, ObjectPtr&, Scheduler*) override {}
  void WriteData(SourceContainer*, DataDescriptor*, ObjectPtr&, Scheduler*) override {}

 protected:
  using MoverBase::MoverBase;
};

}  // namespace qmxml::movers
