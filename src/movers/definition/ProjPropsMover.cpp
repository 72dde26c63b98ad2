// The project-properties mover: one project row to a "Project" element and
// back into qmProjects.
#include "movers/definition/ProjPropsMover.h"

#include <vector>

#include "frame/Components.h"
#include "frame/Guid.h"
#include "frame/MoverRegistry.h"
#include "movers/definition/InsertValues.h"
#include "sql/SqlText.h"
#include "xml/ElementLayout.h"

namespace qmxml::movers {
namespace {

// The attributes of "Project"; the settings lines follow them as
// IniFile<i>. Computed: VersionDateTime (cTimeStamp), XMLVersion ("2").
constexpr xml::AttrTable kProjectAttrs{{
    {"Name", "NAME"},
    {"Description", "DESCRIPTION"},
    {"Prefix", "PREFIX"},
    {"DocumentWordFormat", "DOCUMENTWORDFORMAT", xml::kBoolean},
    {"AuthorGUID", "AUTHORGUID"},
    {"SecurityEnabled", "SECURITYENABLED", xml::kBoolean},
    {"VersionNumber", "VERSIONNUMBER"},
    {"VersionLabel", "VERSIONLABEL"},
    {"VersionUserGUID", "VERSIONUSERGUID"},
    {"VersionDateTime"},
    {"VersionReason", "VERSIONREASON"},
    {"RSDS", "RSDS"},
    {"Flags", "FLAGS"},
    {"ID", "QMGUID"},
    {"XMLVersion"},
}};

}  // namespace

void ProjPropsMover::WriteData(SourceContainer* oSource, DataDescriptor* oData,
                               ObjectPtr& oRs, Scheduler* oScheduler) {
  std::string path = FilePath(oSource);
  auto rs = frame::Take<Recordset>(oRs);
  RunDataSet(oData, true, eMsg_Project, path,
             [&] { WriteProjectXML_(rs.get(), oData, oScheduler, path); });
}

void ProjPropsMover::WriteProjectXML_(Recordset* rs, DataDescriptor* oData,
                                      Scheduler* oScheduler, const std::string& path) {
  doc_.reset();
  XmlDocumentPtr doc = xml::NewDocument();
  if (rs == nullptr || rs->IsEOF()) return;
  auto conversion = frame::GetConversionService(*Run().services);
  if (!conversion) return;
  // With several rows the last one's values stand.
  rs->MoveLast();
  CreateProjectXMLElement_(*rs, oData, *conversion, xml::AppendElement(*doc, "Project"));
  doc_ = doc;
  SaveOrHandBack(oData, oScheduler, path);
}

void ProjPropsMover::CreateProjectXMLElement_(const Recordset& rs,
                                              const DataDescriptor* oData,
                                              ConversionService& conversion,
                                              pugi::xml_node element) const {
  xml::AttrWriter(kProjectAttrs, rs).Write(element, [&](size_t i) {
    return i == kProjectAttrs.At("XMLVersion")
               ? std::string("2")
               : conversion.cTimeStamp(rs.GetField("VERSIONDATETIME"));
  });

  // Settings lines keep their index in the name, so an empty line leaves a
  // gap in the numbering rather than shifting the lines after it.
  const std::vector<std::string>* lines = oData ? oData->Data.Lines() : nullptr;
  if (lines == nullptr) return;
  for (size_t i = 0; i < lines->size(); ++i) {
    if ((*lines)[i].empty()) continue;
    xml::SetAttr(element, ("IniFile" + std::to_string(i)).c_str(), (*lines)[i]);
  }
}

void ProjPropsMover::ReadData(SourceContainer* oSource, DataDescriptor* oData,
                              ObjectPtr& oRs, Scheduler*) {
  CheckContext(oData);
  std::string path = FilePath(oSource);
  RunDataSet(oData, false, eMsg_Project, path,
             [&] { ReadProjectXML_(oSource, oData, oRs, path); });
}

void ProjPropsMover::ReadProjectXML_(SourceContainer* oSource, DataDescriptor* oData,
                                     const ObjectPtr& rows, const std::string& path) {
  auto db = DbContainer(oSource);
  std::shared_ptr<Connection> conn = db ? db->connection : nullptr;
  doc_ = LoadFile(oSource, path, Source("ReadProjectXML_"));
  KeyMap* keys = db ? db->keys.get() : nullptr;
  if (rows == nullptr || keys == nullptr || conn == nullptr) return;
  auto guids = frame::ChooseGuidProvider(oData->ProjectFlags, *Run().services);

  pugi::xml_node root = xml::RootElement(*doc_);
  if (!root) return;
  frame::ReadingElement at(reading_, root);
  const xml::AttrRow<kProjectAttrs> a(root);
  std::string rsds = a.Text("RSDS");
  std::string xml_guid = a.Text("ID");
  int32_t author_key = keys->getKeyFromGUID("User", a.Text("AuthorGUID"));
  int32_t version_user_key = keys->getKeyFromGUID("User", a.Text("VersionUserGUID"));
  int32_t project_key = keys->GetNextDBKey("Project", xml_guid);

  InsertValues row;
  row.Key("ID", project_key)
      .Literal("Name", a.Text("Name"), true)
      .Literal("Prefix", a.Text("Prefix"), true)
      .Literal("QmGUID", guids->GetGUID(xml_guid))
      .Literal("Description", xml::LineEnds(a.Text("Description")), true)
      .Flag("DocumentWordFormat", a.Value("DocumentWordFormat", xml::kBoolean).ToBool())
      .Key("AuthorID", author_key)
      .Flag("SecurityEnabled", a.Value("SecurityEnabled", xml::kBoolean).ToBool())
      .Literal("VersionNumber", a.Text("VersionNumber"))
      .Literal("VersionLabel", a.Text("VersionLabel"))
      .Key("VersionUserID", version_user_key)
      .DateText("VersionDateTime", a.Text("VersionDateTime"))
      .Literal("VersionReason", a.Text("VersionReason"))
      .Literal("Flags", a.Value("Flags", xml::kLong));
  if (!rsds.empty()) row.Literal("RSDS", rsds, true);
  row.InsertInto(*conn, "qmProjects");

  // The first settings line is the attribute after the table's.
  pugi::xml_attribute first_line = a["XMLVersion"].next_attribute();
  oData->Data = Variant(std::vector<std::string>{first_line ? first_line.value() : ""});
  oData->ProjectKey = project_key;
}

MoverPtr NewProjPropsMover() { return std::make_shared<ProjPropsMover>(); }

}  // namespace qmxml::movers
