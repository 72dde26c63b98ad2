// BaseCompPackageMover: the baseline extract of one package: the package
// with its sub-packages and group rights, the documents and views it holds,
// and its requirements with everything the shared baseline writer hangs off
// them. Write-only. PackageMoverForReports is the same extract handed back
// in memory for a report generator.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>


#include "frame/MoverBase.h"
#include "movers/baseline/BaseCompWriteXML.h"
#include "qmxml/Collection.h"
#include "qmxml/Connection.h"
#include "qmxml/KeyMap.h"

namespace qmxml::movers {

// WriteData(oSource, oData, oRs, oScheduler): oRs is a Collection of record
// sets under the keys the shared baseline writer takes ("PackageInfo",
// "ChildPackages", "PackageSecurity", "DocInfo", "DocHistory", "ViewInfo",
// "Reqs" and the requirement sets); the extract kind is oData.ElementType
// (0x200000 for a package, 0x400000 inside a project baseline). The file
// path is the source container's; resource files go to "Resources" in
// place of ElementGUID & ".XML" in that path (beside the file when the path
// does not hold it). Group names and GUIDs come from the GroupName
// and GroupGUID columns of the "PackageSecurity" rows. A section is written when its record set is
// in oRs (an empty set gives an empty element); a missing "PackageInfo"
// leaves the Pkg entry out. A Doc or View whose building fails is left out;
// a failure to save is raised as 23003 with 23013. oScheduler is not used.
// ReadData does nothing.
class BaseCompPackageMover : public frame::MoverBase {
 public:
  BaseCompPackageMover();

  void ReadData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                Scheduler* oScheduler) override;
  void WriteData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                 Scheduler* oScheduler) override;

  // Writes the extract of the collection |oRs| to |sDest| for a caller that
  // holds the rows and the connection itself; keeps |oDBCon|, |lProjKey|
  // and |oKeys| in the instance. Failures as WriteData.
  void WritePackageData(ObjectPtr& oRs, DataDescriptor& oData, std::string& sDest,
                        std::shared_ptr<Connection>& oDBCon, int32_t& lProjKey,
                        std::shared_ptr<KeyMap>& oKeys);

 protected:
  BaseCompPackageMover(std::string_view class_name, bool for_reports);

  void WritePackage_(const ObjectPtr& oRs, const DataDescriptor& data, const std::string& dest);

 private:
  void CreatePackageSections_(xml::TextWriter& w, const DataDescriptor& data,
                              const baseline::BaselineState& state);

  const bool for_reports_;
  std::shared_ptr<Connection> conn_;
  int32_t project_key_ = 0;
  std::shared_ptr<KeyMap> keys_;
};

// The report form: no schema attributes on PROJECT; Docs, Views and
// Requirements only when IncludePkgDocsInfo, IncludePkgViewsInfo and
// IncludePkgReqsInfo of oData say so; the document is never saved but kept
// and handed to oScheduler->XMLDoc at the end of WriteData (WritePackageData
// keeps it for Document()). The resource folder may be created; with a
// report kind (0x2000000, 0x4000000) no resource file is written.
class PackageMoverForReports : public BaseCompPackageMover {
 public:
  PackageMoverForReports();
};

}  // namespace qmxml::movers
