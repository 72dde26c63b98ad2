// PermissionsMover: the access rights each user group holds in one project
// (on the project, document types, requirement types, attributes and list
// items), in both directions.
#pragma once

#include <memory>
#include <pugixml.hpp>
#include <string>

#include "frame/MoverBase.h"

namespace qmxml::movers {

// Moves the rights rows of one project, nested group by group. A rights row
// has no GUID of its own: its group and its object travel as GUIDs.
//
// Document: root "Project" (ID, XMLVersion) > "Groups" (left out when
// empty) > "Group" (ID, AccessRights) with child 0 "DocumentTypeRights" >
// "DocumentTypeRight" (AccessRights, ID) and child 1
// "RequirementTypeRights" > "RequirementTypeRight" (AccessRights,
// RequirementTextAccessRights, RequirementTraceabilityAccessRights,
// RequirementNameAccessRights, ID) > "AttributeRights" > "AttributeRight"
// (AccessRights, ID) > "ListItemRights" > "ListItemRight" (AccessRights,
// ID). The reader finds elements and attributes by position.
//
// WriteData expects oRs = one record set positioned on the project row
// (chapters are record sets held in fields):
//   project row:           QMGUID, Groups
//   Groups:                ID (Long, group key), QMGUID, ACCESSRIGHTS,
//                          DocumentTypeRights, RequirementTypeRights
//   DocumentTypeRights:    ACCESSRIGHTS, QMGUID (of the document type)
//   RequirementTypeRights: ACCESSRIGHTS, REQTEXTACCESSRIGHTS,
//                          TRACEABILITYACCESSRIGHTS, REQNAMEACCESSRIGHTS,
//                          QMGUID (of the requirement type), AttributeRights
//   AttributeRights:       UserGroupID, ACCESSRIGHTS, QMGUID (of the
//                          attribute), ListItemRights
//   ListItemRights:        UserGroupID, ACCESSRIGHTS, QMGUID (of the item)
// AttributeRights and ListItemRights may hold the rows of every group (one
// set may even be shared by several parent rows): the writer narrows each
// to the current group with the filter "(UserGroupID= <key>)" and leaves
// that filter set. The document is always saved to the file path; it is
// never handed to the scheduler.
//
// ReadData expects oRs = a Collection of target record sets keyed
// "qmProjectUsers", "qmRequirementTypeUsers", "qmDocumentTypeUsers",
// "qmUserDefinedFieldUsers" and "qmUserDefinedListItemUsers" (a missing
// one just adds no rows of its kind). The key map must resolve, through
// earlier readers or the target database: "Project" (root ID), "Group",
// "DocumentType", "RequirementType", "UserDefinedField" and
// "UserDefinedListItem". Each set is sent with one batch update after the
// last group. oData Nothing: nothing is read.
class PermissionsMover : public frame::MoverBase {
 public:
  PermissionsMover() : MoverBase("PermissionsMover") {}

  void ReadData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                Scheduler* oScheduler) override;
  void WriteData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                 Scheduler* oScheduler) override;

 private:
  struct Targets;

  // Export.
  void CreateGroupsXMLChildElement_(const Recordset& project,
                                    pugi::xml_node groups) const;
  void CreateDocTypeRightsXMLChildElement_(const Recordset& group,
                                           pugi::xml_node list) const;
  void CreateReqTypeRightsXMLChildElement_(const Recordset& group, int32_t group_key,
                                           pugi::xml_node list) const;
  void CreateAttributeRightsXMLChildElement_(const Recordset& reqtype, int32_t group_key,
                                             pugi::xml_node list) const;
  void CreateListItemRightsXMLChildElement_(const Recordset& attribute, int32_t group_key,
                                            pugi::xml_node list) const;

  // Import.
  void CreatePermissionsDBElements_(pugi::xml_node groups, Targets& t) const;
  void CreateProjectUsersDBElement_(int32_t group_key, int32_t rights, Targets& t) const;
  void CreateReqTypeRightsDBElement_(pugi::xml_node group, int32_t group_key,
                                     Targets& t) const;
  void CreateDocTypeRightsDBElement_(pugi::xml_node group, int32_t group_key,
                                     Targets& t) const;
  void CreateAttrRightsDBElement_(pugi::xml_node reqtype, int32_t group_key,
                                  Targets& t) const;
  void CreateListItemRightsDBElement_(pugi::xml_node attribute, int32_t group_key,
                                      Targets& t) const;
};

}  // namespace qmxml::movers
