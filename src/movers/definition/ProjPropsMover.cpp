// The project-properties mover: one project row to a "Project" element and
// back into qmProjects.
#include "movers/definition/ProjPropsMover.h"

#include <vector>

#include "frame/Components.h"
#include "frame/MoverRegistry.h"
#include "movers/definition/InsertValues.h"
#include "frame/Guid.h"
#include "sql/SqlText.h"
#include "xml/XmlDoc.h"

namespace qmxml::movers {
namespace {

// Writes attributes of one element: appended on first use, overwritten in
// place when the element already carries them (a later row of the set).
class AttrSetter {
 public:
  AttrSetter(pugi::xml_node element, bool replace)
      : element_(element), replace_(replace) {}
  void operator()(const char* name, std::string_view text) const {
    if (replace_) {
      if (pugi::xml_attribute a = element_.attribute(name)) {
        a.set_value(std::string(text).c_str());
        return;
      }
    }
    xml::SetAttr(element_, name, text);
  }

 private:
  pugi::xml_node element_;
  bool replace_;
};

// Positions of the "Project" attributes; the reader depends on them.
enum ProjectAttr : size_t {
  kName = 0,
  kDescription = 1,
  kPrefix = 2,
  kDocumentWordFormat = 3,
  kAuthorGUID = 4,
  kSecurityEnabled = 5,
  kVersionNumber = 6,
  kVersionLabel = 7,
  kVersionUserGUID = 8,
  kVersionDateTime = 9,
  kVersionReason = 10,
  kRSDS = 11,
  kFlags = 12,
  kID = 13,
  kFirstSettingsLine = 15,
};

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
  pugi::xml_node project = xml::AppendElement(*doc, "Project");
  for (bool first = true; !rs->IsEOF(); rs->MoveNext(), first = false)
    CreateProjectXMLElement_(*rs, oData, *conversion, project, !first);
  doc_ = doc;
  SaveOrHandBack(oData, oScheduler, path);
}

void ProjPropsMover::CreateProjectXMLElement_(const Recordset& rs,
                                              const DataDescriptor* oData,
                                              ConversionService& conversion,
                                              pugi::xml_node element,
                                              bool replace) const {
  AttrSetter set(element, replace);
  auto text = [&](const char* column) { return xml::ColumnText(rs, column); };
  auto word = [&](const char* column) { return xml::ColumnWord(rs, column); };
  set("Name", text("NAME"));
  set("Description", text("DESCRIPTION"));
  set("Prefix", text("PREFIX"));
  set("DocumentWordFormat", word("DOCUMENTWORDFORMAT"));
  set("AuthorGUID", text("AUTHORGUID"));
  set("SecurityEnabled", word("SECURITYENABLED"));
  set("VersionNumber", text("VERSIONNUMBER"));
  set("VersionLabel", text("VERSIONLABEL"));
  set("VersionUserGUID", text("VERSIONUSERGUID"));
  set("VersionDateTime", conversion.cTimeStamp(rs.GetField("VERSIONDATETIME")));
  set("VersionReason", text("VERSIONREASON"));
  set("RSDS", text("RSDS"));
  set("Flags", text("FLAGS"));
  set("ID", text("QMGUID"));
  set("XMLVersion", "2");

  // Settings lines keep their index in the name, so an empty line leaves a
  // gap in the numbering rather than shifting the lines after it.
  const std::vector<std::string>* lines = oData ? oData->Data.Lines() : nullptr;
  if (lines == nullptr) return;
  for (size_t i = 0; i < lines->size(); ++i) {
    if ((*lines)[i].empty()) continue;
    std::string name = "IniFile" + std::to_string(i);
    set(name.c_str(), (*lines)[i]);
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
  xml::Attrs a(root);
  std::string rsds = a.Text(kRSDS);
  std::string xml_guid = a.Text(kID);
  int32_t author_key = keys->getKeyFromGUID("User", a.Text(kAuthorGUID));
  int32_t version_user_key = keys->getKeyFromGUID("User", a.Text(kVersionUserGUID));
  int32_t project_key = keys->GetNextDBKey("Project", xml_guid);

  InsertValues row;
  row.Key("ID", project_key)
      .Literal("Name", a.Text(kName), true)
      .Literal("Prefix", a.Text(kPrefix), true)
      .Literal("QmGUID", guids->GetGUID(xml_guid))
      .Literal("Description", xml::LineEnds(a.Text(kDescription)), true)
      .Flag("DocumentWordFormat", a.Value(kDocumentWordFormat, xml::kBoolean).ToBool())
      .Key("AuthorID", author_key)
      .Flag("SecurityEnabled", a.Value(kSecurityEnabled, xml::kBoolean).ToBool())
      .Literal("VersionNumber", a.Text(kVersionNumber))
      .Literal("VersionLabel", a.Text(kVersionLabel))
      .Key("VersionUserID", version_user_key)
      .DateText("VersionDateTime", a.Text(kVersionDateTime))
      .Literal("VersionReason", a.Text(kVersionReason))
      .Literal("Flags", a.Value(kFlags, xml::kLong));
  if (!rsds.empty()) row.Literal("RSDS", rsds, true);
  row.InsertInto(*conn, "qmProjects");

  pugi::xml_attribute first_line = a[kFirstSettingsLine];
  oData->Data = Variant(std::vector<std::string>{first_line ? first_line.value() : ""});
  oData->ProjectKey = project_key;
}

MoverPtr NewProjPropsMover() { return std::make_shared<ProjPropsMover>(); }

}  // namespace qmxml::movers
