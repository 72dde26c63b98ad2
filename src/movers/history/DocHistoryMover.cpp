// Creation of the history step of documents.
#include "movers/history/DocHistoryMover.h"

#include "frame/MoverRegistry.h"

namespace qmxml::movers {

MoverPtr NewDocHistoryMover() { return std::make_shared<DocHistoryMover>(); }

}  // namespace qmxml::movers
