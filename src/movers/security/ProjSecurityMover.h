// ProjSecurityMover: the users and groups of one project, in both
// directions.
#pragma once

#include <memory>
#include <pugixml.hpp>
#include <string>
#include <string_view>

#include "frame/MoverBase.h"
#include "frame/Guid.h"

namespace qmxml::movers {

// Moves the user groups (with their group-level access rights) and the
// users (login, stored password, active flag, full name, e-mail, group) of
// one project.
//
// Document: root "PROJECT" (ID, XMLVersion), child 0 "Groups" with one
// "Group" per group (NAME, DESCRIPTION, ProjectAccessRights,
// DocTypeAccessRights, ReqTypeAccessRights, AttributeAccessRights,
// ListItemAccessRights, ID), child 1 "Users" with one "User" per user
// (LoginName, Password, Active, FullName, EmailAddress, GroupName,
// GroupGUID, ID). A list without entries is left out. The reader takes
// attributes by position.
//
// WriteData expects oRs = one record set positioned on the project row:
//   project row: QMGUID, Groups (chapter), Users (chapter)
//   Groups rows: NAME, DESCRIPTION, PROJECTACCESSRIGHTS, DOCTYPEACCESSRIGHTS,
//                REQTYPEACCESSRIGHTS, ATTRIBUTEACCESSRIGHTS,
//                LISTITEMACCESSRIGHTS, QMGUID
//   Users rows:  LoginName, Password, Active, FullName, EmailAddress,
//                NAME (the user's group name), GroupGUID, QMGUID
// Fields are read by name; the chapters are walked from their current
// position to the end.
//
// ReadData expects oRs = a Collection holding target record sets (see
// transfer::TargetRecordset) keyed "qmUserGroups" and "qmUsers". Groups
// are added first and sent with one batch update, then users. No earlier
// reader is needed: each group gets GetNextDBKey("Group", GUID), each user
// GetNextDBKey("User", GUID), and a user's GroupID is
// getKeyFromGUID("Group", GroupGUID) as recorded by the group step.
//
// The Password column is carried exactly as the database stores it; only
// its form in the XML differs (ConvertPWDToDecimal / ConvertPWDToCharacter).
class ProjSecurityMover : public frame::MoverBase {
 public:
  ProjSecurityMover() : MoverBase("ProjSecurityMover") {}

  void ReadData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                Scheduler* oScheduler) override;
  void WriteData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                 Scheduler* oScheduler) override;

  // Every UTF-16 code unit of |text| as a signed 16-bit decimal number
  // followed by ";" ("abc" -> "97;98;99;", unit 40000 -> "-25536;").
  static std::string ConvertPWDToDecimal(std::string_view text);
  // The reverse: each number before a ";" names one code unit (negative
  // numbers count from 65536); anything after the last ";" is dropped. A
  // number that does not convert throws Error 13, one outside
  // -32768..65535 Error 5.
  static std::string ConvertPWDToCharacter(std::string_view text);

 private:
  bool CreateGroupsXMLChildElement_(const Recordset& project,
                                    pugi::xml_node groups) const;
  bool CreateUsersXMLChildElement_(const Recordset& project, pugi::xml_node users) const;
  void CreateGroupsDBElement_(const Collection& rows, pugi::xml_node list, KeyMap& keys,
                              frame::iGUID& guids) const;
  void CreateUsersDBElement_(const Collection& rows, pugi::xml_node list, KeyMap& keys,
                             frame::iGUID& guids) const;
};

}  // namespace qmxml::movers
