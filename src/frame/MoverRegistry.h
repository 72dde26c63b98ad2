// The mover classes: one static table with a row per class, read by the
// factory (Mover.cpp: which names it offers, in which order, and how each
// class is created) and by MoverBase (what the identification properties
// answer and how error sources are prefixed). A new class is one new row
// here and its creation function in the class's own unit under movers/ (or
// in movers/Pending.cpp while its data operations are not offered yet).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

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

namespace qmxml::frame {

// One row of the class table.
struct MoverClassInfo {
  const char* class_name;     // the C++/automation class, and its factory property
  const char* reported_name;  // what ClassName reports after "QmXMLServices."
  int32_t class_id;           // enumInterfaceIdentifiers value
  bool has_identity;          // answers the identification properties
  bool dot_prefix;            // ClassDescription is "." + name instead of name + "."
  bool offered;               // reachable through a property of the Mover factory
  MoverPtr (*create)();       // a new instance of the class
};

// Every mover class, in the factory's dispatch order.
std::span<const MoverClassInfo> MoverClasses();

// The row of |class_name| (compared without case), or nullptr.
const MoverClassInfo* FindClassInfo(std::string_view class_name);

}  // namespace qmxml::frame
