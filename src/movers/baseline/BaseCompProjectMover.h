// BaseCompProjectMover: the package extracts of a whole project, one file
// per item of its oRs, each written by a baseline package mover.
// BaseCompProjHistoryMover: the project's revisions as their own document.
// Both only write.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "frame/MoverBase.h"
#include "qmxml/Collection.h"
#include "qmxml/Connection.h"
#include "qmxml/KeyMap.h"

namespace qmxml::movers {

// WriteData(oSource, oData, oRs, oScheduler): oRs is a Collection whose
// items are Collections of record sets, one per package, under the keys of
// the baseline package mover. The destination of item i is the source
// container's path text followed by oData.ElementGUID and ".XML" (no
// separator added; ElementGUID is read anew for each item, so a caller that
// wants one file per package hands in one package per call or changes it
// in between). More than 32767 items is error 6 (overflow). A failing
// package stops the loop; files already written stay.
class BaseCompProjectMover : public frame::MoverBase {
 public:
  BaseCompProjectMover();

  void ReadData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                Scheduler* oScheduler) override;
  void WriteData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                 Scheduler* oScheduler) override;

  // The same with oData.FileDirectory as the folder text and the
  // connection, project key and key map the instance holds.
  void WriteBCProject(ObjectPtr& oRs, DataDescriptor& oData);

 private:
  void WriteAllPackages_(const ObjectPtr& oRs, DataDescriptor& data, const std::string& folder);

  std::shared_ptr<Connection> conn_;
  int32_t project_key_ = 0;
  std::shared_ptr<KeyMap> keys_;
};

// WriteData(oSource, oData, oRs, oScheduler): oRs is one record set of
// revision rows (VersionNumber, VersionLabel, UserGuid, FullName,
// VersionDateTime, OverflowVersionReason, VersionReason, Flags), walked
// from its current row. PROJECT gets "GUID" = oData.ElementGUID and a
// History only when a row is left. With oData.ReturnAsXMLStream the
// document goes to oScheduler->XMLDoc, else to the source container's
// path. Without oRs nothing is written.
class BaseCompProjHistoryMover : public frame::MoverBase {
 public:
  BaseCompProjHistoryMover();

  void ReadData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                Scheduler* oScheduler) override;
  void WriteData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                 Scheduler* oScheduler) override;
};

// WriteData(oSource, oData, oRs, oScheduler): oRs is one record set of
// package rows (QmGuid, PackageGUID, ID, NAME, DESCRIPTION, PARENTID) walked
// from its current row; PROJECT gets "GUID" from the first row, then one Pkg
// per row with the attributes GUID, PackageID, Name, Description and
// ParentID (names and descriptions cleaned). Always saved to the path.
class BaseCompPckListMover : public frame::MoverBase {
 public:
  BaseCompPckListMover();

  void ReadData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                Scheduler* oScheduler) override;
  void WriteData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                 Scheduler* oScheduler) override;
};

}  // namespace qmxml::movers
