// The document-properties mover: one document row to PROJECT/DOC and back
// into qmDocuments and qmProjectDocuments.
#include "movers/definition/DocPropertiesMover.h"

#include "frame/Components.h"
#include "frame/MoverRegistry.h"
#include "movers/definition/InsertValues.h"
#include "frame/Guid.h"
#include "sql/SqlText.h"
#include "xml/XmlDoc.h"

namespace qmxml::movers {
namespace {

// A count read from a document: 0 when the attribute is missing or empty,
// otherwise the text must be a number (Error 13 when it is not).
int32_t CountOf(const std::string& text) {
  if (text.empty()) return 0;
  return Variant(text).ToLong();
}

}  // namespace

void DocPropertiesMover::WriteData(SourceContainer* oSource, DataDescriptor* oData,
                                   ObjectPtr& oRs, Scheduler*) {
  std::string path = FilePath(oSource);
  auto rs = frame::Take<Recordset>(oRs);
  DataDescriptor scratch;
  DataDescriptor* data = oData ? oData : &scratch;
  RunDataSet(oData, true, eMsg_DocProps, path, [&] { WriteDocXML_(rs.get(), data, path); });
}

void DocPropertiesMover::WriteDocXML_(const Recordset* rs, DataDescriptor* oData,
                                      const std::string& path) {
  doc_.reset();
  if (rs == nullptr || rs->IsEOF()) return;
  XmlDocumentPtr doc = xml::NewDocument();
  pugi::xml_node project = xml::AppendElement(*doc, "PROJECT");
  xml::SetIdentity(*rs, project, "ProjectGUID");
  if (auto conversion = frame::GetConversionService(*Run().services)) {
    pugi::xml_node element = xml::AppendElement(project, "DOC");
    if (!CreateDocXMLElement_(*rs, oData, *conversion, element))
      project.remove_child(element);
  }
  doc_ = doc;
  Save(doc_, path);
}

bool DocPropertiesMover::CreateDocXMLElement_(const Recordset& rs, DataDescriptor* oData,
                                              ConversionService& conversion,
                                              pugi::xml_node element) const {
  auto set = [&](const char* name, std::string_view value) {
    xml::SetAttr(element, name, value);
  };
  auto text = [&](const char* column) { return xml::ColumnText(rs, column); };
  auto word = [&](const char* column) { return xml::ColumnWord(rs, column); };
  auto number = [&](const char* column) { return xml::ColumnNumber(rs, column); };
  // The GUID and file location go through the transfer context, which the
  // caller reads afterwards to move the document file.
  auto through = [&](Variant& member, const char* column) {
    member = Variant(text(column));
    return member.ToText();
  };
  try {
    set("Name", text("NAME"));
    set("ID", through(oData->ElementGUID, "QMGUID"));
    set("documenttypeid", text("documenttypeid"));
    set("description", text("DESCRIPTION"));
    set("itemlabel", word("ITEMLABEL"));
    set("protectstate", text("PROTECTSTATE"));
    set("unlocktorevise", word("UNLOCKTOREVISE"));
    set("deferredrenumber", text("DEFERREDRENUMBER"));
    set("deferredrestyle", text("DEFERREDRESTYLE"));
    set("filedirectory", through(oData->FileDirectory, "FILEDIRECTORY"));
    set("filename", through(oData->FileName, "FILENAME"));
    set("fileextension", through(oData->FileExtension, "FILEEXTENSION"));
    set("filedatetime", conversion.cTimeStamp(rs.GetField("FILEDATETIME")));
    set("filesize", number("FILESIZE"));
    set("fileflags", text("FILEFLAGS"));
    set("fileversion", number("FILEVERSION"));
    set("versionnumber", text("VERSIONNUMBER"));
    set("versionlabel", text("VERSIONLABEL"));
    set("versionuserid", text("versionuserid"));
    set("versiondatetime", conversion.cTimeStamp(rs.GetField("VERSIONDATETIME")));
    set("versionreason", text("VERSIONREASON"));
    set("offlinefullpath", text("OFFLINEFULLPATH"));
    set("offlinestatus", word("OFFLINESTATUS"));
    set("flags", number("FLAGS"));

    pugi::xml_node related = xml::AppendElement(element, "RELATEDVALUES");
    std::shared_ptr<Recordset> values = rs.Chapter("DocRelValues");
    if (values == nullptr) return true;
    for (; !values->IsEOF(); values->MoveNext()) {
      pugi::xml_node value = xml::AppendElement(related, "VALUE");
      xml::SetColumnAttr(value, "fieldid", *values, "fieldid");
      xml::SetColumnAttr(value, "relateditemid", *values, "RELATEDITEMID");
    }
  } catch (const Error& e) {
    // The document's element is left out of its file: counted, not silent.
    Run().NoteLeftOut("document element(s) left out (" + e.Description() + ")");
    return false;
  }
  return true;
}

void DocPropertiesMover::ReadData(SourceContainer* oSource, DataDescriptor* oData,
                                  ObjectPtr&, Scheduler*) {
  std::string path = FilePath(oSource);
  RunDataSet(oData, false, eMsg_DocProps, path, [&] { ReadDocXML_(oSource, oData, path); });
}

void DocPropertiesMover::ReadDocXML_(SourceContainer* oSource, DataDescriptor* oData,
                                     const std::string& path) {
  auto db = DbContainer(oSource);
  std::shared_ptr<Connection> conn = db ? db->connection : nullptr;
  if (conn == nullptr) return;
  doc_ = LoadFile(oSource, path, Source("ReadDocXML_"));
  KeyMap* keys = db->keys.get();
  if (keys == nullptr) return;
  auto guids = frame::ChooseGuidProvider(oData ? oData->ProjectFlags : 0, *Run().services);
  int32_t project_key = frame::ProjectKeyOfDocument(*doc_, keys);

  pugi::xml_node element = doc_->first_element_by_path("PROJECT/DOC");
  if (!element) return;
  frame::ReadingElement at(reading_, element);
  auto attr = [&](const char* name) { return element.attribute(name); };
  auto text = [&](const char* name) {
    return xml::AttributeValue(attr(name), xml::kString).ToText();
  };
  auto flag = [&](const char* name) {
    return xml::AttributeValue(attr(name), xml::kBoolean).ToBool();
  };

  std::string xml_guid = text("ID");
  std::string file_directory = text("filedirectory");
  std::string offline_full_path = text("offlinefullpath");
  int32_t document_key = keys->GetNextDBKey("Document", xml_guid);
  int32_t version_user_key = keys->getKeyFromGUID("User", text("versionuserid"));
  int32_t type_key = keys->getKeyFromGUID("DocumentType", text("documenttypeid"));

  InsertValues row;
  row.Key("ID", document_key)
      .Key("DocumentTypeID", type_key)
      .Literal("Name", text("Name"), true)
      .Literal("Description", xml::LineEnds(text("description")), true)
      .Flag("ItemLabel", flag("itemlabel"))
      .Literal("ProtectState", text("protectstate"))
      .Flag("UnlockToRevise", flag("unlocktorevise"))
      .Literal("DeferredRenumber", text("deferredrenumber"))
      .Literal("DeferredRestyle", text("deferredrestyle"));
  if (!file_directory.empty()) row.Literal("FileDirectory", file_directory);
  row.Literal("FileName", text("filename"))
      .Literal("FileExtension", text("fileextension"))
      .DateText("FileDateTime", text("filedatetime"))
      .Key("FileSize", CountOf(text("filesize")))
      .Literal("FileFlags", text("fileflags"))
      .Key("FileVersion", CountOf(text("fileversion")))
      .Literal("VersionNumber", text("versionnumber"))
      .Literal("VersionLabel", text("versionlabel"))
      .Key("VersionUserID", version_user_key)
      .DateText("VersionDateTime", text("versiondatetime"))
      .Literal("VersionReason", text("versionreason"));
  if (!offline_full_path.empty()) row.Literal("OfflineFullPath", offline_full_path);
  row.Flag("OfflineStatus", flag("offlinestatus"))
      .Literal("QmGUID", guids->GetGUID(xml_guid))
      .Literal("Flags", xml::AttributeValue(attr("flags"), xml::kLong));
  row.InsertInto(*conn, "qmDocuments");
  conn->InsertRow("qmProjectDocuments", {"ProjectID", "DocumentID"},
                  {Variant(project_key), Variant(document_key)});
}

MoverPtr NewDocPropertiesMover() { return std::make_shared<DocPropertiesMover>(); }

}  // namespace qmxml::movers
