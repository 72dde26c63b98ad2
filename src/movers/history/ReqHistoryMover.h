// ReqHistoryMover: the history step of requirements. It moves nothing; see
// HistoryMover.h.
#pragma once

#include "movers/history/HistoryMover.h"

namespace qmxml::movers {

// WriteData and ReadData have no effect; oRs and the other arguments are
// not used.
class ReqHistoryMover final : public HistoryMover {
 public:
  ReqHistoryMover() : HistoryMover("ReqHistoryMover") {}
};

}  // namespace qmxml::movers
