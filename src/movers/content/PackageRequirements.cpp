// PackageMover, the Requirements element: requirements with their
// attribute values and list values, in both directions. Text longer than
// its in-row column is split: the row keeps a head and an overflow table
// keeps the whole text. Attribute values and overflow texts go through
// named parameterised commands that are prepared once per connection.
#include <algorithm>
#include <cctype>

#include "frame/Components.h"
#include "movers/content/PackageMover.h"
#include "movers/content/PackageXml.h"
#include "movers/content/TextCapacity.h"
#include "movers/definition/InsertValues.h"
#include "qmxml/Error.h"
#include "sql/SqlText.h"
#include "xml/XmlDoc.h"

namespace qmxml::movers {
namespace {

using package_xml::AttrText;
using package_xml::kFieldValueAttrs;
using package_xml::kListValueAttrs;
using package_xml::kRequirementAttrs;

constexpr const char* kOverflowTextInsert = "OverflowTextInsert";
constexpr const char* kReqAttrInsert = "ReqAttrInsert";
constexpr const char* kOverflowValuesInsert = "OverflowValuesInsert";
constexpr const char* kLongVariant = "64000;12";

void EnsureOverflowTextInsert(Connection& conn) {
  if (conn.HasCommand(kOverflowTextInsert)) return;
  conn.CreateCommand(kOverflowTextInsert,
                     "Insert Into " + sql::Table("QmOverflowText") +
                         "(OverFlowID, OverFlowText) Values (?,?)",
                     {Variant(int32_t{3}), Variant(kLongVariant)});
}

void EnsureReqAttrInsert(Connection& conn, int32_t field_value_size) {
  if (conn.HasCommand(kReqAttrInsert)) return;
  Variant value_descriptor = field_value_size < 1
                                 ? Variant(kLongVariant)
                                 : Variant(std::to_string(field_value_size) + ";8");
  conn.CreateCommand(kReqAttrInsert,
                     "INSERT INTO " + sql::Table("qmUserDefinedFieldValues") +
                         " (REQUIREMENTID,FIELDID,FIELDVALUE,OVERFLOWIND,NUMERICVALUE)" +
                         " VALUES (?,?,?,?,?)",
                     {Variant(int32_t{3}), Variant(int32_t{3}), value_descriptor,
                      Variant(int32_t{3}), Variant(int32_t{5})});
}

void EnsureOverflowValuesInsert(Connection& conn) {
  if (conn.HasCommand(kOverflowValuesInsert)) return;
  conn.CreateCommand(kOverflowValuesInsert,
                     "Insert Into " + sql::Table("QmOverflowValues") +
                         "(OverFlowRequirementID, OverFlowFieldID, OverflowFieldValue) "
                         "Values (?,?,?)",
                     {Variant(int32_t{3}), Variant(int32_t{3}), Variant(kLongVariant)});
}

// Values of the modelling tool and of the tracker integration stay behind
// when a package is copied.
bool IsSkippedValue(pugi::xml_node field_value) {
  static const char* const kToolLabels[] = {"ModraItemID", "ModraModelPath", "ModraType",
                                            "Modra Use Case"};
  const std::string label = AttrText(field_value, "Label");
  for (const char* tool_label : kToolLabels)
    if (EqualsNoCase(label, tool_label)) return true;
  return EqualsNoCase(AttrText(field_value, "TkIntegration"), "Yes");
}

// "Yes" for an attribute that the tracker integration owns.
std::string TkIntegrationWord(const Recordset& values) {
  std::string properties = xml::ColumnText(values, "FieldProperties");
  std::transform(properties.begin(), properties.end(), properties.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return properties.find("customtype") != std::string::npos &&
                 properties.find("trkbridge.connector") != std::string::npos
             ? "Yes"
             : "No";
}

// The overflow text when the row's overflow flag is set, else |column|.
std::string TextOrOverflow(const Recordset& rs, std::string_view column,
                           std::string_view overflow_column) {
  bool overflow = xml::ColumnValue(rs.GetField("OverflowInd"), xml::kBoolean).ToBool();
  return xml::ColumnText(rs, overflow ? overflow_column : column);
}

// A whole number as the row stores it (Null for a missing one).
Variant PlainNumber(const Variant& v) {
  return v.IsNull() || v.IsEmpty() ? Variant::Null() : Variant(v.ToLong());
}

// The first |units| UTF-16 code units of |text| (none for a negative count).
std::string Head(const std::string& text, int64_t units) {
  return Utf16Prefix(text, units > 0 ? static_cast<size_t>(units) : 0);
}

}  // namespace

// ---------------------------------------------------------------------------
// Database to XML
// ---------------------------------------------------------------------------

void PackageMover::CreateRequirementsXMLChildElement_(xml::TextWriter& w, Collection& rows) {
  auto conversion = frame::GetConversionService(*Run().services);
  rs_requirements_ = rows.Get<Recordset>("qmRequirements");
  if (!conversion || !rs_requirements_) return;
  Recordset& rs = *rs_requirements_;
  Recordset* field_values = rows.Get<Recordset>("qmUserDefinedFieldValues").get();
  Recordset* list_values = rows.Get<Recordset>("qmUserDefinedListValues").get();
  const xml::AttrWriter writer(kRequirementAttrs, rs);
  const Field stamp = rs.GetField("VersionDateTime");

  for (; !rs.IsEOF(); rs.MoveNext()) {
    const xml::TextWriter::Mark before = w.Here();
    w.Open("Requirement");
    try {
      writer.Write(w, [&](size_t i) {
        return i == kRequirementAttrs.At("VersionDateTime")
                   ? conversion->cTimeStamp(stamp)
                   : TextOrOverflow(rs, "RequirementText", "OverflowText");
      });
      const int32_t key = xml::ColumnValue(rs.GetField("ID"), xml::kLong).ToLong();
      CreateResourcesXMLChildElement_(w, key);
      CreateFieldValuesXMLChildElement_(field_values, w, key);
      CreateListValuesXMLChildElement_(list_values, w, key);
      w.Close();
    } catch (...) {
      w.Rewind(before);
      throw;
    }
  }
}

void PackageMover::CreateFieldValuesXMLChildElement_(Recordset* values, xml::TextWriter& w,
                                                     int32_t requirement_key) {
  w.Open("FieldValues");
  if (values != nullptr) {
    values->SetFilter("");
    values->SetFilter("(RequirementID= " + std::to_string(requirement_key) + ")");
    const xml::AttrWriter writer(kFieldValueAttrs, *values);
    for (; !values->IsEOF(); values->MoveNext()) {
      w.Open("FieldValue");
      writer.Write(w, [&](size_t i) {
        return i == kFieldValueAttrs.At("TkIntegration")
                   ? TkIntegrationWord(*values)
                   : TextOrOverflow(*values, "FieldValue", "OverflowFieldValue");
      });
      w.Close();
    }
  }
  w.Close();
}

void PackageMover::CreateListValuesXMLChildElement_(Recordset* values, xml::TextWriter& w,
                                                    int32_t requirement_key) {
  w.Open("ListValues");
  if (values != nullptr) {
    values->SetFilter("");
    values->SetFilter("(RequirementID= " + std::to_string(requirement_key) + ")");
    const xml::AttrWriter writer(kListValueAttrs, *values);
    for (; !values->IsEOF(); values->MoveNext()) {
      w.Open("ListValue");
      writer.Write(w);
      w.Close();
    }
  }
  w.Close();
}

// ---------------------------------------------------------------------------
// XML to database
// ---------------------------------------------------------------------------

void PackageMover::CreateRequirementsDBElement_(const ReadContext& ctx,
                                                int32_t package_key) {
  pugi::xml_node requirements = doc_->select_node("//Requirements").node();
  if (!requirements) return;
  Connection& conn = *ctx.conn;
  EnsureOverflowTextInsert(conn);
  EnsureReqAttrInsert(conn, ctx.field_value_size);
  int32_t text_size = ctx.requirement_text_size;
  if (text_size % 2 != 0) --text_size;

  static const std::vector<std::string> kProjectColumns = {"ProjectID", "RequirementID"};
  static const std::vector<std::string> kMemberColumns = {"PACKAGEID", "REQUIREMENTID"};
  for (pugi::xml_node node : requirements.children()) {
    if (node.type() != pugi::node_element || !node.first_attribute()) continue;
    frame::ReadingElement at(reading_, node);
    const xml::AttrRow<kRequirementAttrs> a(node);
    const std::string id = AttrText(node, "ID");
    const int32_t key = ctx.keys->GetNextDBKey("Requirement", id);
    const std::string guid = ctx.guids->GetGUID(id);

    // Bookmark document: a GUID names a document of the transfer; a single
    // character is taken as it stands; nothing means no document.
    const std::string bookmark_doc = a.Text("BookmarkDocumentID");
    Variant bookmark_doc_key = Variant::Null();
    if (Utf16Length(bookmark_doc) >= 2)
      bookmark_doc_key = Variant(ctx.keys->getKeyFromGUID("Document", bookmark_doc));
    else if (!bookmark_doc.empty())
      bookmark_doc_key = Variant(bookmark_doc);

    const std::string text = xml::LineEnds(a.Text("RequirementText"));
    const bool overflow =
        static_cast<int64_t>(CodePageByteCount(text, ctx.code_page)) > text_size;
    std::string reason = a.Text("VersionReason");
    if (static_cast<int64_t>(Utf16Length(reason)) > ctx.version_reason_size)
      reason = Head(reason, ctx.version_reason_size);
    const std::string date_text = a.Text("VersionDateTime");
    const Variant date = date_text.empty() ? Variant::Null() : Variant(date_text);
    const int32_t user_key = ctx.keys->getKeyFromGUID("User", a.Text("VersionUserGUID"));
    const int32_t type_key =
        ctx.keys->getKeyFromGUID("RequirementType", a.Text("RequirementTypeGUID"));

    InsertValues row;
    row.Key("ID", key)
        .Key("RequirementTypeID", type_key)
        .Literal("Tag", a.Value("Tag", xml::kLong))
        .Literal("LastChildTag", a.Value("LastChildTag", xml::kLong))
        .Literal("BookmarkName", Variant(a.Text("BookmarkName")), true)
        .Literal("BookmarkDocumentID", bookmark_doc_key, true, 3)
        .Value("DocumentPosition", PlainNumber(a.Value("DocumentPosition", xml::kLong)))
        .Literal("LongTagNumber", Variant(a.Text("LongTagNumber")))
        .Literal("RequirementPrefix", Variant(a.Text("RequirementPrefix")))
        .Literal("RequirementName", Variant(a.Text("REQUIREMENTNAME")), true)
        .Literal("RequirementText", Variant(overflow ? Head(text, text_size / 2) : text),
                 true)
        .Literal("OverflowIND", Variant(overflow))
        .Literal("Deleted", a.Value("Deleted", xml::kBoolean))
        .Literal("VersionNumber", Variant(a.Text("VersionNumber")))
        .Literal("VersionLabel", Variant(a.Text("VersionLabel")))
        .Key("VersionUserID", user_key)
        .Literal("VersionDateTime", date, false, 7)
        .Literal("VersionReason", Variant(reason))
        .Literal("QMGUID", Variant(guid))
        .Value("Flags", PlainNumber(a.Value("Flags", xml::kLong)))
        .Value("LastDocText", PlainNumber(a.Value("LastDocText", xml::kLong)));
    row.InsertInto(conn, "qmRequirements");

    if (overflow)
      conn.ExecuteCommand(kOverflowTextInsert, {Variant(key), Variant(sql::HostText(text))});
    conn.InsertRow("qmProjectRequirements", kProjectColumns,
                   {Variant(ctx.project_key), Variant(key)});
    CreateResourcesDBElement_(ctx, node, key);
    CreateFieldValuesDBElementWithInsert_(ctx, node, key);
    CreateListValuesDBElementWithInsert_(ctx, node, key);
    conn.InsertRow("QmPackageElements", kMemberColumns, {Variant(package_key), Variant(key)});
  }
}

void PackageMover::CreateFieldValuesDBElementWithInsert_(const ReadContext& ctx,
                                                         pugi::xml_node requirement,
                                                         int32_t requirement_key) {
  const int32_t size = ctx.field_value_size;
  for (pugi::xml_node value : requirement.child("FieldValues").children("FieldValue")) {
    if (IsSkippedValue(value)) {
      Run().NoteRead("tracker or modelling-tool attribute values left out");
      continue;
    }
    const xml::AttrRow<kFieldValueAttrs> a(value);
    const int32_t field_key =
        ctx.keys->getKeyFromGUID("UserDefinedField", AttrText(value, "ID"));
    // Bound, not spliced as a literal: "|" goes back into the character 26 here.
    const std::string full = sql::HostText(a.Text("FieldValue"));
    const bool overflow = static_cast<int64_t>(Utf16Length(full)) > size;
    ctx.conn->ExecuteCommand(
        kReqAttrInsert,
        {Variant(requirement_key), Variant(field_key),
         Variant(overflow ? Head(full, size) : full), Variant(overflow ? "1" : "0"),
         a.Value("NumericValue", xml::kDouble)});
    if (!overflow) continue;
    EnsureOverflowValuesInsert(*ctx.conn);
    ctx.conn->ExecuteCommand(kOverflowValuesInsert, {Variant(requirement_key),
                                                     Variant(field_key), Variant(full)});
  }
}

void PackageMover::CreateListValuesDBElementWithInsert_(const ReadContext& ctx,
                                                        pugi::xml_node requirement,
                                                        int32_t requirement_key) {
  for (pugi::xml_node value : requirement.child("ListValues").children("ListValue")) {
    const int32_t field_key =
        ctx.keys->getKeyFromGUID("UserDefinedField", AttrText(value, "UDFGUID"));
    const int32_t item_key =
        ctx.keys->getKeyFromGUID("UserDefinedListItem", AttrText(value, "ID"));
    static const std::vector<std::string> kColumns = {"RequirementID", "FieldID", "ListItemID"};
    ctx.conn->InsertRow("qmUserDefinedListValues", kColumns,
                        {Variant(requirement_key), Variant(field_key), Variant(item_key)});
  }
}

}  // namespace qmxml::movers
