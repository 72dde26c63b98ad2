// Movers whose data operations are not offered in this version. Each one
// identifies itself like the finished class, and ReadData/WriteData raise
// eErr_NotAvailable so that a caller learns at once that nothing moved.
// A class leaves this file when its own unit under movers/ is written.
#include "frame/MoverBase.h"
#include "frame/MoverRegistry.h"

namespace qmxml::movers {

MoverPtr NewPackageMoverForReports() { return std::make_shared<frame::PendingMover>("PackageMoverForReports"); }
MoverPtr NewDocReqsMover() { return std::make_shared<frame::PendingMover>("DocReqsMover"); }
MoverPtr NewViewReqsMover() { return std::make_shared<frame::PendingMover>("ViewReqsMover"); }
MoverPtr NewViewReqsMoverForReports() { return std::make_shared<frame::PendingMover>("ViewReqsMoverForReports"); }
MoverPtr NewBaseCompPckListMover() { return std::make_shared<frame::PendingMover>("BaseCompPckListMover"); }
MoverPtr NewBaseCompPackageMover() { return std::make_shared<frame::PendingMover>("BaseCompPackageMover"); }
MoverPtr NewBaseCompProjectMover() { return std::make_shared<frame::PendingMover>("BaseCompProjectMover"); }
MoverPtr NewBaseCompDiscsMover() { return std::make_shared<frame::PendingMover>("BaseCompDiscsMover"); }
MoverPtr NewBaseCompProjHistoryMover() { return std::make_shared<frame::PendingMover>("BaseCompProjHistoryMover"); }

}  // namespace qmxml::movers
