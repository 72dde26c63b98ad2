// The view mover and the conversion of view property strings between key
// form ("/i<key>") and GUID form ("/g<GUID>").
//
// A property string is a list of "name=value" entries joined by ";". Three
// entries name database objects: "horizReqTypeKey=" (one requirement type),
// "attributeKeys=/c(...)" (the attributes shown as columns) and
// "columnWidths=/d(<attribute>-/<width>,...)". Everything else passes
// through. Attributes that cannot be resolved are dropped from the two
// lists, since a column the target cannot show is of no use; a requirement
// type that cannot be resolved is left as it was.
#include "movers/views/ViewMover.h"

#include <functional>
#include <string_view>
#include <vector>

#include "frame/Components.h"
#include "frame/MoverRegistry.h"
#include "frame/Text.h"
#include "movers/content/PackageXml.h"
#include "sql/SqlText.h"
#include "xml/XmlDoc.h"

namespace qmxml::movers {
namespace {

using frame::ContainsNoCase;
using frame::ReplaceAll;

// Runs |body|; an Error leaving it gets "<procedure> -> " in front of its
// source, so the source shows the path through the conversion.
template <class Body>
auto Traced(const char* procedure, Body&& body) -> decltype(body()) {
  try {
    return body();
  } catch (const Error& e) {
    throw Error(e.Number(), std::string(procedure) + " -> " + e.Source(), e.Description(),
                e.HelpFile(), e.HelpContext());
  }
}

std::vector<std::string> SplitAt(std::string_view text, char separator) {
  std::vector<std::string> parts;
  size_t from = 0;
  for (size_t at; (at = text.find(separator, from)) != std::string_view::npos; from = at + 1)
    parts.emplace_back(text.substr(from, at - from));
  parts.emplace_back(text.substr(from));
  return parts;
}

// The text after the first "=" ("" when there is none).
std::string ValueOf(const std::string& entry) {
  size_t eq = entry.find('=');
  return eq == std::string::npos ? "" : entry.substr(eq + 1);
}

// Where the list of an entry's value lies in the entry: the text between
// the first "(" and the first ")" after the "="; empty when ")" does not
// follow "(".
struct ListSpan {
  size_t begin = 0, end = 0;
  bool empty() const { return begin >= end; }
};
ListSpan ListOf(const std::string& entry) {
  const size_t eq = entry.find('=');
  if (eq == std::string::npos) return {};
  const size_t open = entry.find('(', eq + 1);
  const size_t close = entry.find(')', eq + 1);
  if (open == std::string::npos || close == std::string::npos || close < open) return {};
  return {open + 1, close};
}

// The item's text after its two-character switch.
std::string AfterSwitch(const std::string& item) {
  return item.size() > 2 ? item.substr(2) : "";
}

// The key of an "/i" item; a text that is no number is a type mismatch.
int32_t ItemKey(const std::string& item) { return Variant(AfterSwitch(item)).ToLong(); }

// Rebuilds the list of |entry| item by item, in one pass: |convert| gives
// an item's new text (nullopt: it stays; "": it goes). An item that goes
// takes the "," after it along; the last one has none, so the "," before
// it stays.
template <class Convert>
std::string RebuildList(const std::string& entry, Convert convert) {
  const ListSpan span = ListOf(entry);
  if (span.empty()) return entry;
  const std::vector<std::string> items =
      SplitAt(std::string_view(entry).substr(span.begin, span.end - span.begin), ',');
  std::string out = entry.substr(0, span.begin);
  out.reserve(entry.size());
  for (size_t i = 0; i < items.size(); ++i) {
    const bool last = i + 1 == items.size();
    std::optional<std::string> answer = convert(items[i]);
    const std::string& text = answer ? *answer : items[i];
    if (text.empty() && answer) continue;
    out += text;
    if (!last) out += ',';
  }
  out.append(entry, span.end, std::string::npos);
  return out;
}

constexpr const char* kAttributeGuidSql =
    "SELECT #M#qmUserDefinedFields.QMGUID FROM #M#qmProjectRequirementTypes, "
    "#M#qmRequirementTypeFields, #M#qmUserDefinedFields WHERE  "
    "#M#qmProjectRequirementTypes.PROJECTID = #1# AND "
    "#M#qmProjectRequirementTypes.REQUIREMENTTYPEID = "
    "#M#qmRequirementTypeFields.REQUIREMENTTYPEID "
    "AND #M#qmRequirementTypeFields.USERDEFINEDFIELDID = #M#qmUserDefinedFields.ID AND "
    "#M#qmUserDefinedFields.ID = #2#";
constexpr const char* kReqTypeGuidSql =
    "SELECT #M#qmRequirementTypes.QMGUID FROM #M#qmRequirementTypes WHERE  "
    "#M#qmRequirementTypes.ID = #1#";

// A lookup statement with the table-name marker in place of "#M#".
std::string WithMarker(const char* sql) {
  return ReplaceAll(sql, "#M#", kTableMarker, false);
}

}  // namespace

// ---- property conversion ----

std::string ViewMover::GetConvertedProp(std::shared_ptr<Connection> oDBCon,
                                        int32_t& lProjKey, std::shared_ptr<KeyMap> oKeys,
                                        std::string& sProps,
                                        std::optional<int16_t> iDirection) {
  connection_ = std::move(oDBCon);
  project_key_ = lProjKey;
  keys_ = std::move(oKeys);
  return ConvertProperties_(iDirection.value_or(0) == 0 ? 0 : 1, sProps);
}

std::string ViewMover::ConvertProperties_(int direction, const std::string& props) {
  return Traced("ConvertProperties_", [&] {
    if (props.empty()) return props;
    // One pass over the entries: each converted entry takes its own place,
    // every other entry and every ";" stays as it is.
    std::string result;
    result.reserve(props.size());
    size_t from = 0;
    while (true) {
      const size_t at = props.find(';', from);
      const std::string entry =
          props.substr(from, at == std::string::npos ? std::string::npos : at - from);
      std::string converted;
      if (frame::StartsWithNoCase(entry, "horizReqTypeKey="))
        converted = ConvertHorizReqTypeKey_(direction, entry);
      else if (frame::StartsWithNoCase(entry, "attributeKeys="))
        converted = ConvertAttributeKeys_(direction, entry);
      else if (frame::StartsWithNoCase(entry, "columnWidths="))
        converted = ConvertColumnWidths_(direction, entry);
      result += converted.empty() ? entry : converted;
      if (at == std::string::npos) break;
      result += ';';
      from = at + 1;
    }
    return result;
  });
}

std::string ViewMover::ConvertHorizReqTypeKey_(int direction, const std::string& entry) {
  return Traced("ConvertHorizReqTypeKey_", [&] {
    const std::string value = ValueOf(entry);
    if (value.empty()) return entry;
    std::string answer;
    if (direction == 0) {
      if (!ContainsNoCase(value, "/i")) return entry;
      int32_t key = ItemKey(value);
      if (key > 0) answer = GetReqTypeGuid_(key);
    } else {
      if (!ContainsNoCase(value, "/g")) return entry;
      std::string guid(frame::TrimBlanks(AfterSwitch(value)));
      if (!guid.empty()) answer = GetReqTypeKey_(guid);
    }
    return answer.empty() ? entry : ReplaceAll(entry, value, answer, true);
  });
}

std::optional<std::string> ViewMover::AttributeItem_(int direction,
                                                     const std::string& item) {
  if (direction == 0) {
    if (!ContainsNoCase(item, "/i")) return std::nullopt;
    const int32_t key = ItemKey(item);
    if (key <= 0) return std::nullopt;
    return GetAttributeGuid_(key);
  }
  if (ContainsNoCase(item, "/g")) {
    const std::string guid(frame::TrimBlanks(AfterSwitch(item)));
    if (guid.empty()) return std::nullopt;
    return GetAttributeKey_(guid);
  }
  // A key left in a document that should hold GUIDs names nothing here.
  if (!ContainsNoCase(item, "/i")) return std::nullopt;
  return std::string();
}

std::string ViewMover::ConvertAttributeKeys_(int direction, const std::string& entry) {
  return Traced("ConvertAttributeKeys_", [&] {
    if (!ContainsNoCase(entry, "attributeKeys=") || !ContainsNoCase(ValueOf(entry), "/c"))
      return entry;
    return RebuildList(entry, [&](const std::string& item) {
      std::optional<std::string> answer = AttributeItem_(direction, item);
      // A column that cannot be shown (no attribute of the project, or
      // unknown to the target) is dropped; the transfer's report counts it.
      if (answer && answer->empty() && keys_)
        keys_->NoteLoss("attribute(s) dropped from view columns");
      return answer;
    });
  });
}

// Errors pass through with their source as they came: this procedure adds
// no name of its own.
std::string ViewMover::ConvertColumnWidths_(int direction, const std::string& entry) {
  if (!ContainsNoCase(entry, "columnWidths=") || !ContainsNoCase(ValueOf(entry), "/d"))
    return entry;
  return RebuildList(entry, [&](const std::string& item) -> std::optional<std::string> {
    // An item without "-/" has no width: the whole item is the attribute,
    // converted (or dropped) as a whole, the same way in both directions.
    const size_t dash = item.find("-/");
    if (dash == std::string::npos) return AttributeItem_(direction, item);
    const std::string left = item.substr(0, dash);
    std::optional<std::string> answer = AttributeItem_(direction, left);
    if (!answer || answer->empty()) return answer;
    // Only the attribute before "-" changes; the width after it never does.
    return ReplaceAll(item, left + "-", *answer + "-", false);
  });
}

std::string ViewMover::GetAttributeGuid_(int32_t key) {
  return Traced("GetAttributeGuid_", [&]() -> std::string {
    if (!attribute_guids_) attribute_guids_.emplace();
    const std::string k = std::to_string(key);
    if (auto it = attribute_guids_->find(k); it != attribute_guids_->end())
      return "/g" + it->second;
    if (!connection_ || project_key_ < 1) return "";
    std::string sql = ReplaceAll(WithMarker(kAttributeGuidSql), "#1#",
                                 std::to_string(project_key_), true);
    sql = ReplaceAll(sql, "#2#", k, true);
    long found = 0;
    std::string guid = connection_->LookupValue(sql, "QMGUID", &found, 0);
    if (guid.empty()) return "";
    (*attribute_guids_)[k] = guid;
    return "/g" + guid;
  });
}

std::string ViewMover::GetReqTypeGuid_(int32_t key) {
  return Traced("GetReqTypeGuid_", [&]() -> std::string {
    if (!reqtype_guids_) reqtype_guids_.emplace();
    const std::string k = std::to_string(key);
    if (auto it = reqtype_guids_->find(k); it != reqtype_guids_->end())
      return "/g" + it->second;
    if (!connection_) return "";
    std::string sql = ReplaceAll(WithMarker(kReqTypeGuidSql), "#1#", k, true);
    long found = 0;
    std::string guid = connection_->LookupValue(sql, "QMGUID", &found, 0);
    if (guid.empty()) return "";
    (*reqtype_guids_)[k] = guid;
    return "/g" + guid;
  });
}

std::string ViewMover::GetAttributeKey_(const std::string& guid) {
  return Traced("GetAttributeKey_", [&]() -> std::string {
    if (!connection_ || project_key_ < 1 || !keys_) return "";
    int32_t key = keys_->getKeyFromGUID("UserDefinedField", guid);
    return key > 0 ? "/i" + std::to_string(key) : "";
  });
}

std::string ViewMover::GetReqTypeKey_(const std::string& guid) {
  return Traced("GetReqTypeKey_", [&]() -> std::string {
    if (!connection_ || project_key_ < 1 || !keys_) return "";
    int32_t key = keys_->getKeyFromGUID("RequirementType", guid);
    return key > 0 ? "/i" + std::to_string(key) : "";
  });
}

// ---- writing ----

void ViewMover::WriteData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                          Scheduler*) {
  if (auto db = DbContainer(oSource)) {
    connection_ = db->ContainerInfo(eContInfo_Connection).As<Connection>();
    keys_ = db->keys;
  }
  if (oData) project_key_ = oData->ProjectKey;
  const std::string path = FilePath(oSource);
  auto rs = frame::Take<Recordset>(oRs);
  DataDescriptor scratch;
  DataDescriptor* data = oData ? oData : &scratch;
  RunDataSet(oData, true, eMsg_View, path, [&] { WriteViewXML_(rs.get(), data, path); });
}

