// PackageMover: moves one package of a project, with everything it holds,
// between the project database and one package XML document (plus one
// resource file per requirement resource in the "Resources" folder beside
// it). The unit is split by job:
//   PackageMover.cpp          the frame, the package row, its group rights
//                             and the document and view membership lists;
//   PackageRequirements.cpp   the Requirements element: requirements,
//                             attribute values, list values, overflow texts;
//   PackageResources.cpp      the Resources element and the resource files.
#pragma once

#include <cstdint>
#include <memory>
#include <pugixml.hpp>
#include <string>

#include "frame/MoverBase.h"
#include "qmxml/Collection.h"
#include "qmxml/Connection.h"
#include "qmxml/KeyMap.h"
#include "qmxml/Recordset.h"
#include "frame/Guid.h"

namespace qmxml::movers {

// Moves one package: the package row (QmPackages), its group rights
// (qmPackageUsers), its documents, views and requirements (QmPackageElements),
// and per requirement its row (qmRequirements, qmProjectRequirements,
// QmOverflowText), attribute values (qmUserDefinedFieldValues,
// QmOverflowValues), list values (qmUserDefinedListValues) and resources
// (QmResources).
//
// WriteData(oSource, oData, oRs, oScheduler): oRs is a Collection of record
// sets; each is walked from its current row to its end. Keys and columns
// (names compare without regard to case):
//   "QmPackage"         one row: QMGUID, NAME, DESCRIPTION, parentid (the
//                       parent package's GUID, "" for a top-level package;
//                       the QmPackage view gives exactly this).
//   "PackageSecurity"   required key (may hold Nothing): the package's
//                       qmPackageUsers rows: usergroupid,
//                       packageaccessrights, requirementaccessrights,
//                       documentaccessrights, viewaccessrights.
//   "Resources"         required key (may hold Nothing): QmResources rows
//                       of the package's requirements, grouped by
//                       REQUIREMENTID in the order of "qmRequirements": NAME,
//                       TYPE, REQUIREMENTID, VERSIONDATETIME, Flags, QMGUID,
//                       RESOURCEOBJ (bytes).
//   "qmDocuments"       QMGUID, WordFilePath (directory "\" name "." ext).
//   "QmViews"           QMGUID.
//   "qmRequirements"    ID (key, pairs values and resources), QMGUID, Tag,
//                       LastChildTag, BookmarkName, DOCGUID (bookmark
//                       document's GUID), DocumentPosition, LongTagNumber,
//                       RequirementPrefix, RequirementText, OverflowInd,
//                       OverflowText (QmOverflowText joined), Deleted,
//                       VersionNumber, VersionLabel, VersionUserGUID,
//                       VersionDateTime, VersionReason, Flags, LastDocText,
//                       REQUIREMENTNAME, RequirementTypeGUID.
//   "qmUserDefinedFieldValues"  all values of the package's requirements:
//                       RequirementID, QMGUID (the attribute's GUID),
//                       Label, FieldValue, OverflowInd, OverflowFieldValue
//                       (QmOverflowValues joined), NumericValue,
//                       FieldProperties (the attribute's).
//   "qmUserDefinedListValues"   RequirementID, QMGUID (the list item's
//                       GUID), Label (the attribute's), ItemText, UDFGUID
//                       (the attribute's GUID).
// The value sets are filtered per requirement ("(RequirementID= <ID>)"),
// which the record set serves from an index, so they may hold the values of
// the whole package in any order. A missing value set gives empty
// FieldValues/ListValues; a missing "qmDocuments" or "QmViews" leaves out
// the Documents or Views element; a missing "QmPackage" leaves the PROJECT
// root empty; a missing "qmRequirements" (or no conversion service) gives
// an empty Requirements element. oData: Data (the project GUID, root "ID"),
// ElementGUID (the file path must end in ElementGUID & ".XML"; that text is
// replaced by "Resources" to name the resources folder, and when the path
// does not hold it the folder is "Resources" beside the file), SpectoProject
// (the project GUID text; written into every resource file). Each
// "PackageSecurity" row carries the name and GUID of its group (GroupName,
// GroupGUID; empty for a group the project does not hold), so the package
// writer needs no other writer to have run before it. The document is always saved to the file path (the
// scheduler is not used). Only a missing "PackageSecurity" or "Resources"
// key (or oRs that is not a Collection) stops the call with 23003/23013;
// any later failing step is skipped and the rest is still written; a file
// that cannot be saved is a failure all the same.
//
// ReadData(oSource, oData, oRs, oScheduler): loads the file path; needs the
// database container's connection (without one nothing happens) and key
// map, and any non-null oRs (its tables are not used: rows go in as SQL
// text and named commands). Capacities and code page come from the database
// container. Earlier readers of the transfer must have recorded in the key
// map: "Project" (the root's ID), "Group", "Document", "View", "User",
// "RequirementType", "UserDefinedField", "UserDefinedListItem" and, for a
// child package, the parent "Package". Resource files are read from
// "Resources" beside the package file; resource keys come from QmKeys class
// "Resource". Failures (a parse error with the parser's status, a missing
// resource file, a resource file without PROJECT/Resource) are raised with
// 23004/23013; rows inserted before a failure stay. Group rights are the
// exception: a group the key map does not know (key 0), rights that are not
// numbers or a refused row leave that group out and the next is tried;
// empty rights (how a NULL right is written) are stored as NULL, like
// negative ones. An empty VersionDateTime or resource Flags is stored as
// NULL.
//
// Requirement text capacity: the text's byte count is taken in the
// database container's CodePage (65001 = UTF-8 by default; 1200/1201 count
// two bytes per UTF-16 unit, the double-byte Far East pages 932, 936, 949,
// 950 and 1361 two bytes per non-ASCII character, any other page one byte
// per character). The capacity is lowered to an even number; a longer text
// keeps its first capacity/2 UTF-16 code units in the row, OverflowIND 1
// and the full text in QmOverflowText. Attribute values and version reasons
// are counted in UTF-16 code units: a value longer than
// OverflowFieldValueSize keeps that many units in the row and goes whole
// into QmOverflowValues; a version reason is cut. A capacity below 1 holds
// nothing: every non-empty text overflows (version reasons become empty).
class PackageMover : public frame::MoverBase {
 public:
  PackageMover();

