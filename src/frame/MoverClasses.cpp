// The class table: one row per mover class, in the factory's dispatch
// order (what Mover::PropertyNames lists). Classes that share a report
// (the requirement writers of views, the package writer for reports)
// report the name of the class whose output they produce.
#include "frame/MoverRegistry.h"

#include "qmxml/Collection.h"

namespace qmxml::frame {
namespace {

using namespace qmxml::movers;

// class, reported name, ClassID, identity, dot prefix, offered, creation
const MoverClassInfo kClasses[] = {
    {"DocHistoryMover", "DocHistoryMover", 2, false, false, true, NewDocHistoryMover},
    {"DocListMover", "DocListMover", 3, true, false, true, NewDocListMover},
    {"DocPropertiesMover", "DocPropertiesMover", 4, true, false, true, NewDocPropertiesMover},
    {"ProjHistoryMover", "ProjHistoryMover", 0, false, false, true, NewProjHistoryMover},
    {"ProjStructureMover", "ProjStructureMover", 16, true, false, true, NewProjStructureMover},
    {"ProjPropsMover", "ProjPropsMover", 14, true, false, true, NewProjPropsMover},
    {"PermissionsMover", "PermissionsMover", 13, true, true, true, NewPermissionsMover},
    {"ProjSecurityMover", "ProjSecurityMover", 15, true, false, true, NewProjSecurityMover},
    {"PckListMover", "PckListMover", 11, true, false, true, NewPckListMover},
    {"TraceMover", "TraceMover", 20, true, false, true, NewTraceMover},
    {"PackageMover", "PackageMover", 9, true, false, true, NewPackageMover},
    {"PackageMoverForReports", "BaseCompPackageMover", 19, true, false, true,
     NewPackageMoverForReports},
    {"QueryDefsMover", "QueryDefsMover", 17, true, false, true, NewQueryDefsMover},
    {"ReqHistoryMover", "ReqHistoryMover", 0, false, false, true, NewReqHistoryMover},
    {"ViewMover", "ViewMover", 19, true, false, true, NewViewMover},
    {"ViewListMover", "ViewListMover", 18, true, false, true, NewViewListMover},
    {"DocReqsMover", "DocReqsMover", 19, true, false, true, NewDocReqsMover},
    {"ViewReqsMover", "DocReqsMover", 19, true, false, true, NewViewReqsMover},
    {"ViewReqsMoverForReports", "DocReqsMover", 19, true, false, true,
     NewViewReqsMoverForReports},
    {"BaseCompPckListMover", "BaseCompPckListMover", 0, false, false, true,
     NewBaseCompPckListMover},
    {"ExternalProjectMover", "ExternalProjectMover", 0, false, false, true,
     NewExternalProjectMover},
    {"BaseCompPackageMover", "BaseCompPackageMover", 19, true, false, true,
     NewBaseCompPackageMover},
    {"BaseCompProjectMover", "BaseCompProjectMover", 19, true, false, true,
     NewBaseCompProjectMover},
    {"BaseCompDiscsMover", "BaseCompDiscsMover", 0, false, false, true, NewBaseCompDiscsMover},
    {"BaseCompProjHistoryMover", "BaseCompProjHistoryMover", 0, false, false, true,
     NewBaseCompProjHistoryMover},
    {"PckHistoryMover", "PckHistoryMover", 10, false, false, false, NewPckHistoryMover},
};

}  // namespace

std::span<const MoverClassInfo> MoverClasses() { return kClasses; }

const MoverClassInfo* FindClassInfo(std::string_view class_name) {
  for (const auto& c : kClasses)
    if (EqualsNoCase(c.class_name, class_name)) return &c;
  return nullptr;
}

}  // namespace qmxml::frame
