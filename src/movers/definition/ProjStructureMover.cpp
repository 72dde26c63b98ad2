// The project structure document: writer (record sets to PROJECT) and
// reader (PROJECT to the caller's target record sets).
#include "movers/definition/ProjStructureMover.h"

#include <set>
#include <string>
#include <vector>

#include "frame/MoverRegistry.h"
#include "qmxml/Connection.h"
#include "qmxml/Error.h"
#include "sql/SqlText.h"
#include "xml/XmlDoc.h"

namespace qmxml::movers {
namespace {

// Attribute positions of the elements the writer produces; the reader
// finds its values by them.
namespace attribute_at {
enum : size_t {
  kLabel = 0, kRank = 1, kAutoSuspect = 2, kRequired = 3, kDataTypeName = 4, kDataType = 5,
  kDefaultValue = 6, kFlags = 7, kDescription = 8, kFieldProperties = 9, kID = 10,
};
}  // namespace attribute_at
namespace list_item_at {
enum : size_t { kItemText = 0, kItemRank = 1, kDefault = 2, kID = 3 };
}  // namespace list_item_at
namespace req_type_at {
enum : size_t {
  kName = 0, kDescription = 1, kPrefix = 2, kColorName = 3, kColor = 4, kStyleName = 5,
  kStyle = 6, kMustContain = 7, kInitialReqNumber = 8, kLastReqNumber = 9,
  kAllowExternalReferences = 10, kID = 11,
};
}  // namespace req_type_at
namespace type_link_at {
enum : size_t { kLabel = 0, kID = 1 };
}  // namespace type_link_at
namespace doc_type_at {
enum : size_t {
  kName = 0, kDescription = 1, kFileExtension = 2, kDefaultRequirementName = 3,
  kTemplateName = 4, kTemplateDescription = 5, kTemplateFileName = 6, kTemplateHelpFile = 7,
  kDefaultRequirementTypeGUID = 8, kID = 9,
};
}  // namespace doc_type_at

// How an attribute group is written: plain attributes have no list items;
// the two list kinds differ in how DefaultValue marks the default items.
enum AttributeKind : int { kPlain = 0, kList = 1, kMulti = 2 };

// Data-type codes with list items.
constexpr int32_t kDataTypeList = 0;
constexpr int32_t kDataTypeMultiSelect = 10;

// The groups of the "Attributes" element, in document order.
struct AttributeGroup {
  const char* key;
  AttributeKind kind;
};
constexpr AttributeGroup kAttributeGroups[] = {
    {"Attributes", kPlain},
    {"ModraAttributes", kPlain},
    {"ListAttributes", kList},
    {"MultiAttributes", kMulti},
};

int32_t Code(const Recordset& rs, const char* column) {
  return xml::ColumnValue(rs.GetField(column), xml::kLong).ToLong();
}

// Which list items an attribute's DefaultValue (key form) marks as default.
class DefaultItems {
 public:
  DefaultItems(AttributeKind kind, const std::string& default_value) {
    if (kind == kList) {
      // One key; a text holding several keys is not numeric and marks none.
      Variant v(default_value);
      if (v.IsNumeric()) {
        try {
          keys_.insert(v.ToLong());
        } catch (const Error&) {
          // Out of the key range: no item can match.
        }
      }
    } else if (kind == kMulti) {
      // Keys separated by commas, the host sometimes quoting each one.
      std::string unquoted;
      unquoted.reserve(default_value.size());
      for (char c : default_value)
        if (c != '"') unquoted.push_back(c);
      auto tokens = xml::ListSplitter(unquoted, ",");
      if (tokens) {
        for (size_t i = 1; i <= tokens->Count(); ++i) {
          Variant token = tokens->Item(i);
          if (token.IsNumeric()) keys_.insert(token.ToDouble());
        }
      }
    }
  }
  bool Marks(int32_t item_id) const { return keys_.count(static_cast<double>(item_id)) != 0; }

