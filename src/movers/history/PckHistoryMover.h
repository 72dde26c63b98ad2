// PckHistoryMover: the history step of packages. It moves nothing; see
// HistoryMover.h.
#pragma once

#include "movers/history/HistoryMover.h"

namespace qmxml::movers {

// WriteData and ReadData have no effect; oRs and the other arguments are
// not used. The mover factory does not offer this class: it is created by
// its class name only.
class PckHistoryMover final : public HistoryMover {
 public:
  PckHistoryMover() : HistoryMover("PckHistoryMover") {}
};

}  // namespace qmxml::movers
