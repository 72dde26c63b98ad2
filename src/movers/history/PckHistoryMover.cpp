// Creation of the history step of packages.
#include "movers/history/PckHistoryMover.h"

#include "frame/MoverRegistry.h"

namespace qmxml::movers {

MoverPtr NewPckHistoryMover() { return std::make_shared<PckHistoryMover>(); }

}  // namespace qmxml::movers
