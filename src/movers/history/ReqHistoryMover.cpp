// Creation of the history step of requirements.
#include "movers/history/ReqHistoryMover.h"

#include "frame/MoverRegistry.h"

namespace qmxml::movers {

MoverPtr NewReqHistoryMover() { return std::make_shared<ReqHistoryMover>(); }

}  // namespace qmxml::movers
