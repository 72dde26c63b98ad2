// DocReqsMover and ViewReqsMover: twin writers that export one document, or
// one saved view, with the requirements it holds, in the baseline schema.
// The header, the requirement list and the baseline list come from the
// shared baseline writer; this unit holds the frame both share and the
// document writer, ViewReqsMover.cpp the view writer.
#pragma once

#include <string>
#include <string_view>

#include "frame/MoverBase.h"

namespace qmxml::movers {

// The frame of both writers. WriteData(oSource, oData, oRs, oScheduler):
// oRs is a Collection of record sets under the baseline writer's keys
// ("DocInfo" or "ViewInfo", "Reqs" and the requirement sets); the extract
// kind is oData.ElementType. Resource files go to "Resources" in place of
// ElementGUID & ".XML" in the file path (no folder without a path). The
// Doc or View element is filled from the first row of the information set
// and Requirements follow when that worked. A failing step is skipped and
// the rest is written, except that a document that cannot be saved raises
// its error with the description "$$Unable to write the Document XML. " or
// "$$Unable to write the View XML. " in front. ReadData does nothing.
class ElementReqsMover : public frame::MoverBase {
 public:
  void ReadData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                Scheduler* oScheduler) override;
  void WriteData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                 Scheduler* oScheduler) override;

 protected:
  ElementReqsMover(std::string_view class_name, bool is_view);

  // Whether the document is kept and handed to the scheduler instead of
  // being saved to |path|.
  virtual bool HandsBack_(const DataDescriptor& data, const std::string& path) const = 0;
  // Whether this extract gets its entry in the baseline list.
  virtual bool UpdatesList_(const DataDescriptor& data, const std::string& path) const = 0;

 private:
  void WriteElement_(const ObjectPtr& oRs, const DataDescriptor& data, const std::string& path);

  const bool is_view_;
};

// The document writer: with ReturnAsXMLStream the document is handed to
// oScheduler->XMLDoc, no file is written and the baseline list is not
// touched; otherwise it is saved and the list updated.
class DocReqsMover : public ElementReqsMover {
 public:
  DocReqsMover();

 protected:
  bool HandsBack_(const DataDescriptor& data, const std::string& path) const override;
  bool UpdatesList_(const DataDescriptor& data, const std::string& path) const override;
};

}  // namespace qmxml::movers
