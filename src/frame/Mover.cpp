// The mover factory: one static table of property names and creation
// functions, in the factory's dispatch order.
#include "qmxml/Mover.h"

#include "frame/MoverRegistry.h"
#include "qmxml/Collection.h"
#include "qmxml/Error.h"

namespace qmxml {
namespace {

struct Entry {
  const char* name;
  MoverPtr (*create)();
  bool offered;  // reachable through a Mover property
};

const Entry kMovers[] = {
    {"DocHistoryMover", movers::NewDocHistoryMover, true},
    {"DocListMover", movers::NewDocListMover, true},
    {"DocPropertiesMover", movers::NewDocPropertiesMover, true},
    {"ProjHistoryMover", movers::NewProjHistoryMover, true},
    {"ProjStructureMover", movers::NewProjStructureMover, true},
    {"ProjPropsMover", movers::NewProjPropsMover, true},
    {"PermissionsMover", movers::NewPermissionsMover, true},
    {"ProjSecurityMover", movers::NewProjSecurityMover, true},
    {"PckListMover", movers::NewPckListMover, true},
    {"TraceMover", movers::NewTraceMover, true},
    {"PackageMover", movers::NewPackageMover, true},
    {"PackageMoverForReports", movers::NewPackageMoverForReports, true},
    {"QueryDefsMover", movers::NewQueryDefsMover, true},
    {"ReqHistoryMover", movers::NewReqHistoryMover, true},
    {"ViewMover", movers::NewViewMover, true},
    {"ViewListMover", movers::NewViewListMover, true},
    {"DocReqsMover", movers::NewDocReqsMover, true},
    {"ViewReqsMover", movers::NewViewReqsMover, true},
    {"ViewReqsMoverForReports", movers::NewViewReqsMoverForReports, true},
    {"BaseCompPckListMover", movers::NewBaseCompPckListMover, true},
    {"ExternalProjectMover", movers::NewExternalProjectMover, true},
    {"BaseCompPackageMover", movers::NewBaseCompPackageMover, true},
    {"BaseCompProjectMover", movers::NewBaseCompProjectMover, true},
    {"BaseCompDiscsMover", movers::NewBaseCompDiscsMover, true},
    {"BaseCompProjHistoryMover", movers::NewBaseCompProjHistoryMover, true},
    {"PckHistoryMover", movers::NewPckHistoryMover, false},
};

}  // namespace

MoverPtr Mover::Get(std::string_view property) const {
  for (const auto& e : kMovers)
    if (e.offered && EqualsNoCase(e.name, property)) return e.create();
  throw Error(eErr_NoProperty, "QmXMLServices.Mover",
              "Object doesn't support this property or method: " + std::string(property));
}

std::vector<std::string> Mover::PropertyNames() {
  std::vector<std::string> names;
  for (const auto& e : kMovers)
    if (e.offered) names.emplace_back(e.name);
  return names;
}

MoverPtr Mover::CreateClass(std::string_view class_name) {
  for (const auto& e : kMovers)
    if (EqualsNoCase(e.name, class_name)) return e.create();
  return nullptr;
}

}  // namespace qmxml
