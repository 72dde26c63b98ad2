// Permissions: the nested rights rows to the "Project" document and back.
#include "movers/security/PermissionsMover.h"

#include <vector>

#include "frame/Guid.h"
#include "frame/MoverRegistry.h"
#include "movers/security/SecuritySteps.h"
#include "qmxml/Error.h"
#include "sql/SqlText.h"
#include "xml/ElementLayout.h"

namespace qmxml::movers {

// What the import writes to: the key map, the target project and the five
// record sets (any of them may be missing).
struct PermissionsMover::Targets {
  KeyMap* keys = nullptr;
  int32_t project_key = 0;
  std::shared_ptr<Recordset> project_users;
  std::shared_ptr<Recordset> reqtype_users;
  std::shared_ptr<Recordset> doctype_users;
  std::shared_ptr<Recordset> field_users;
  std::shared_ptr<Recordset> listitem_users;
};

namespace {

// The attributes of a group, of a requirement type right and of the other
// rights (document type, attribute, list item).
constexpr xml::AttrTable kGroupAttrs{
    {{"ID", "QMGUID"}, {"AccessRights", "ACCESSRIGHTS"}}};
constexpr xml::AttrTable kReqTypeRightAttrs{{
    {"AccessRights", "ACCESSRIGHTS"},
    {"RequirementTextAccessRights", "REQTEXTACCESSRIGHTS"},
    {"RequirementTraceabilityAccessRights", "TRACEABILITYACCESSRIGHTS"},
    {"RequirementNameAccessRights", "REQNAMEACCESSRIGHTS"},
    {"ID", "QMGUID"},
}};
constexpr xml::AttrTable kRightAttrs{
    {{"AccessRights", "ACCESSRIGHTS"}, {"ID", "QMGUID"}}};

// Child positions: a group lists its document type rights, then its
// requirement type rights; a requirement type right and an attribute right
// each list their rights of the next level first.
enum ChildList : size_t { kDocTypeRights = 0, kReqTypeRightsList = 1, kInnerRights = 0 };

// The element children of child |index| of |node| (the entries of one
// list); none when that child is missing.
std::vector<pugi::xml_node> EntriesOf(pugi::xml_node node, size_t index) {
  pugi::xml_node list = xml::ChildNode(node, index);
  return list ? xml::Children(list) : std::vector<pugi::xml_node>();
}

// Rights are numbers whose meaning belongs to the host; they are stored as
// the text that stands in the document. A text that is not a number is
// stored all the same, and counted, so that the transfer can say so.
Variant RightsText(TransferState& run, std::string rights) {
  Variant text(std::move(rights));
  if (!text.ToText().empty() && !text.IsNumeric())
    run.NoteRead("rights that are not numbers, stored as text");
  return text;
}

// The same, or Null for an empty text.
Variant TextOrNull(TransferState& run, std::string rights) {
  Variant t = RightsText(run, std::move(rights));
  return t.ToText().empty() ? Variant::Null() : t;
}

// Narrows a per-type child set that may hold the rows of every group to
// |group_key|. The filter of an earlier group is cleared first, so a set
// shared by the rows of several groups is read again for each of them.
void NarrowToGroup(Recordset& rows, int32_t group_key) {
  if (rows.RowCount() == 0) return;
  rows.SetFilter("");
  rows.SetFilter("(UserGroupID= " + std::to_string(group_key) + ")");
}

}  // namespace

// ---- export ----

void PermissionsMover::WriteData(SourceContainer* oSource, DataDescriptor* oData,
                                 ObjectPtr& oRs, Scheduler* /*oScheduler*/) {
  const std::string path = FilePath(oSource);
  auto project = frame::Take<Recordset>(oRs);
  RunDataSet(oData, true, eMsg_Permissions, path, [&] {
    doc_ = xml::NewDocument();
    if (!project || project->IsEOF()) return;
    pugi::xml_node root = doc_->append_child("Project");
    if (!xml::SetIdentity(*project, root, "QMGUID")) {
      doc_->remove_child(root);
      return;
    }
    pugi::xml_node groups = root.append_child("Groups");
    CreateGroupsXMLChildElement_(*project, groups);
    if (!groups.first_child()) root.remove_child(groups);
    Save(doc_, path);
  });
}

void PermissionsMover::CreateGroupsXMLChildElement_(const Recordset& project,
                                                    pugi::xml_node groups) const {
  security::RunStep(Source("CreateGroupsXMLChildElement_"), [&] {
    auto rows = security::ChildRows(project, "Groups");
    if (!rows) return;
    const xml::AttrWriter writer(kGroupAttrs, *rows);
    const Field id = rows->GetField("ID");
    for (; !rows->IsEOF(); rows->MoveNext()) {
      pugi::xml_node group = groups.append_child("Group");
      writer.Write(group);
      CreateDocTypeRightsXMLChildElement_(*rows,
                                          group.append_child("DocumentTypeRights"));
      const int32_t group_key = xml::ColumnValue(id, xml::kLong).ToLong();
      CreateReqTypeRightsXMLChildElement_(*rows, group_key,
                                          group.append_child("RequirementTypeRights"));
    }
  });
}

void PermissionsMover::CreateDocTypeRightsXMLChildElement_(const Recordset& group,
                                                           pugi::xml_node list) const {
  security::RunStep(Source("CreateDocTypeRightsXMLChildElement_"), [&] {
    auto rows = security::ChildRows(group, "DocumentTypeRights");
    if (!rows) return;
    const xml::AttrWriter writer(kRightAttrs, *rows);
    for (; !rows->IsEOF(); rows->MoveNext())
      writer.Write(list.append_child("DocumentTypeRight"));
  });
}

void PermissionsMover::CreateReqTypeRightsXMLChildElement_(const Recordset& group,
                                                           int32_t group_key,
                                                           pugi::xml_node list) const {
  security::RunStep(Source("CreateReqTypeRightsXMLChildElement_"), [&] {
    auto rows = security::ChildRows(group, "RequirementTypeRights");
    if (!rows) return;
    const xml::AttrWriter writer(kReqTypeRightAttrs, *rows);
    for (; !rows->IsEOF(); rows->MoveNext()) {
      pugi::xml_node right = list.append_child("RequirementTypeRight");
      writer.Write(right);
      CreateAttributeRightsXMLChildElement_(*rows, group_key,
                                            right.append_child("AttributeRights"));
    }
  });
}

void PermissionsMover::CreateAttributeRightsXMLChildElement_(const Recordset& reqtype,
                                                             int32_t group_key,
                                                             pugi::xml_node list) const {
  security::RunStep(Source("CreateAttributeRightsXMLChildElement_"), [&] {
    auto rows = security::ChildRows(reqtype, "AttributeRights");
    if (!rows) return;
    NarrowToGroup(*rows, group_key);
    const xml::AttrWriter writer(kRightAttrs, *rows);
    for (; !rows->IsEOF(); rows->MoveNext()) {
      pugi::xml_node right = list.append_child("AttributeRight");
      writer.Write(right);
      CreateListItemRightsXMLChildElement_(*rows, group_key,
                                           right.append_child("ListItemRights"));
    }
  });
}

void PermissionsMover::CreateListItemRightsXMLChildElement_(const Recordset& attribute,
                                                            int32_t group_key,
                                                            pugi::xml_node list) const {
  security::RunStep(Source("CreateListItemRightsXMLChildElement_"), [&] {
    auto rows = security::ChildRows(attribute, "ListItemRights");
    if (!rows) return;
    NarrowToGroup(*rows, group_key);
    const xml::AttrWriter writer(kRightAttrs, *rows);
    for (; !rows->IsEOF(); rows->MoveNext())
      writer.Write(list.append_child("ListItemRight"));
  });
}

// ---- import ----

void PermissionsMover::ReadData(SourceContainer* oSource, DataDescriptor* oData,
                                ObjectPtr& oRs, Scheduler* /*oScheduler*/) {
  if (oData == nullptr) return;
  CheckContext(oData);
  auto rows = frame::Take<Collection>(oRs);
  const std::string path = FilePath(oSource);
  RunDataSet(oData, false, eMsg_Permissions, path, [&] {
    doc_ = LoadFile(oSource, path, Source("IMover_ReadData"));
    if (!rows) return;
    auto db = DbContainer(oSource);
    if (!db || !db->keys) return;

    Targets t;
    t.keys = db->keys.get();
    pugi::xml_node root = xml::RootElement(*doc_);
    t.project_key = frame::ProjectKeyOfDocument(*doc_, t.keys);
    t.project_users = sql::RecordsetOfTable(rows.get(), sql::Table("qmProjectUsers"));
    t.reqtype_users =
        sql::RecordsetOfTable(rows.get(), sql::Table("qmRequirementTypeUsers"));
    t.doctype_users =
        sql::RecordsetOfTable(rows.get(), sql::Table("qmDocumentTypeUsers"));
    t.field_users =
        sql::RecordsetOfTable(rows.get(), sql::Table("qmUserDefinedFieldUsers"));
    t.listitem_users =
        sql::RecordsetOfTable(rows.get(), sql::Table("qmUserDefinedListItemUsers"));

    CreatePermissionsDBElements_(xml::ChildNode(root, 0), t);

    for (const auto& rs : {t.project_users, t.reqtype_users, t.doctype_users,
                           t.field_users, t.listitem_users})
      if (rs) rs->UpdateBatch();
  });
}

void PermissionsMover::CreatePermissionsDBElements_(pugi::xml_node groups,
                                                    Targets& t) const {
  security::RunStep(Source("CreatePermissionsDBElements_"), [&] {
    if (!groups) return;
    for (pugi::xml_node group : xml::Children(groups)) {
      const xml::AttrRow<kGroupAttrs> a(group);
      const int32_t group_key = t.keys->getKeyFromGUID("Group", a.Text("ID"));
      const int32_t rights = Variant(a.Text("AccessRights")).ToLong();
      CreateProjectUsersDBElement_(group_key, rights, t);
      CreateReqTypeRightsDBElement_(group, group_key, t);
      CreateDocTypeRightsDBElement_(group, group_key, t);
    }
  });
}

void PermissionsMover::CreateProjectUsersDBElement_(int32_t group_key, int32_t rights,
                                                    Targets& t) const {
  if (!t.project_users) return;
  security::RunStep(Source("CreateProjectUsersDBElement_"), [&] {
    Recordset& rs = *t.project_users;
    rs.AddNew();
    rs.Set("PROJECTID", Variant(t.project_key));
    rs.Set("USERGROUPID", Variant(group_key));
    rs.Set("ACCESSRIGHTS", Variant(rights));
  });
}

void PermissionsMover::CreateReqTypeRightsDBElement_(pugi::xml_node group,
                                                     int32_t group_key,
                                                     Targets& t) const {
  security::RunStep(Source("CreateReqTypeRightsDBElement_"), [&] {
    for (pugi::xml_node reqtype : EntriesOf(group, kReqTypeRightsList)) {
      if (t.reqtype_users) {
        const xml::AttrRow<kReqTypeRightAttrs> a(reqtype);
        Recordset& rs = *t.reqtype_users;
        rs.AddNew();
        rs.Set("PROJECTID", Variant(t.project_key));
        rs.Set("USERGROUPID", Variant(group_key));
        rs.Set("REQUIREMENTTYPEID",
               Variant(t.keys->getKeyFromGUID("RequirementType", a.Text("ID"))));
        rs.Set("ACCESSRIGHTS", TextOrNull(Run(), a.Text("AccessRights")));
        rs.Set("REQTEXTACCESSRIGHTS",
               TextOrNull(Run(), a.Text("RequirementTextAccessRights")));
        rs.Set("REQNAMEACCESSRIGHTS",
               TextOrNull(Run(), a.Text("RequirementNameAccessRights")));
        rs.Set("TRACEABILITYACCESSRIGHTS",
               TextOrNull(Run(), a.Text("RequirementTraceabilityAccessRights")));
      }
      CreateAttrRightsDBElement_(reqtype, group_key, t);
    }
  });
}

void PermissionsMover::CreateAttrRightsDBElement_(pugi::xml_node reqtype,
                                                  int32_t group_key, Targets& t) const {
  security::RunStep(Source("CreateAttrRightsDBElement_"), [&] {
    for (pugi::xml_node attribute : EntriesOf(reqtype, kInnerRights)) {
      if (t.field_users) {
        const xml::AttrRow<kRightAttrs> a(attribute);
        Recordset& rs = *t.field_users;
        rs.AddNew();
        rs.Set("PROJECTID", Variant(t.project_key));
        rs.Set("USERGROUPID", Variant(group_key));
        rs.Set("FIELDID",
               Variant(t.keys->getKeyFromGUID("UserDefinedField", a.Text("ID"))));
        rs.Set("ACCESSRIGHTS", RightsText(Run(), a.Text("AccessRights")));
      }
      CreateListItemRightsDBElement_(attribute, group_key, t);
    }
  });
}

void PermissionsMover::CreateListItemRightsDBElement_(pugi::xml_node attribute,
                                                      int32_t group_key,
                                                      Targets& t) const {
  if (!t.listitem_users) return;
  security::RunStep(Source("CreateListItemRightsDBElement_"), [&] {
    Recordset& rs = *t.listitem_users;
    for (pugi::xml_node item : EntriesOf(attribute, kInnerRights)) {
      const xml::AttrRow<kRightAttrs> a(item);
      rs.AddNew();
      rs.Set("PROJECTID", Variant(t.project_key));
      rs.Set("USERGROUPID", Variant(group_key));
      rs.Set("LISTITEMID",
             Variant(t.keys->getKeyFromGUID("UserDefinedListItem", a.Text("ID"))));
      rs.Set("ACCESSRIGHTS", RightsText(Run(), a.Text("AccessRights")));
    }
  });
}

void PermissionsMover::CreateDocTypeRightsDBElement_(pugi::xml_node group,
                                                     int32_t group_key,
                                                     Targets& t) const {
  if (!t.doctype_users) return;
  security::RunStep(Source("CreateDocTypeRightsDBElement_"), [&] {
    Recordset& rs = *t.doctype_users;
    for (pugi::xml_node doctype : EntriesOf(group, kDocTypeRights)) {
      const xml::AttrRow<kRightAttrs> a(doctype);
      rs.AddNew();
      rs.Set("PROJECTID", Variant(t.project_key));
      rs.Set("USERGROUPID", Variant(group_key));
      rs.Set("DOCUMENTTYPEID",
             Variant(t.keys->getKeyFromGUID("DocumentType", a.Text("ID"))));
      rs.Set("ACCESSRIGHTS", RightsText(Run(), a.Text("AccessRights")));
    }
  });
}

MoverPtr NewPermissionsMover() { return std::make_shared<PermissionsMover>(); }

}  // namespace qmxml::movers