  void ReadData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                Scheduler* oScheduler) override;
  void WriteData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                 Scheduler* oScheduler) override;

  // The "PackageSecurity" and "Resources" record sets the last WriteData
  // took from its oRs; nullptr before the first WriteData.
  std::shared_ptr<Recordset> RSPackageSecurity() const { return rs_package_security_; }
  std::shared_ptr<Recordset> RSResources() const { return rs_resources_; }

 private:
  // What the reader procedures share for one ReadData.
  struct ReadContext {
    Connection* conn = nullptr;
    KeyMap* keys = nullptr;
    frame::iGUID* guids = nullptr;
    int32_t project_key = 0;
    int32_t requirement_text_size = 0;
    int32_t field_value_size = 0;
    int32_t version_reason_size = 0;
    int32_t code_page = 65001;
  };

  // ---- package, security and membership (PackageMover.cpp) ----
  void WriteData_(DataDescriptor& data, Collection& rows, const std::string& path);
  void CreatePackageXMLElement_(xml::TextWriter& w, Collection& rows);
  void CreatePackageSecurityXMLElement_(xml::TextWriter& w);
  void CreateChildDocumentsXMLElement_(xml::TextWriter& w, Collection& rows);
  void CreateChildViewsXMLElement_(xml::TextWriter& w, Collection& rows);
  void ReadData_(SourceContainer* oSource, DataDescriptor* oData, const ObjectPtr& oRs,
                 const std::string& path);
  int32_t CreatePackageDBElement_(const ReadContext& ctx);
  void CreatePackageContentsDBElements_(const ReadContext& ctx, int32_t package_key);

  // ---- requirements and values (PackageRequirements.cpp) ----
  void CreateRequirementsXMLChildElement_(xml::TextWriter& w, Collection& rows);
  void CreateFieldValuesXMLChildElement_(Recordset* values, xml::TextWriter& w,
                                         int32_t requirement_key);
  void CreateListValuesXMLChildElement_(Recordset* values, xml::TextWriter& w,
                                        int32_t requirement_key);
  void CreateRequirementsDBElement_(const ReadContext& ctx, int32_t package_key);
  void CreateFieldValuesDBElementWithInsert_(const ReadContext& ctx,
                                             pugi::xml_node requirement,
                                             int32_t requirement_key);
  void CreateListValuesDBElementWithInsert_(const ReadContext& ctx,
                                            pugi::xml_node requirement,
                                            int32_t requirement_key);

  // ---- resources (PackageResources.cpp) ----
  void CreateResourcesXMLChildElement_(xml::TextWriter& w, int32_t requirement_key);
  void CreateResourceXMLFile_(const std::string& guid);
  void CreateResourcesDBElement_(const ReadContext& ctx, pugi::xml_node requirement,
                                 int32_t requirement_key);

  std::shared_ptr<Recordset> rs_package_security_;
  std::shared_ptr<Recordset> rs_resources_;
  std::string project_guid_;
  // Where the resource files of the package being written go.
  std::string resources_folder_;
  // Numbers the named commands of the resources this mover inserts.
  int32_t resource_command_counter_ = 0;
  std::shared_ptr<Recordset> rs_requirements_;
  std::string source_path_;
  const SourceContainer* source_ = nullptr;  // of the read in progress, for resource files
};

}  // namespace qmxml::movers
