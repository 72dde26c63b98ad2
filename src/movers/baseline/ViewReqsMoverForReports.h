// ViewReqsMoverForReports: the view extract of ViewReqsMover for report
// generation, handed back in memory.
#pragma once

#include "movers/baseline/ViewReqsMover.h"

namespace qmxml::movers {

// The same document as ViewReqsMover. It is kept and handed to
// oScheduler->XMLDoc when the file path is empty or the word "XMLSTREAM"
// (in any case), and then neither a file nor a baseline-list entry is
// written; any other path is saved to, with its list entry, as the view
// writer does. ReturnAsXMLStream is not consulted.
class ViewReqsMoverForReports : public ViewReqsMover {
 public:
  ViewReqsMoverForReports();

 protected:
  bool HandsBack_(const DataDescriptor& data, const std::string& path) const override;
  bool UpdatesList_(const DataDescriptor& data, const std::string& path) const override;
};

}  // namespace qmxml::movers
