// Transfer steps of users, groups and group rights.
#include "transfer/Kinds.h"
#include "transfer/Rows.h"

namespace qmxml::transfer {

std::shared_ptr<Recordset> SecurityRows(ExportContext& ctx) {
  const std::string pk = std::to_string(ctx.project_key);
  auto project = ProjectRow(ctx, {"Groups", "Users"});
  auto groups = Select(ctx,
                       "SELECT pu.PROJECTID AS PROJECTID, g.NAME AS NAME, g.DESCRIPTION AS DESCRIPTION, "
                       "g.PROJECTACCESSRIGHTS AS PROJECTACCESSRIGHTS, "
                       "g.DOCTYPEACCESSRIGHTS AS DOCTYPEACCESSRIGHTS, "
                       "g.REQTYPEACCESSRIGHTS AS REQTYPEACCESSRIGHTS, "
                       "g.ATTRIBUTEACCESSRIGHTS AS ATTRIBUTEACCESSRIGHTS, "
                       "g.LISTITEMACCESSRIGHTS AS LISTITEMACCESSRIGHTS, g.QMGUID AS QMGUID, g.ID AS ID "
                       "FROM qmUserGroups g JOIN qmProjectUsers pu ON pu.USERGROUPID = g.ID "
                       "WHERE pu.PROJECTID = " + pk + " ORDER BY g.ID");
  auto users = Select(ctx,
                      "SELECT pu.PROJECTID AS PROJECTID, u.LoginName AS LoginName, u.Password AS Password, "
                      "u.Active AS Active, u.FullName AS FullName, u.EmailAddress AS EmailAddress, "
                      "g.NAME AS NAME, g.QMGUID AS GroupGUID, u.QMGUID AS QMGUID FROM qmUsers u "
                      "JOIN qmUserGroups g ON g.ID = u.GroupID "
                      "JOIN qmProjectUsers pu ON pu.USERGROUPID = g.ID "
                      "WHERE pu.PROJECTID = " + pk + " ORDER BY u.ID");
  AttachChapter(*project, "ID", "Groups", groups, "PROJECTID");
  AttachChapter(*project, "ID", "Users", users, "PROJECTID");
  return project;
}

void ExportSecurity(ExportContext& ctx, const Kind& kind) {
  ExportFile(ctx, kind.file, kind.file.path, SecurityRows(ctx));
}

void ExportPermissions(ExportContext& ctx, const Kind& kind) {
  const std::string pk = std::to_string(ctx.project_key);
  auto project = ProjectRow(ctx, {"Groups"});
  auto groups = Select(ctx,
                       "SELECT pu.PROJECTID AS PROJECTID, g.ID AS ID, g.QMGUID AS QMGUID, "
                       "pu.ACCESSRIGHTS AS ACCESSRIGHTS, NULL AS DocumentTypeRights, "
                       "NULL AS RequirementTypeRights FROM qmUserGroups g "
                       "JOIN qmProjectUsers pu ON pu.USERGROUPID = g.ID "
                       "WHERE pu.PROJECTID = " + pk + " ORDER BY g.ID");
  auto doc_rights = Select(ctx,
                           "SELECT r.USERGROUPID AS USERGROUPID, r.ACCESSRIGHTS AS ACCESSRIGHTS, "
                           "d.QMGUID AS QMGUID FROM qmDocumentTypeUsers r "
                           "JOIN qmDocumentTypes d ON d.ID = r.DOCUMENTTYPEID "
                           "WHERE r.PROJECTID = " + pk + " ORDER BY r.USERGROUPID, d.ID");
  auto type_rights = Select(ctx,
                            "SELECT r.USERGROUPID AS USERGROUPID, r.REQUIREMENTTYPEID AS REQUIREMENTTYPEID, "
                            "r.ACCESSRIGHTS AS ACCESSRIGHTS, r.REQTEXTACCESSRIGHTS AS REQTEXTACCESSRIGHTS, "
                            "r.TRACEABILITYACCESSRIGHTS AS TRACEABILITYACCESSRIGHTS, "
                            "r.REQNAMEACCESSRIGHTS AS REQNAMEACCESSRIGHTS, t.QMGUID AS QMGUID, "
                            "NULL AS AttributeRights FROM qmRequirementTypeUsers r "
                            "JOIN qmRequirementTypes t ON t.ID = r.REQUIREMENTTYPEID "
                            "WHERE r.PROJECTID = " + pk + " ORDER BY r.USERGROUPID, t.ID");
  // Attribute rights of every group, per requirement type the attribute
  // belongs to; the writer narrows them to each group. The document repeats
  // an attribute's rights under every type it belongs to, so an imported
  // project holds one row per repetition; DISTINCT keeps the re-export the
  // same as the first.
  auto attr_rights = Select(ctx,
                            "SELECT DISTINCT tf.REQUIREMENTTYPEID AS REQUIREMENTTYPEID, r.FIELDID AS FIELDID, "
                            "r.USERGROUPID AS UserGroupID, r.ACCESSRIGHTS AS ACCESSRIGHTS, "
                            "f.QMGUID AS QMGUID, NULL AS ListItemRights, " + kAttributeGroup +
                            " AS AttributeGroup FROM qmUserDefinedFieldUsers r "
                            "JOIN qmUserDefinedFields f ON f.ID = r.FIELDID "
                            "JOIN qmRequirementTypeFields tf ON tf.USERDEFINEDFIELDID = r.FIELDID "
                            "WHERE r.PROJECTID = " + pk +
                            " ORDER BY REQUIREMENTTYPEID, AttributeGroup, FIELDID, UserGroupID");
  auto item_rights = Select(ctx,
                            "SELECT DISTINCT i.FIELDID AS FIELDID, i.ITEMID AS ITEMID, "
                            "r.USERGROUPID AS UserGroupID, "
                            "r.ACCESSRIGHTS AS ACCESSRIGHTS, i.QMGUID AS QMGUID "
                            "FROM qmUserDefinedListItemUsers r "
                            "JOIN qmUserDefinedListItems i ON i.ITEMID = r.LISTITEMID "
                            "WHERE r.PROJECTID = " + pk + " ORDER BY i.FIELDID, i.ITEMID, r.USERGROUPID");
  AttachChapter(*attr_rights, "FIELDID", "ListItemRights", item_rights, "FIELDID");
  AttachChapter(*type_rights, "REQUIREMENTTYPEID", "AttributeRights", attr_rights, "REQUIREMENTTYPEID");
  AttachChapter(*groups, "ID", "DocumentTypeRights", doc_rights, "USERGROUPID");
  AttachChapter(*groups, "ID", "RequirementTypeRights", type_rights, "USERGROUPID");
  AttachChapter(*project, "ID", "Groups", groups, "PROJECTID");
  ExportFile(ctx, kind.file, kind.file.path, project);
}

}  // namespace qmxml::transfer
