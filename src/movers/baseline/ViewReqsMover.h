// ViewReqsMover: the view twin of DocReqsMover (see DocReqsMover.h for the
// frame both share).
#pragma once

#include "movers/baseline/DocReqsMover.h"

namespace qmxml::movers {

// The view writer always saves its file and updates the baseline list,
// whatever ReturnAsXMLStream holds.
class ViewReqsMover : public ElementReqsMover {
 public:
  ViewReqsMover();

 protected:
  explicit ViewReqsMover(std::string_view class_name);
  bool HandsBack_(const DataDescriptor& data, const std::string& path) const override;
  bool UpdatesList_(const DataDescriptor& data, const std::string& path) const override;
};

}  // namespace qmxml::movers
