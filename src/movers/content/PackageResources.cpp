// PackageMover, requirement resources: the Resources element of a
// requirement names each resource by GUID; the resource itself (name, type,
// bytes) travels in a file of its own, "<GUID>.XML" in the "Resources"
// folder beside the package file. On reading, resource keys come from the
// project's key table and each resource is inserted through a named command
// of its own, numbered by the mover's counter and released after use.
#include <limits>

#include "movers/content/PackageMover.h"
#include "movers/content/PackageXml.h"
#include "qmxml/Error.h"
#include "frame/Guid.h"
#include "sql/SqlText.h"
#include "xml/XmlDoc.h"
#include "xml/Base64.h"
#include "xml/Files.h"

namespace qmxml::movers {
namespace {

using package_xml::AppendTextElement;
using package_xml::ChildText;

constexpr const char* kSchemaInstance = "http://www.w3.org/2001/XMLSchema-instance";
constexpr const char* kSchemaLocation = "file:BaselineSchemaPhaseII.xsd";

// True while the resource row belongs to the requirement |key|.
bool BelongsTo(const Recordset& resources, int32_t key) {
  Variant owner = resources.ValueOr("REQUIREMENTID");
  return !owner.IsNull() && !owner.IsEmpty() && owner.IsNumeric() &&
         owner.ToLong() == key;
}

// Flags stored as a 16-bit integer: no text gives NULL; a number out of
// range overflows as the runtime's conversion does.
Variant ResourceFlags(const std::string& text, const std::string& source) {
  if (text.empty()) return Variant::Null();
  int32_t flags = Variant(text).ToLong();
  if (flags < std::numeric_limits<int16_t>::min() ||
      flags > std::numeric_limits<int16_t>::max())
    throw Error(eErr_Overflow, source, "Overflow: resource flags " + text);
  return Variant(static_cast<int16_t>(flags));
}

}  // namespace

namespace package_xml {

std::vector<uint8_t> ResourceBytes(const Variant& v) {
  if (const auto* bytes = v.Bytes()) return *bytes;
  if (const auto* text = v.Text())
    return std::vector<uint8_t>(text->begin(), text->end());
  return {};
}

void WriteResourceFile(const Recordset& rs, const std::string& guid,
                       const std::string& project_guid, const std::string& folder,
                       TransferState& run) {
  auto doc = xml::NewDocument();
  pugi::xml_node project = doc->append_child("PROJECT");
  xml::SetAttr(project, "xmlns:xsi", kSchemaInstance);
  xml::SetAttr(project, "xsi:noNamespaceSchemaLocation", kSchemaLocation);
  AppendTextElement(project, "GUID", project_guid);
  pugi::xml_node resource = project.append_child("Resource");
  AppendTextElement(resource, "Name", xml::ColumnText(rs, "NAME"));
  AppendTextElement(resource, "Type", xml::ColumnText(rs, "TYPE"));
  AppendTextElement(resource, "RequirementID", xml::ColumnText(rs, "REQUIREMENTID"));
  AppendTextElement(resource, "VersionDateTime", xml::ColumnText(rs, "VERSIONDATETIME"));
  AppendTextElement(resource, "Flags", xml::ColumnText(rs, "Flags"));
  AppendTextElement(resource, "GUID", guid);
  xml::SetBase64Value(resource.append_child("ResourceObject"),
                      package_xml::ResourceBytes(rs.ValueOr("RESOURCEOBJ")));
  // Named by the GUID in braces, whether or not it is stored with them.
  const std::string stem = frame::FileGuid(guid);
  if (stem.empty())
    throw Error(eErr_BadGuid, "modWriteXML.WriteResourceFile",
                "The resource GUID \"" + guid + "\" cannot name a file in the resources folder.");
  xml::SaveDocument(doc, folder + "/" + stem + ".XML", run.files, &run.write_notes);
}

}  // namespace package_xml

// ---------------------------------------------------------------------------
// Database to XML
// ---------------------------------------------------------------------------

void PackageMover::CreateResourcesXMLChildElement_(xml::TextWriter& w, int32_t requirement_key) {
  Recordset* rs = rs_resources_.get();
  if (rs == nullptr) return;
  // The list is written only when it gets an entry.
  bool listed = false;
  // The resource rows come grouped in requirement order: take the run that
  // belongs to this requirement and stop at the first row that does not.
  for (; !rs->IsEOF() && BelongsTo(*rs, requirement_key); rs->MoveNext()) {
    const std::string guid = xml::ColumnText(*rs, "QMGUID");
    if (guid.empty()) continue;
    if (!listed) w.Open("Resources");
    listed = true;
    w.Open("Resource");
    w.Text("GUID", guid);
    w.Close();
    CreateResourceXMLFile_(guid);
  }
  if (listed) w.Close();
}

void PackageMover::CreateResourceXMLFile_(const std::string& guid) {
  // The file is named by the GUID: anything else could name a file outside
  // the resources folder.
  if (frame::FileGuid(guid).empty())
    throw Error(eErr_BadGuid, Source("CreateResourceXMLFile_"),
                "The resource GUID \"" + guid + "\" cannot name a file in the resources folder.");
  package_xml::WriteResourceFile(*rs_resources_, guid, project_guid_, resources_folder_, Run());
}

// ---------------------------------------------------------------------------
// XML to database
// ---------------------------------------------------------------------------

void PackageMover::CreateResourcesDBElement_(const ReadContext& ctx,
                                             pugi::xml_node requirement,
                                             int32_t requirement_key) {
  pugi::xml_node resources = requirement.child("Resources");
  if (!resources) return;
  const std::string source = Source("CreateResourcesDBElement_");
  const std::string folder = xml::FolderOfPath(source_path_) + "Resources";
  static const std::string kInsert =
      " INSERT INTO " + sql::Table("QmResources") +
      " (ID , NAME, TYPE,REQUIREMENTID, RESOURCEOBJ, QMGUID,Flags, VERSIONDATETIME ) " +
      " VALUES ( ?, ?, ?, ? , ?, ?,?, ? )";

  for (pugi::xml_node entry : resources.children("Resource")) {
    frame::ReadingElement at(reading_, entry);
    const std::string guid = ChildText(entry, "GUID");
    const std::string stem = frame::FileGuid(guid);
    if (stem.empty())
      throw Error(eErr_BadGuid, source,
                  "The resource GUID \"" + guid + "\" cannot name a file in the resources folder.");
    const std::string file = folder + "/" + stem + ".XML";
    if (!xml::FileExists(file))
      throw Error(eErr_FileNotFound, source, "The resource file " + file + " does not exist.");
    if (!xml::InsideFolder(file, folder))
      throw Error(eErr_BadGuid, source,
                  "The resource file " + file + " leads outside the folder " + folder + ".");
    XmlDocumentPtr resource_doc = LoadFile(source_, file, source);
    pugi::xml_node resource = resource_doc->select_node("//PROJECT/Resource").node();
    if (!resource)
      throw Error(
          eErr_BadDocument, source,
          "the resource file " + file + " holds no Resource element under PROJECT");

    // Bound, not spliced as literals: the texts as the host stores them
    // ("|" as the character 26, line ends as CR LF) are made here.
    const std::string name = sql::HostText(xml::LineEnds(ChildText(resource, "Name")));
    const std::string type = sql::HostText(xml::LineEnds(ChildText(resource, "Type")));
    const std::string stored_guid = ctx.guids->GetGUID(ChildText(resource, "GUID"));
    const std::string date_text = ChildText(resource, "VersionDateTime");
    const Variant flags = ResourceFlags(ChildText(resource, "Flags"), source);
    // The date goes in with the row (an empty text: never set), as the
    // date literal rule reads it.
    const Variant date =
        sql::SqlValue(date_text.empty() ? Variant::Null() : Variant(date_text), false, 7);
    std::vector<uint8_t> bytes;
    try {
      bytes = xml::GetBase64Value(resource.child("ResourceObject"));
    } catch (const Error& e) {
      throw Error(e.Number(), source,
                  "The resource file " + file + " is bad: its ResourceObject is not Base64.");
    }

    const int32_t key = ctx.keys->GetNextDBKey("Resource", guid);
    int32_t& counter = resource_command_counter_;
    const std::string command = std::to_string(counter) + "ResourceObjInsert";
    const std::string bytes_descriptor =
        std::to_string(static_cast<int64_t>(bytes.size()) - 1) + ";17";
    ctx.conn->CreateCommand(
        command, kInsert,
        {Variant(int32_t{3}), Variant("255;8"), Variant("255;8"), Variant(int32_t{3}),
         Variant(bytes_descriptor), Variant("255;8"), Variant(int32_t{3}), Variant(int32_t{7})});
    try {
      ctx.conn->ExecuteCommand(
          command, {Variant(key), Variant(name), Variant(type), Variant(requirement_key),
                    Variant(std::move(bytes)), Variant(stored_guid), flags, date});
    } catch (...) {
      ctx.conn->ReleaseCommand(command);
      throw;
    }
    ctx.conn->ReleaseCommand(command);
    ++counter;
  }
}

}  // namespace qmxml::movers