void ViewMover::WriteViewXML_(Recordset* rs, DataDescriptor* oData,
                              const std::string& path) {
  doc_.reset();
  XmlDocumentPtr doc = xml::NewDocument();
  if (rs == nullptr || rs->IsEOF()) return;
  pugi::xml_node project = xml::AppendElement(*doc, "PROJECT");
  if (!xml::SetIdentity(*rs, project, "ProjectGUID")) return;
  CreateViewXMLElement_(*rs, oData, project);
  doc_ = doc;
  Save(doc_, path);
}

bool ViewMover::CreateViewXMLElement_(Recordset& rs, DataDescriptor* oData,
                                      pugi::xml_node project) {
  auto conversion = frame::GetConversionService(*Run().services);
  if (!conversion) return false;
  // The view is the first row of the set.
  rs.MoveFirst();
  if (rs.IsEOF()) return false;
  pugi::xml_node view = xml::AppendElement(project, "VIEW");
  auto text = [&](const char* column) { return xml::ColumnText(rs, column); };
  auto set = [&](const char* name, std::string_view value) {
    xml::SetAttr(view, name, value);
  };
  set("Name", text("VIEWNAME"));
  oData->ElementGUID = Variant(text("QMGUID"));
  set("ID", oData->ElementGUID.ToText());
  set("requirementtypeid", text("requirementtypeid"));
  set("secondaryreqtypeid", text("secondaryreqtypeid"));
  set("viewtype", text("VIEWTYPE"));
  set("visibility", text("VISIBILITY"));
  set("viewuserid", text("viewuserid"));
  set("viewusername", text("viewusername"));
  set("viewdatetime", conversion->cTimeStamp(rs.GetField("VIEWDATETIME")));
  set("viewreason", text("VIEWREASON"));
  set("queryid", text("queryid"));
  set("secondaryqueryid", text("secondaryqueryid"));
  package_xml::AppendTextElement(view, "VIEWDESCRIPTION", text("VIEWDESCRIPTION"));
  package_xml::AppendTextElement(view, "PROPERTIES",
                                 ConvertProperties_(0, text("PROPERTIES")));
  return true;
}

