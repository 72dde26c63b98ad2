// ViewReqsMoverForReports: which destinations are handed back.
#include "movers/baseline/ViewReqsMoverForReports.h"

#include "frame/MoverRegistry.h"
#include "qmxml/Collection.h"

namespace qmxml::movers {

ViewReqsMoverForReports::ViewReqsMoverForReports() : ViewReqsMover("ViewReqsMoverForReports") {}

bool ViewReqsMoverForReports::HandsBack_(const DataDescriptor&, const std::string& path) const {
  return path.empty() || EqualsNoCase(path, "XMLSTREAM");
}

bool ViewReqsMoverForReports::UpdatesList_(const DataDescriptor& data,
                                           const std::string& path) const {
  return !HandsBack_(data, path);
}

MoverPtr NewViewReqsMoverForReports() { return std::make_shared<ViewReqsMoverForReports>(); }

}  // namespace qmxml::movers
