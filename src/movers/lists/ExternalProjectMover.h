// ExternalProjectMover: the list of external projects a project is linked
// to (projects whose requirements it may trace to). Written only.
#pragma once

#include <string>

#include "frame/MoverBase.h"

namespace qmxml::movers {

// Writes one "ExternalProject" per link.
//
// WriteData: oRs is one record set of link rows, each with `ProjectGUID`
// (the linking project), `ExtProjectGUID`, `Prefix`, `NAME`, `Directory`,
// `Filename` and `ConnectAtOpen` (Boolean), walked from the current row to
// the end. Written, and always saved to the container's file path:
//   <PROJECT GUID><ExternalProject GUID Prefix Name Directory Filename
//   ConnectAtOpen/>...
// "GUID" on the root comes from the first row's `ProjectGUID` and is left
// out when there are no rows (the file then holds an empty "PROJECT"); the
// root carries no "ID" or "XMLVersion". Null texts are written empty, a
// Null `ConnectAtOpen` as "False". No rows object at all writes nothing.
// Any failure comes back with its number and source and the description
// "$$Unable to write the External Projects XML. " + its own description.
//
// ReadData does nothing and raises nothing.
class ExternalProjectMover final : public frame::MoverBase {
 public:
  ExternalProjectMover();

  void WriteData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                 Scheduler* oScheduler) override;
  void ReadData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                Scheduler* oScheduler) override;

 private:
  void WriteExternalProjects_(const RecordsetPtr& rs, const std::string& path);
};

}  // namespace qmxml::movers
