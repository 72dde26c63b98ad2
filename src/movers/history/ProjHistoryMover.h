// ProjHistoryMover: the history step of the project. It moves nothing; see
// HistoryMover.h.
#pragma once

#include "movers/history/HistoryMover.h"

namespace qmxml::movers {

// WriteData and ReadData have no effect; oRs and the other arguments are
// not used.
class ProjHistoryMover final : public HistoryMover {
 public:
  ProjHistoryMover() : HistoryMover("ProjHistoryMover") {}
};

}  // namespace qmxml::movers
