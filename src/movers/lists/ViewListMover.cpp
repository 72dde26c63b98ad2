// The view catalogue mover.
#include "movers/lists/ViewListMover.h"

#include "frame/MoverRegistry.h"

namespace qmxml::movers {
namespace {

const CatalogLayout kViewList{
    eMsg_ViewList,
    "Views",
    "VIEWS",
    "VIEW",
    {{"Name", "VIEWNAME", "NAME"},
     {"ID", "QMGUID", "ID"},
     {"filepath", "FilePath", "filepath"}},
};

}  // namespace

ViewListMover::ViewListMover() : CatalogListMover("ViewListMover", kViewList) {}

MoverPtr NewViewListMover() { return std::make_shared<ViewListMover>(); }

}  // namespace qmxml::movers
