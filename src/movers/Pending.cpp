// Movers whose data operations are not offered in this version. Each one
// identifies itself like the finished class, and ReadData/WriteData raise
// eErr_NotAvailable so that a caller learns at once that nothing moved.
// A class leaves this file when its own unit under movers/ is written.
#include "frame/MoverBase.h"
#include "frame/MoverRegistry.h"

namespace qmxml::movers {

MoverPtr NewQueryDefsMover() { return std::make_shared<frame::PendingMover>("QueryDefsMover"); }
MoverPtr NewViewMover() { return std::make_shared<frame::PendingMover>("ViewMover"); }

}  // namespace qmxml::movers
