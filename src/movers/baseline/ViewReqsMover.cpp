// ViewReqsMover: writes one saved view with its requirements.
#include "movers/baseline/ViewReqsMover.h"

#include "frame/MoverRegistry.h"

namespace qmxml::movers {

ViewReqsMover::ViewReqsMover() : ElementReqsMover("ViewReqsMover", true) {}

ViewReqsMover::ViewReqsMover(std::string_view class_name) : ElementReqsMover(class_name, true) {}

bool ViewReqsMover::HandsBack_(const DataDescriptor&, const std::string&) const { return false; }

bool ViewReqsMover::UpdatesList_(const DataDescriptor&, const std::string& path) const {
  return !path.empty();
}

MoverPtr NewViewReqsMover() { return std::make_shared<ViewReqsMover>(); }

}  // namespace qmxml::movers