 private:
  std::set<double> keys_;
};

// ---- reading helpers ----

// The attribute's node value unchanged (Empty when there is no attribute:
// the column then keeps its default).
Variant Raw(const xml::Attrs& a, size_t i) {
  Variant v = a.Value(i, 0);
  if (const std::string* text = v.Text()) return Variant(sql::HostText(*text));
  return v;
}

// The attribute's text (for GUIDs handed to the key map and providers).
std::string GuidAt(const xml::Attrs& a, size_t i) {
  pugi::xml_attribute attr = a[i];
  return attr ? std::string(attr.value()) : std::string();
}

// A Boolean attribute as the 1/0 the flag columns store.
Variant Flag(const xml::Attrs& a, size_t i) {
  return Variant(int32_t{a.Value(i, xml::kBoolean).ToBool() ? 1 : 0});
}

// A description: stored with CR LF line ends.
Variant Description(const xml::Attrs& a, size_t i) {
  pugi::xml_attribute attr = a[i];
  if (!attr) return Variant();
  return Variant(sql::HostText(xml::LineEnds(attr.value())));
}

}  // namespace

// ======================================================================
// Writer
// ======================================================================

void ProjStructureMover::WriteData(SourceContainer* oSource, DataDescriptor* oData,
                                   ObjectPtr& oRs, Scheduler* oScheduler) {
  const std::string path = FilePath(oSource);
  auto rows = frame::Take<Collection>(oRs);
  RunDataSet(oData, true, eMsg_Structure, path, [&] {
    WriteProjectStructure_(rows.get());
    SaveOrHandBack(oData, oScheduler, path);
  });
}

void ProjStructureMover::WriteProjectStructure_(const Collection* rows) {
  doc_ = xml::NewDocument();
  if (rows == nullptr) {
    doc_.reset();
    return;
  }
  pugi::xml_node project = xml::AppendElement(*doc_, "PROJECT");
  auto parent = rows->Get<Recordset>("RequirementTypes");
  if (!parent || !xml::SetIdentity(*parent, project, "QMGUID")) {
    doc_.reset();
    return;
  }

  // Requirement types of the project row, each with its attribute links.
  pugi::xml_node types = xml::AppendElement(project, "RequirementTypes");
  if (auto rts = parent->Chapter("RequirementTypes")) {
    for (rts->MoveFirst(); !rts->IsEOF(); rts->MoveNext())
      CreateRequirementTypeElement_(types, *rts);
  }

  // All attributes under one element, group after group.
  pugi::xml_node attributes = xml::AppendElement(project, "Attributes");
  for (const auto& group : kAttributeGroups) {
    auto rs = rows->Get<Recordset>(group.key);
    if (!rs) continue;
    for (; !rs->IsEOF(); rs->MoveNext()) CreateAttributeElement_(attributes, *rs, group.kind);
  }

  pugi::xml_node doc_types = xml::AppendElement(project, "DocumentTypes");
  if (auto dts = rows->Get<Recordset>("DocumentTypes")) {
    for (; !dts->IsEOF(); dts->MoveNext()) CreateDocumentTypeElement_(doc_types, *dts);
  }
}

void ProjStructureMover::CreateRequirementTypeElement_(pugi::xml_node parent,
                                                       const Recordset& rt) {
  pugi::xml_node e = xml::AppendElement(parent, "RequirementType");
  const int32_t color = Code(rt, "RequirementColor");
  const int32_t style = Code(rt, "RequirementStyle");
  xml::SetColumnAttr(e, "Name", rt, "NAME");
  xml::SetColumnAttr(e, "Description", rt, "DESCRIPTION");
  xml::SetColumnAttr(e, "RequirementPrefix", rt, "RequirementPrefix");
  xml::SetAttr(e, "RequirementColorName", xml::ColorName(color));
  xml::SetAttr(e, "RequirementColor", std::to_string(color));
  xml::SetAttr(e, "RequirementStyleName", xml::StyleName(style));
  xml::SetAttr(e, "RequirementStyle", std::to_string(style));
  xml::SetColumnAttr(e, "RequirementMustContain", rt, "RequirementMustContain");
  xml::SetAttr(e, "InitialReqNumber", xml::ColumnNumber(rt, "InitialReqNumber"));
  xml::SetAttr(e, "LastReqNumber", xml::ColumnNumber(rt, "LastReqNumber"));
  xml::SetAttr(e, "AllowExternalReferences", xml::ColumnWord(rt, "AllowExternalReferences"));
  xml::SetColumnAttr(e, "ID", rt, "QMGUID");

  pugi::xml_node links = xml::AppendElement(e, "Attributes");
  if (auto attrs = rt.Chapter("ReqTypeAttrs")) {
    for (attrs->MoveFirst(); !attrs->IsEOF(); attrs->MoveNext()) {
      pugi::xml_node link = xml::AppendElement(links, "Attribute");
      xml::SetColumnAttr(link, "Label", *attrs, "Label");
      xml::SetColumnAttr(link, "ID", *attrs, "QMGUID");
    }
  }
}

void ProjStructureMover::CreateAttributeElement_(pugi::xml_node parent, const Recordset& attr,
                                                 int kind) {
  pugi::xml_node e = xml::AppendElement(parent, "Attribute");
  const int32_t data_type = Code(attr, "DataType");
  const std::string default_value = xml::ColumnText(attr, "DefaultValue");
  xml::SetColumnAttr(e, "Label", attr, "Label");
  xml::SetColumnAttr(e, "Rank", attr, "Rank");
  xml::SetAttr(e, "AutoSuspect", xml::ColumnWord(attr, "AutoSuspect"));
  xml::SetAttr(e, "Required", xml::ColumnWord(attr, "Required"));
  xml::SetAttr(e, "DataTypeName", xml::DataTypeName(data_type));
  xml::SetAttr(e, "DataType", std::to_string(data_type));
  xml::SetAttr(e, "DefaultValue", default_value);
  xml::SetColumnAttr(e, "Flags", attr, "FLAGS");
  xml::SetColumnAttr(e, "Description", attr, "DESCRIPTION");
  xml::SetColumnAttr(e, "FieldProperties", attr, "FieldProperties");
  xml::SetColumnAttr(e, "ID", attr, "QMGUID");
  if (kind == kPlain) return;

  const DefaultItems defaults(static_cast<AttributeKind>(kind), default_value);
  pugi::xml_node items = xml::AppendElement(e, "ListItems");
  auto rs = attr.Chapter("ListItems");
  if (!rs) return;
  for (rs->MoveFirst(); !rs->IsEOF(); rs->MoveNext()) {
    pugi::xml_node item = xml::AppendElement(items, "ListItem");
    xml::SetColumnAttr(item, "ItemText", *rs, "ITEMTEXT");
    xml::SetColumnAttr(item, "ItemRank", *rs, "ITEMRANK");
    xml::SetAttr(item, "Default", defaults.Marks(Code(*rs, "ITEMID")) ? "True" : "False");
    xml::SetColumnAttr(item, "ID", *rs, "QMGUID");
  }
}

void ProjStructureMover::CreateDocumentTypeElement_(pugi::xml_node parent, const Recordset& dt) {
  pugi::xml_node e = xml::AppendElement(parent, "DocumentType");
  xml::SetColumnAttr(e, "Name", dt, "NAME");
  xml::SetColumnAttr(e, "Description", dt, "DESCRIPTION");
  xml::SetColumnAttr(e, "FileExtension", dt, "FileExtension");
  xml::SetColumnAttr(e, "DefaultRequirementName", dt, "RTName");
  xml::SetColumnAttr(e, "TemplateName", dt, "TemplateName");
  xml::SetColumnAttr(e, "TemplateDescription", dt, "TemplateDescription");
  xml::SetColumnAttr(e, "TemplateFileName", dt, "TemplateFileName");
  xml::SetColumnAttr(e, "TemplateHelpFile", dt, "TemplateHelpFile");
  xml::SetColumnAttr(e, "DefaultRequirementTypeGUID", dt, "RTGUID");
  xml::SetColumnAttr(e, "ID", dt, "QMGUID");
}

// ======================================================================
// Reader
// ======================================================================

// What the three steps of one ReadData share.
struct ProjStructureMover::ReadContext {
  const Collection* rows = nullptr;
  KeyMap* keys = nullptr;
  std::unique_ptr<frame::iGUID> guids;
  int32_t project_key = 0;
  std::shared_ptr<AttrViewBuilder> view_builder;
  std::shared_ptr<Connection> view_connection;