// ---- reading ----

void ViewMover::ReadData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                         Scheduler*) {
  const std::string path = FilePath(oSource);
  auto rows = frame::Take<Collection>(oRs);
  RunDataSet(oData, false, eMsg_View, path,
             [&] { ReadViewXML_(oSource, oData, rows.get(), path); });
}

void ViewMover::ReadViewXML_(SourceContainer* oSource, DataDescriptor* oData,
                             Collection* rows, const std::string& path) {
  attribute_guids_.emplace();
  reqtype_guids_.emplace();
  doc_ = LoadFile(oSource, path, Source("ReadViewXML_"));
  if (auto db = DbContainer(oSource)) {
    connection_ = db->ContainerInfo(eContInfo_Connection).As<Connection>();
    keys_ = db->keys;
  }
  if (!keys_) return;
  auto guids = frame::ChooseGuidProvider(oData ? oData->ProjectFlags : 0, *Run().services);
  project_key_ = frame::ProjectKeyOfDocument(*doc_, keys_.get(), "ID");
  if (guids) CreateViewsDBElement_(rows, *guids);
}

void ViewMover::CreateViewsDBElement_(Collection* rows, frame::iGUID& guids) {
  const std::string source = Source("CreateViewsDBElement_");
  pugi::xml_node view = doc_->first_element_by_path("PROJECT/VIEW");
  // A VIEW without attributes is read like any other and fails on its
  // identity, rather than vanishing without a word.
  if (!view) return;
  frame::ReadingElement at(reading_, view);
  std::shared_ptr<Recordset> rs = sql::RecordsetOfTable(rows, sql::Table("QmViews"));
  if (!rs)
    throw Error(eErr_ObjectNotSet, source,
                "Object variable or With block variable not set (no QmViews record set)");

  auto text = [&](const char* name) {
    return xml::AttributeValue(view.attribute(name), xml::kString).ToText();
  };
  // Lookups whose failure leaves the key 0.
  auto optional_key = [&](const char* word, const std::string& guid) -> int32_t {
    try {
      return keys_->getKeyFromGUID(word, guid);
    } catch (const Error&) {
      return 0;
    }
  };
  // A view cannot be stored without its query.
  auto query_key = [&](const char* attribute) {
    const std::string guid = text(attribute);
    int32_t key = view.attribute(attribute) ? keys_->getKeyFromGUID("Query", guid) : 0;
    if (key <= 0)
      throw Error(eErr_Dangling, source,
                  "the query \"" + guid + "\" (" + attribute +
                      ") of the view is not known to this transfer");
    return key;
  };

  rs->AddNew();
  const std::string xml_guid = text("ID");
  const int32_t view_key = keys_->GetNextDBKey("View", xml_guid);
  const int32_t user_key = optional_key("User", text("viewuserid"));
  const int32_t type_key = optional_key("RequirementType", text("requirementtypeid"));
  const std::string secondary_type = text("secondaryreqtypeid");
  const int32_t secondary_type_key =
      secondary_type.empty() ? 0 : optional_key("RequirementType", secondary_type);
  const int32_t query = query_key("queryid");
  const int32_t secondary_query =
      text("secondaryqueryid").empty() ? 0 : query_key("secondaryqueryid");

  pugi::xml_node description = xml::ChildNode(view, 0);
  pugi::xml_node properties = xml::ChildNode(view, 1);
  std::string props = properties.text().get();

  rs->Set("ID", Variant(view_key));
  rs->Set("PROJECTID", Variant(project_key_));
  rs->Set("REQUIREMENTTYPEID", Variant(type_key));
  if (secondary_type_key != 0) rs->Set("SECONDARYREQTYPEID", Variant(secondary_type_key));
  // Texts as the host stores them: "|" back into the character 26.
  rs->Set("VIEWNAME", Variant(sql::HostText(text("Name"))));
  rs->Set("VIEWDESCRIPTION", Variant(sql::HostText(xml::LineEnds(description.text().get()))));
  rs->Set("VIEWTYPE", Variant(text("viewtype")));
  rs->Set("VISIBILITY", Variant(text("visibility")));
  rs->Set("PROPERTIES", Variant(ConvertProperties_(1, props)));
  rs->Set("QUERYID", Variant(query));
  if (secondary_query != 0) rs->Set("SECONDARYQUERYID", Variant(secondary_query));
  rs->Set("VIEWUSERID", Variant(user_key));
  rs->Set("VIEWDATETIME", Variant(text("viewdatetime")));
  rs->Set("VIEWREASON", Variant(sql::HostText(text("viewreason"))));
  rs->Set("QMGUID", Variant(guids.GetGUID(xml_guid)));
  rs->UpdateBatch();
}

MoverPtr NewViewMover() { return std::make_shared<ViewMover>(); }

}  // namespace qmxml::movers
