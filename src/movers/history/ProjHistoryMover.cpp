// Creation of the history step of the project.
#include "movers/history/ProjHistoryMover.h"

#include "frame/MoverRegistry.h"

namespace qmxml::movers {

MoverPtr NewProjHistoryMover() { return std::make_shared<ProjHistoryMover>(); }

}  // namespace qmxml::movers
