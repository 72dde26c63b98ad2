// DocHistoryMover: the history step of documents. It moves nothing; see
// HistoryMover.h.
#pragma once

#include "movers/history/HistoryMover.h"

namespace qmxml::movers {

// WriteData and ReadData have no effect; oRs and the other arguments are
// not used.
class DocHistoryMover final : public HistoryMover {
 public:
  DocHistoryMover() : HistoryMover("DocHistoryMover") {}
};

}  // namespace qmxml::movers
