// BaseCompProjectMover, BaseCompProjHistoryMover and BaseCompPckListMover:
// the project-level pieces of a baseline.
#include "movers/baseline/BaseCompProjectMover.h"

#include <limits>

#include "frame/MoverRegistry.h"
#include "movers/baseline/BaseCompPackageMover.h"
#include "movers/baseline/BaseCompWriteXML.h"
#include "qmxml/Error.h"
#include "frame/Guid.h"
#include "xml/XmlDoc.h"

namespace qmxml::movers {

// ---------------------------------------------------------------------------
// BaseCompProjectMover
// ---------------------------------------------------------------------------

BaseCompProjectMover::BaseCompProjectMover() : MoverBase("BaseCompProjectMover") {}

void BaseCompProjectMover::ReadData(SourceContainer*, DataDescriptor*, ObjectPtr&, Scheduler*) {}

void BaseCompProjectMover::WriteData(SourceContainer* oSource, DataDescriptor* oData,
                                     ObjectPtr& oRs, Scheduler*) {
  UseRun(oData);
  if (auto db = DbContainer(oSource)) {
    conn_ = db->connection;
    keys_ = db->keys;
  }
  DataDescriptor no_context;
  DataDescriptor& data = oData ? *oData : no_context;
  project_key_ = data.ProjectKey;
  WriteAllPackages_(oRs, data, FilePath(oSource));
}

void BaseCompProjectMover::WriteBCProject(ObjectPtr& oRs, DataDescriptor& oData) {
  WriteAllPackages_(oRs, oData, oData.FileDirectory.ToText());
}

void BaseCompProjectMover::WriteAllPackages_(const ObjectPtr& oRs, DataDescriptor& data,
                                             const std::string& folder) {
  auto packages = frame::Take<Collection>(oRs);
  if (!packages) return;
  if (packages->Count() > static_cast<size_t>(std::numeric_limits<int16_t>::max()))
    throw Error(eErr_Overflow, Source("WriteAllPackages_"),
                "Overflow: " + std::to_string(packages->Count()) + " packages in one call");
  BaseCompPackageMover package_mover;
  for (size_t i = 1; i <= packages->Count(); ++i) {
    ObjectPtr item = packages->Item(i).ToObject();
    // Named by the GUID in braces (stored with or without them).
    const std::string stem = frame::FileGuid(data.ElementGUID.ToText());
    if (stem.empty())
      throw Error(eErr_BadGuid, Source("WriteAllPackages_"),
                  "the package GUID \"" + data.ElementGUID.ToText() + "\" cannot name a file");
    std::string dest = folder + stem + ".XML";
    package_mover.WritePackageData(item, data, dest, conn_, project_key_, keys_);
  }
}

// ---------------------------------------------------------------------------
// BaseCompProjHistoryMover
// ---------------------------------------------------------------------------

BaseCompProjHistoryMover::BaseCompProjHistoryMover() : MoverBase("BaseCompProjHistoryMover") {}

void BaseCompProjHistoryMover::ReadData(SourceContainer*, DataDescriptor*, ObjectPtr&,
                                        Scheduler*) {}

void BaseCompProjHistoryMover::WriteData(SourceContainer* oSource, DataDescriptor* oData,
                                         ObjectPtr& oRs, Scheduler* oScheduler) {
  UseRun(oData);
  auto rs = frame::Take<Recordset>(oRs);
  if (!rs) return;
  xml::TextWriter w;
  w.Open("PROJECT");
  if (!rs->IsEOF()) {
    w.Attr("GUID", oData ? oData->ElementGUID.ToText() : std::string());
    w.Open("History");
    for (; !rs->IsEOF(); rs->MoveNext()) baseline::AppendRevision(w, *rs);
  }
  SaveOrHandBack(w, oData, oScheduler, FilePath(oSource));
}

// ---------------------------------------------------------------------------
// BaseCompPckListMover
// ---------------------------------------------------------------------------

BaseCompPckListMover::BaseCompPckListMover() : MoverBase("BaseCompPckListMover") {}

void BaseCompPckListMover::ReadData(SourceContainer*, DataDescriptor*, ObjectPtr&, Scheduler*) {}

void BaseCompPckListMover::WriteData(SourceContainer* oSource, DataDescriptor* oData,
                                     ObjectPtr& oRs, Scheduler*) {
  UseRun(oData);
  doc_ = xml::NewDocument();
  auto rs = frame::Take<Recordset>(oRs);
  if (!rs) {
    doc_.reset();
    return;
  }
  using baseline::CarriedText;
  using baseline::CleanText;
  using baseline::Text;
  pugi::xml_node project = doc_->append_child("PROJECT");
  if (!rs->IsEOF()) xml::SetAttr(project, "GUID", CarriedText(Text(*rs, "QmGuid")));
  for (; !rs->IsEOF(); rs->MoveNext()) {
    pugi::xml_node pkg = project.append_child("Pkg");
    xml::SetAttr(pkg, "GUID", CarriedText(Text(*rs, "PackageGUID")));
    xml::SetAttr(pkg, "PackageID", Text(*rs, "ID"));
    xml::SetAttr(pkg, "Name", CarriedText(CleanText(Text(*rs, "NAME"))));
    xml::SetAttr(pkg, "Description", CarriedText(CleanText(Text(*rs, "DESCRIPTION"))));
    xml::SetAttr(pkg, "ParentID", Text(*rs, "PARENTID"));
  }
  Save(doc_, FilePath(oSource));
}

MoverPtr NewBaseCompProjectMover() { return std::make_shared<BaseCompProjectMover>(); }
MoverPtr NewBaseCompProjHistoryMover() { return std::make_shared<BaseCompProjHistoryMover>(); }
MoverPtr NewBaseCompPckListMover() { return std::make_shared<BaseCompPckListMover>(); }

}  // namespace qmxml::movers
