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
#include "xml/ElementLayout.h"

namespace qmxml::movers {
namespace {

// The attributes of the elements of the document. Computed: the names of
// the color, style and data-type codes, and Default (whether the
// attribute's DefaultValue marks the list item).
constexpr xml::AttrTable kReqTypeAttrs{{
    {"Name", "NAME"},
    {"Description", "DESCRIPTION"},
    {"RequirementPrefix", "RequirementPrefix"},
    {"RequirementColorName"},
    {"RequirementColor", "RequirementColor", xml::kLong},
    {"RequirementStyleName"},
    {"RequirementStyle", "RequirementStyle", xml::kLong},
    {"RequirementMustContain", "RequirementMustContain"},
    {"InitialReqNumber", "InitialReqNumber", xml::kLong},
    {"LastReqNumber", "LastReqNumber", xml::kLong},
    {"AllowExternalReferences", "AllowExternalReferences", xml::kBoolean},
    {"ID", "QMGUID"},
}};
constexpr xml::AttrTable kTypeLinkAttrs{{{"Label", "Label"}, {"ID", "QMGUID"}}};
constexpr xml::AttrTable kAttributeAttrs{{
    {"Label", "Label"},
    {"Rank", "Rank"},
    {"AutoSuspect", "AutoSuspect", xml::kBoolean},
    {"Required", "Required", xml::kBoolean},
    {"DataTypeName"},
    {"DataType", "DataType", xml::kLong},
    {"DefaultValue", "DefaultValue"},
    {"Flags", "FLAGS"},
    {"Description", "DESCRIPTION"},
    {"FieldProperties", "FieldProperties"},
    {"ID", "QMGUID"},
}};
constexpr xml::AttrTable kListItemAttrs{{
    {"ItemText", "ITEMTEXT"},
    {"ItemRank", "ITEMRANK"},
    {"Default"},
    {"ID", "QMGUID"},
}};
constexpr xml::AttrTable kDocTypeAttrs{{
    {"Name", "NAME"},
    {"Description", "DESCRIPTION"},
    {"FileExtension", "FileExtension"},
    {"DefaultRequirementName", "RTName"},
    {"TemplateName", "TemplateName"},
    {"TemplateDescription", "TemplateDescription"},
    {"TemplateFileName", "TemplateFileName"},
    {"TemplateHelpFile", "TemplateHelpFile"},
    {"DefaultRequirementTypeGUID", "RTGUID"},
    {"ID", "QMGUID"},
}};

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
Variant Raw(pugi::xml_attribute attr) {
  Variant v = xml::AttributeValue(attr, 0);
  if (const std::string* text = v.Text()) return Variant(sql::HostText(*text));
  return v;
}

// A Boolean attribute as the 1/0 the flag columns store.
Variant Flag(pugi::xml_attribute attr) {
  return Variant(int32_t{xml::AttributeValue(attr, xml::kBoolean).ToBool() ? 1 : 0});
}

// A description: stored with CR LF line ends.
Variant Description(pugi::xml_attribute attr) {
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
    const xml::AttrWriter writer(kDocTypeAttrs, *dts);
    for (; !dts->IsEOF(); dts->MoveNext())
      writer.Write(xml::AppendElement(doc_types, "DocumentType"));
  }
}

void ProjStructureMover::CreateRequirementTypeElement_(pugi::xml_node parent,
                                                       const Recordset& rt) {
  pugi::xml_node e = xml::AppendElement(parent, "RequirementType");
  xml::AttrWriter(kReqTypeAttrs, rt).Write(e, [&](size_t i) {
    return i == kReqTypeAttrs.At("RequirementColorName")
               ? xml::ColorName(Code(rt, "RequirementColor"))
               : xml::StyleName(Code(rt, "RequirementStyle"));
  });

  pugi::xml_node links = xml::AppendElement(e, "Attributes");
  if (auto attrs = rt.Chapter("ReqTypeAttrs")) {
    const xml::AttrWriter writer(kTypeLinkAttrs, *attrs);
    for (attrs->MoveFirst(); !attrs->IsEOF(); attrs->MoveNext())
      writer.Write(xml::AppendElement(links, "Attribute"));
  }
}

void ProjStructureMover::CreateAttributeElement_(pugi::xml_node parent, const Recordset& attr,
                                                 int kind) {
  pugi::xml_node e = xml::AppendElement(parent, "Attribute");
  xml::AttrWriter(kAttributeAttrs, attr).Write(e, [&](size_t) {
    return xml::DataTypeName(Code(attr, "DataType"));
  });
  if (kind == kPlain) return;

  const DefaultItems defaults(static_cast<AttributeKind>(kind),
                              xml::ColumnText(attr, "DefaultValue"));
  pugi::xml_node items = xml::AppendElement(e, "ListItems");
  auto rs = attr.Chapter("ListItems");
  if (!rs) return;
  const xml::AttrWriter writer(kListItemAttrs, *rs);
  for (rs->MoveFirst(); !rs->IsEOF(); rs->MoveNext()) {
    writer.Write(xml::AppendElement(items, "ListItem"), [&](size_t) {
      return defaults.Marks(Code(*rs, "ITEMID")) ? "True" : "False";
    });
  }
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
    const xml::AttrRow<kAttributeAttrs> a(element);
    const std::string guid = a["ID"].value();
    const Variant data_type = a.Value("DataType", xml::kLong);
    const int32_t code = data_type.IsNull() ? -1 : data_type.ToLong();

    fields->AddNew();
    fields->Set("Label", Raw(a["Label"]));
    fields->Set("Rank", Raw(a["Rank"]));
    fields->Set("AutoSuspect", Flag(a["AutoSuspect"]));
    fields->Set("Required", Flag(a["Required"]));
    fields->Set("DataType", data_type);
    fields->Set("FLAGS", a.Value("Flags", xml::kLong));
    fields->Set("DESCRIPTION", Raw(a["Description"]));
    fields->Set("FieldProperties", Raw(a["FieldProperties"]));
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
          const xml::AttrRow<kListItemAttrs> ia(item);
          const std::string item_guid = ia["ID"].value();
          items->AddNew();
          items->Set("ItemText", Raw(ia["ItemText"]));
          items->Set("ItemRank", Raw(ia["ItemRank"]));
          items->Set("FIELDID", Variant(key));
          const int32_t item_key = ctx.keys->GetNextDBKey("UserDefinedListItem", item_guid);
          items->Set("ITEMID", Variant(item_key));
          items->Set("QMGUID", Variant(ctx.guids->GetGUID(item_guid)));
          if (EqualsNoCase(ia["Default"].value(), "True")) {
            last_marked = std::to_string(item_key);
            all_marked += ", " + last_marked;
          }
        }
      }
      default_value = Variant(code == kDataTypeList ? last_marked : xml::CutFirstTwo(all_marked));
    } else {
      default_value = Raw(a["DefaultValue"]);
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
    const xml::AttrRow<kReqTypeAttrs> a(element);
    const std::string guid = a["ID"].value();
    rts->AddNew();
    rts->Set("NAME", Raw(a["Name"]));
    rts->Set("DESCRIPTION", Description(a["Description"]));
    rts->Set("RequirementPrefix", Raw(a["RequirementPrefix"]));
    rts->Set("RequirementColor", Raw(a["RequirementColor"]));
    rts->Set("RequirementStyle", Raw(a["RequirementStyle"]));
    rts->Set("RequirementMustContain", Raw(a["RequirementMustContain"]));
    rts->Set("InitialReqNumber", Raw(a["InitialReqNumber"]));
    rts->Set("LastReqNumber", Raw(a["LastReqNumber"]));
    rts->Set("AllowExternalReferences", Flag(a["AllowExternalReferences"]));
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
        const xml::AttrRow<kTypeLinkAttrs> la(link);
        type_fields->AddNew();
        type_fields->Set("REQUIREMENTTYPEID", Variant(key));
        type_fields->Set(
            "USERDEFINEDFIELDID",
            Variant(ctx.keys->getKeyFromGUID("UserDefinedField", la["ID"].value())));
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
    const xml::AttrRow<kDocTypeAttrs> a(element);
    const std::string guid = a["ID"].value();
    dts->AddNew();
    dts->Set("NAME", Raw(a["Name"]));
    dts->Set("DESCRIPTION", Description(a["Description"]));
    dts->Set("FileExtension", Raw(a["FileExtension"]));
    dts->Set("TemplateName", Raw(a["TemplateName"]));
    dts->Set("TemplateDescription", Raw(a["TemplateDescription"]));
    dts->Set("TemplateFileName", Raw(a["TemplateFileName"]));
    dts->Set("TemplateHelpFile", Raw(a["TemplateHelpFile"]));
    dts->Set("DefaultRequirementType",
             Variant(ctx.keys->getKeyFromGUID("RequirementType",
                                              a["DefaultRequirementTypeGUID"].value())));
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
