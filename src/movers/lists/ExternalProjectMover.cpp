// The external project list writer.
#include "movers/lists/ExternalProjectMover.h"

#include "frame/MoverRegistry.h"
#include "movers/lists/CatalogListMover.h"

namespace qmxml::movers {

ExternalProjectMover::ExternalProjectMover() : MoverBase("ExternalProjectMover") {}

void ExternalProjectMover::WriteData(SourceContainer* oSource, DataDescriptor* oData,
                                     ObjectPtr& oRs, Scheduler*) {
  UseRun(oData);
  try {
    const std::string path = FilePath(oSource);
    WriteExternalProjects_(TakeRecordset(oRs, Source("IMover_WriteData")), path);
  } catch (const Error& e) {
    throw e.WithDescription("$$Unable to write the External Projects XML. " +
                            e.Description());
  }
}

void ExternalProjectMover::ReadData(SourceContainer*, DataDescriptor*, ObjectPtr&,
                                    Scheduler*) {}

void ExternalProjectMover::WriteExternalProjects_(const RecordsetPtr& rs,
                                                  const std::string& path) {
  doc_ = xml::NewDocument();
  if (!rs) return;

  pugi::xml_node project = xml::AppendElement(*doc_, "PROJECT");
  if (!rs->IsEOF()) xml::SetColumnAttr(project, "GUID", *rs, "ProjectGUID");
  for (; !rs->IsEOF(); rs->MoveNext()) {
    pugi::xml_node link = xml::AppendElement(project, "ExternalProject");
    xml::SetColumnAttr(link, "GUID", *rs, "ExtProjectGUID");
    xml::SetColumnAttr(link, "Prefix", *rs, "Prefix");
    xml::SetColumnAttr(link, "Name", *rs, "NAME");
    xml::SetColumnAttr(link, "Directory", *rs, "Directory");
    xml::SetColumnAttr(link, "Filename", *rs, "Filename");
    xml::SetAttr(link, "ConnectAtOpen", xml::ColumnWord(*rs, "ConnectAtOpen"));
  }
  Save(doc_, path);
}

MoverPtr NewExternalProjectMover() { return std::make_shared<ExternalProjectMover>(); }

}  // namespace qmxml::movers