  std::shared_ptr<Recordset> Table(const char* name) const {
    return sql::RecordsetOfTable(rows, sql::Table(name));
  }
};

void ProjStructureMover::ReadData(SourceContainer* oSource, DataDescriptor* oData,
                                  ObjectPtr& oRs, Scheduler*) {
  CheckContext(oData);
  auto rows = frame::Take<Collection>(oRs);
  RunDataSet(oData, false, eMsg_Structure, FilePath(oSource),
             [&] { ReadProjectStructure_(oSource, oData, rows.get()); });
}

void ProjStructureMover::ReadProjectStructure_(SourceContainer* oSource, DataDescriptor* oData,
                                               const Collection* rows) {
  auto db = DbContainer(oSource);
  XmlDocumentPtr doc = LoadFile(oSource, FilePath(oSource), Source("ReadProjectStructure_"));
  if (!db || !db->keys) return;

  ReadContext ctx;
  ctx.rows = rows;
  ctx.keys = db->keys.get();
  ctx.guids = frame::ChooseGuidProvider(oData->ProjectFlags, *Run().services);
  ctx.project_key = frame::ProjectKeyOfDocument(*doc, ctx.keys);
  ctx.view_builder = db->GetAttrViewBuilder();
  if (ctx.view_builder)
    ctx.view_connection = db->ContainerInfo(eContInfo_Connection).As<Connection>();

  pugi::xml_node project = xml::RootElement(*doc);
  if (!project) return;
  // Attributes first: requirement types link them by key, and document
  // types refer to the requirement types.
  ReadAttributes_(ctx, xml::ChildNode(project, 1));
  ReadRequirementTypes_(ctx, xml::ChildNode(project, 0));
  ReadDocumentTypes_(ctx, xml::ChildNode(project, 2));
}

void ProjStructureMover::ReadAttributes_(ReadContext& ctx, pugi::xml_node attributes) {
  auto fields = ctx.Table("qmUserDefinedFields");
  if (!fields || !attributes || !attributes.first_child()) return;
  auto items = ctx.Table("qmUserDefinedListItems");

  for (pugi::xml_node element : xml::Children(attributes)) {
    frame::ReadingElement at(reading_, element);
    const xml::Attrs a(element);
    const std::string guid = GuidAt(a, attribute_at::kID);
    const Variant data_type = a.Value(attribute_at::kDataType, xml::kLong);
    const int32_t code = data_type.IsNull() ? -1 : data_type.ToLong();

    fields->AddNew();
    fields->Set("Label", Raw(a, attribute_at::kLabel));
    fields->Set("Rank", Raw(a, attribute_at::kRank));
    fields->Set("AutoSuspect", Flag(a, attribute_at::kAutoSuspect));
    fields->Set("Required", Flag(a, attribute_at::kRequired));
    fields->Set("DataType", data_type);
    fields->Set("FLAGS", a.Value(attribute_at::kFlags, xml::kLong));
    fields->Set("DESCRIPTION", Raw(a, attribute_at::kDescription));
    fields->Set("FieldProperties", Raw(a, attribute_at::kFieldProperties));
    const int32_t key = ctx.keys->GetNextDBKey("UserDefinedField", guid);
    fields->Set("ID", Variant(key));
    fields->Set("QMGUID", Variant(ctx.guids->GetGUID(guid)));

    if (ctx.view_builder && ctx.view_connection)
      ctx.view_builder->CreateAttrView(key, code, ctx.view_connection.get());

    Variant default_value;
    if (code == kDataTypeList || code == kDataTypeMultiSelect) {
      // The XML marks default items; the column holds their new keys.
      std::string last_marked;
      std::string all_marked;
      pugi::xml_node list = xml::ChildNode(element, 0);
      if (items && list) {
        for (pugi::xml_node item : xml::Children(list)) {
          frame::ReadingElement at_item(reading_, item);
          const xml::Attrs ia(item);
          const std::string item_guid = GuidAt(ia, list_item_at::kID);
          items->AddNew();
          items->Set("ItemText", Raw(ia, list_item_at::kItemText));
          items->Set("ItemRank", Raw(ia, list_item_at::kItemRank));
          items->Set("FIELDID", Variant(key));
          const int32_t item_key = ctx.keys->GetNextDBKey("UserDefinedListItem", item_guid);
          items->Set("ITEMID", Variant(item_key));
          items->Set("QMGUID", Variant(ctx.guids->GetGUID(item_guid)));
          if (EqualsNoCase(GuidAt(ia, list_item_at::kDefault), "True")) {
            last_marked = std::to_string(item_key);
            all_marked += ", " + last_marked;
          }
        }
      }
      default_value = Variant(code == kDataTypeList ? last_marked : xml::CutFirstTwo(all_marked));
    } else {
      default_value = Raw(a, attribute_at::kDefaultValue);
    }
    fields->Set("DefaultValue", default_value);
  }

  fields->UpdateBatch();
  if (items) items->UpdateBatch();
}

void ProjStructureMover::ReadRequirementTypes_(ReadContext& ctx, pugi::xml_node types) {
  auto rts = ctx.Table("qmRequirementTypes");
  if (!rts || !types || !types.first_child()) return;
  auto project_types = ctx.Table("qmProjectRequirementTypes");
  auto type_fields = ctx.Table("qmRequirementTypeFields");

  for (pugi::xml_node element : xml::Children(types)) {
    frame::ReadingElement at(reading_, element);
    const xml::Attrs a(element);
    const std::string guid = GuidAt(a, req_type_at::kID);
    rts->AddNew();
    rts->Set("NAME", Raw(a, req_type_at::kName));
    rts->Set("DESCRIPTION", Description(a, req_type_at::kDescription));
    rts->Set("RequirementPrefix", Raw(a, req_type_at::kPrefix));
    rts->Set("RequirementColor", Raw(a, req_type_at::kColor));
    rts->Set("RequirementStyle", Raw(a, req_type_at::kStyle));
    rts->Set("RequirementMustContain", Raw(a, req_type_at::kMustContain));
    rts->Set("InitialReqNumber", Raw(a, req_type_at::kInitialReqNumber));
    rts->Set("LastReqNumber", Raw(a, req_type_at::kLastReqNumber));
    rts->Set("AllowExternalReferences", Flag(a, req_type_at::kAllowExternalReferences));
    const int32_t key = ctx.keys->GetNextDBKey("RequirementType", guid);
    rts->Set("ID", Variant(key));
    rts->Set("QMGUID", Variant(ctx.guids->GetGUID(guid)));

    if (project_types) {
      project_types->AddNew();
      project_types->Set("PROJECTID", Variant(ctx.project_key));
      project_types->Set("RequirementTypeID", Variant(key));
    }

    pugi::xml_node links = xml::ChildNode(element, 0);
    if (type_fields && links) {
      for (pugi::xml_node link : xml::Children(links)) {
        const xml::Attrs la(link);
        type_fields->AddNew();
        type_fields->Set("REQUIREMENTTYPEID", Variant(key));
        type_fields->Set("USERDEFINEDFIELDID",
                         Variant(ctx.keys->getKeyFromGUID("UserDefinedField",
                                                          GuidAt(la, type_link_at::kID))));
      }
    }
  }

  rts->UpdateBatch();
  if (project_types) project_types->UpdateBatch();
  if (type_fields) type_fields->UpdateBatch();
}

void ProjStructureMover::ReadDocumentTypes_(ReadContext& ctx, pugi::xml_node types) {
  auto dts = ctx.Table("qmDocumentTypes");
  if (!dts || !types || !types.first_child()) return;
  auto project_types = ctx.Table("qmProjectDocumentTypes");

  for (pugi::xml_node element : xml::Children(types)) {
    frame::ReadingElement at(reading_, element);
    const xml::Attrs a(element);
    const std::string guid = GuidAt(a, doc_type_at::kID);
    dts->AddNew();
    dts->Set("NAME", Raw(a, doc_type_at::kName));
    dts->Set("DESCRIPTION", Description(a, doc_type_at::kDescription));
    dts->Set("FileExtension", Raw(a, doc_type_at::kFileExtension));
    dts->Set("TemplateName", Raw(a, doc_type_at::kTemplateName));
    dts->Set("TemplateDescription", Raw(a, doc_type_at::kTemplateDescription));
    dts->Set("TemplateFileName", Raw(a, doc_type_at::kTemplateFileName));
    dts->Set("TemplateHelpFile", Raw(a, doc_type_at::kTemplateHelpFile));
    dts->Set("DefaultRequirementType",
             Variant(ctx.keys->getKeyFromGUID(
                 "RequirementType", GuidAt(a, doc_type_at::kDefaultRequirementTypeGUID))));
    const int32_t key = ctx.keys->GetNextDBKey("DocumentType", guid);
    dts->Set("ID", Variant(key));
    dts->Set("QMGUID", Variant(ctx.guids->GetGUID(guid)));

    if (project_types) {
      project_types->AddNew();
      project_types->Set("PROJECTID", Variant(ctx.project_key));
      project_types->Set("DocumentTypeID", Variant(key));
    }
  }

  dts->UpdateBatch();
  if (project_types) project_types->UpdateBatch();
}

MoverPtr NewProjStructureMover() { return std::make_shared<ProjStructureMover>(); }

}  // namespace qmxml::movers
