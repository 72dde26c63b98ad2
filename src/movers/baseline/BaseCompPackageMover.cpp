// BaseCompPackageMover and PackageMoverForReports: the frame of a package
// extract and its package sections; the header and the requirement pass
// are the shared baseline writer's.
#include "movers/baseline/BaseCompPackageMover.h"

#include "frame/MoverRegistry.h"
#include "movers/baseline/BaseCompWriteXML.h"
#include "movers/content/PackageXml.h"
#include "qmxml/Error.h"
#include "xml/XmlDoc.h"

namespace qmxml::movers {
namespace {

using package_xml::SkipOnFailure;

bool Yes(const Variant& v) {
  try {
    return !v.IsEmpty() && !v.IsNull() && v.ToBool();
  } catch (const Error&) {
    return false;
  }
}

}  // namespace

BaseCompPackageMover::BaseCompPackageMover() : BaseCompPackageMover("BaseCompPackageMover", false) {}

BaseCompPackageMover::BaseCompPackageMover(std::string_view class_name, bool for_reports)
    : MoverBase(class_name), for_reports_(for_reports) {}

PackageMoverForReports::PackageMoverForReports()
    : BaseCompPackageMover("PackageMoverForReports", true) {}

void BaseCompPackageMover::ReadData(SourceContainer*, DataDescriptor*, ObjectPtr&, Scheduler*) {}

void BaseCompPackageMover::WriteData(SourceContainer* oSource, DataDescriptor* oData,
                                     ObjectPtr& oRs, Scheduler* oScheduler) {
  const std::string path = FilePath(oSource);
  if (auto db = DbContainer(oSource)) {
    conn_ = db->connection;
    keys_ = db->keys;
  }
  DataDescriptor no_context;
  const DataDescriptor& data = oData ? *oData : no_context;
  project_key_ = data.ProjectKey;
  doc_.reset();
  RunDataSet(oData, true, eMsg_Package, path, [&] { WritePackage_(oRs, data, path); });
  if (for_reports_ && doc_ && oScheduler) oScheduler->XMLDoc = doc_;
}

void BaseCompPackageMover::WritePackageData(ObjectPtr& oRs, DataDescriptor& oData,
                                            std::string& sDest,
                                            std::shared_ptr<Connection>& oDBCon,
                                            int32_t& lProjKey, std::shared_ptr<KeyMap>& oKeys) {
  conn_ = oDBCon;
  project_key_ = lProjKey;
  keys_ = oKeys;
  doc_.reset();
  RunDataSet(&oData, true, eMsg_Package, sDest, [&] { WritePackage_(oRs, oData, sDest); });
}

void BaseCompPackageMover::WritePackage_(const ObjectPtr& oRs, const DataDescriptor& data,
                                         const std::string& dest) {
  std::string resources_folder;
  SkipOnFailure(Run(), "the resources folder of an extract", [&] {
    resources_folder = package_xml::PrepareResourcesFolder(dest, data.ElementGUID.ToText());
  });
  auto rows = frame::Take<Collection>(oRs);
  if (!rows) return;
  baseline::BaselineState state = baseline::LoadRecordsets(rows.get(), data);
  state.resources_folder = resources_folder;
  state.run = &Run();

  xml::TextWriter w;
  w.Open("PROJECT");
  if (!for_reports_) baseline::SetSchemaAttributes(w, baseline::kBaselineSchema);
  if (baseline::WriteHeader(w, data, state, false)) CreatePackageSections_(w, data, state);
  if (for_reports_)
    doc_ = xml::ParseText(w.Finish(&Run().write_notes));
  else
    Save(w, dest);
}

void BaseCompPackageMover::CreatePackageSections_(xml::TextWriter& w,
                                                  const DataDescriptor& data,
                                                  const baseline::BaselineState& s) {
  using baseline::AppendColumn;
  if (s.package_info && !s.package_info->IsEOF())
    baseline::AppendPackageEntry(w, *s.package_info);

  if (Recordset* rs = s.child_packages.get()) {
    w.Open("Pkgs");
    for (; !rs->IsEOF(); rs->MoveNext()) {
      w.Open("Pkg");
      AppendColumn(w, "GUID", *rs, "QMGUID");
      AppendColumn(w, "PkgName", *rs, "Name");
      w.Close();
    }
    w.Close();
  }

  if (Recordset* rs = s.package_security.get()) {
    w.Open("PackageSecurity");
    w.Open("Groups");
    for (; !rs->IsEOF(); rs->MoveNext()) {
      w.Open("Group");
      AppendColumn(w, "Name", *rs, "GroupName");
      AppendColumn(w, "GUID", *rs, "GroupGUID");
      AppendColumn(w, "PackageAccessRights", *rs, "packageaccessrights");
      AppendColumn(w, "RequirementAccessRights", *rs, "requirementaccessrights");
      AppendColumn(w, "DocumentAccessRights", *rs, "documentaccessrights");
      AppendColumn(w, "ViewAccessRights", *rs, "viewaccessrights");
      w.Close();
    }
    w.Close();
    w.Close();
  }

  Recordset* docs = s.doc_info.get();
  if (docs && (!for_reports_ || Yes(data.IncludePkgDocsInfo))) {
    w.Open("Docs");
    baseline::RowIndex history(s.doc_history.get(), {"DocGuid"});
    for (; !docs->IsEOF(); docs->MoveNext())
      SkipOnFailure(Run(), "a document entry of a package extract", [&] {
        baseline::AppendDocEntry(w, *docs, baseline::EntryForm::kPackage, &history);
      });
    w.Close();
  }

  Recordset* views = s.view_info.get();
  if (views && (!for_reports_ || Yes(data.IncludePkgViewsInfo))) {
    w.Open("Views");
    for (; !views->IsEOF(); views->MoveNext())
      SkipOnFailure(Run(), "a view entry of a package extract",
          [&] { baseline::AppendViewEntry(w, *views, baseline::EntryForm::kPackage); });
    w.Close();
  }

  if (s.reqs && (!for_reports_ || Yes(data.IncludePkgReqsInfo))) {
    w.Open("Requirements");
    baseline::WriteRequirements(w, s);
    w.Close();
  }
}

MoverPtr NewBaseCompPackageMover() { return std::make_shared<BaseCompPackageMover>(); }
MoverPtr NewPackageMoverForReports() { return std::make_shared<PackageMoverForReports>(); }

}  // namespace qmxml::movers
