// Creation functions of every mover class, one per class, defined in the
// class's own unit under movers/ (or in movers/Pending.cpp while the class's
// data operations are not offered yet). The factory table in Mover.cpp maps
// property names to these.
#pragma once

#include "qmxml/IMover.h"

namespace qmxml::movers {

MoverPtr NewDocHistoryMover();
MoverPtr NewDocListMover();
MoverPtr NewDocPropertiesMover();
MoverPtr NewProjHistoryMover();
MoverPtr NewProjStructureMover();
MoverPtr NewProjPropsMover();
MoverPtr NewPermissionsMover();
MoverPtr NewProjSecurityMover();
MoverPtr NewPckListMover();
MoverPtr NewTraceMover();
MoverPtr NewPackageMover();
MoverPtr NewPackageMoverForReports();
MoverPtr NewQueryDefsMover();
MoverPtr NewReqHistoryMover();
MoverPtr NewViewMover();
MoverPtr NewViewListMover();
MoverPtr NewDocReqsMover();
MoverPtr NewViewReqsMover();
MoverPtr NewViewReqsMoverForReports();
MoverPtr NewBaseCompPckListMover();
MoverPtr NewExternalProjectMover();
MoverPtr NewBaseCompPackageMover();
MoverPtr NewBaseCompProjectMover();
MoverPtr NewBaseCompDiscsMover();
MoverPtr NewBaseCompProjHistoryMover();
MoverPtr NewPckHistoryMover();

}  // namespace qmxml::movers
