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
  doc_ = xml::NewDocument();
  auto rows = frame::Take<Collection>(oRs);
  if (!rows) {
    doc_.reset();
    return;
  }
  baseline::BaselineState state = baseline::LoadRecordsets(rows.get(), data);
  state.resources_folder = resources_folder;
  state.run = &Run();

  pugi::xml_node project = doc_->append_child("PROJECT");
  if (!for_reports_) baseline::SetSchemaAttributes(project, baseline::kBaselineSchema);
  if (baseline::WriteHeader(project, data, state, false))
    CreatePackageSections_(project, data, state);
  if (!for_reports_) Save(doc_, dest);
}

void BaseCompPackageMover::CreatePackageSections_(pugi::xml_node project,
                                                  const DataDescriptor& data,
                                                  const baseline::BaselineState& s) {
  using baseline::AppendText;
  using baseline::Text;
  if (s.package_info && !s.package_info->IsEOF())
    baseline::AppendPackageEntry(project, *s.package_info);

  if (Recordset* rs = s.child_packages.get()) {
    pugi::xml_node pkgs = project.append_child("Pkgs");
    for (; !rs->IsEOF(); rs->MoveNext()) {
      pugi::xml_node pkg = pkgs.append_child("Pkg");
      AppendText(pkg, "GUID", Text(*rs, "QMGUID"));
      AppendText(pkg, "PkgName", Text(*rs, "Name"));
    }
  }

  if (Recordset* rs = s.package_security.get()) {
    pugi::xml_node groups = project.append_child("PackageSecurity").append_child("Groups");
    for (; !rs->IsEOF(); rs->MoveNext()) {
      pugi::xml_node group = groups.append_child("Group");
      AppendText(group, "Name", Text(*rs, "GroupName"));
      AppendText(group, "GUID", Text(*rs, "GroupGUID"));
      AppendText(group, "PackageAccessRights", Text(*rs, "packageaccessrights"));
      AppendText(group, "RequirementAccessRights", Text(*rs, "requirementaccessrights"));
      AppendText(group, "DocumentAccessRights", Text(*rs, "documentaccessrights"));
      AppendText(group, "ViewAccessRights", Text(*rs, "viewaccessrights"));
    }
  }

  Recordset* docs = s.doc_info.get();
  if (docs && (!for_reports_ || Yes(data.IncludePkgDocsInfo))) {
    pugi::xml_node list = project.append_child("Docs");
    baseline::RowIndex history(s.doc_history.get(), {"DocGuid"});
    for (; !docs->IsEOF(); docs->MoveNext())
      SkipOnFailure(Run(), "a document entry of a package extract", [&] {
        baseline::AppendDocEntry(list, *docs, baseline::EntryForm::kPackage, &history);
      });
  }

  Recordset* views = s.view_info.get();
  if (views && (!for_reports_ || Yes(data.IncludePkgViewsInfo))) {
    pugi::xml_node list = project.append_child("Views");
    for (; !views->IsEOF(); views->MoveNext())
      SkipOnFailure(Run(), "a view entry of a package extract",
          [&] { baseline::AppendViewEntry(list, *views, baseline::EntryForm::kPackage); });
  }

  if (s.reqs && (!for_reports_ || Yes(data.IncludePkgReqsInfo)))
    baseline::WriteRequirements(project.append_child("Requirements"), s);
}

MoverPtr NewBaseCompPackageMover() { return std::make_shared<BaseCompPackageMover>(); }
MoverPtr NewPackageMoverForReports() { return std::make_shared<PackageMoverForReports>(); }

}  // namespace qmxml::movers
