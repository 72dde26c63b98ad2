// ProjStructureMover: the definitions that shape a project (requirement
// types with their attribute links, attributes with their list items, and
// document types), written to one PROJECT document and read back into a
// target database through the caller's record sets.
#pragma once

#include <memory>
#include <string>

#include <pugixml.hpp>

#include "frame/MoverBase.h"
#include "qmxml/Collection.h"
#include "qmxml/DataDescriptor.h"
#include "qmxml/KeyMap.h"
#include "qmxml/Recordset.h"
#include "qmxml/SourceContainer.h"
#include "frame/Guid.h"

namespace qmxml::movers {

// Moves the project structure.
//
// WriteData: oRs is a Collection of record sets keyed by
//   "RequirementTypes"  the parent set; its current row is the project, with
//                       QMGUID (the project's GUID) and the chapter
//                       RequirementTypes. Each chapter row: NAME,
//                       DESCRIPTION, RequirementPrefix, RequirementColor,
//                       RequirementStyle, RequirementMustContain,
//                       InitialReqNumber, LastReqNumber,
//                       AllowExternalReferences, QMGUID and the chapter
//                       ReqTypeAttrs (rows: Label, QMGUID of the linked
//                       attribute).
//   "Attributes", "ModraAttributes"
//                       attribute rows: Label, Rank, AutoSuspect, Required,
//                       DataType, DefaultValue, FLAGS, DESCRIPTION,
//                       FieldProperties, QMGUID.
//   "ListAttributes", "MultiAttributes"
//                       the same columns (List resp. MultiSelect attributes,
//                       DefaultValue in key form) plus the chapter ListItems
//                       (rows: ITEMID, ITEMTEXT, ITEMRANK, QMGUID).
//   "DocumentTypes"     NAME, DESCRIPTION, FileExtension, RTName (name of
//                       the default requirement type), TemplateName,
//                       TemplateDescription, TemplateFileName,
//                       TemplateHelpFile, RTGUID (its GUID), QMGUID.
// Any key but "RequirementTypes" may be missing (that group is empty);
// without it, or with it at its end, no document comes out. Top-level sets
// are read from their current position to the end; chapters are read whole.
//
// ReadData: oRs is a Collection of target record sets (TargetRecordset)
// keyed by table name: qmUserDefinedFields, qmUserDefinedListItems,
// qmRequirementTypes, qmProjectRequirementTypes, qmRequirementTypeFields,
// qmDocumentTypes, qmProjectDocumentTypes. A step whose main table
// (qmUserDefinedFields, qmRequirementTypes, qmDocumentTypes) is missing adds
// nothing; a missing side table only loses its own rows. The key map must
// already hold the target project under the document's PROJECT ID (the
// project-properties reader records it). Every new attribute, list item,
// requirement type and document type is recorded under its XML GUID; the
// database container's AttrViewBuilder, when there is one, gets one
// CreateAttrView call per new attribute.
class ProjStructureMover : public frame::MoverBase {
 public:
  ProjStructureMover() : MoverBase("ProjStructureMover") {}

  void WriteData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                 Scheduler* oScheduler) override;
  void ReadData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                Scheduler* oScheduler) override;

 private:
  // ---- writer ----
  // Builds doc_ from |rows|; leaves doc_ empty when there is nothing to write.
  void WriteProjectStructure_(const Collection* rows);
  void CreateRequirementTypeElement_(pugi::xml_node parent, const Recordset& rt);
  void CreateAttributeElement_(pugi::xml_node parent, const Recordset& attr, int kind);

  // ---- reader ----
  struct ReadContext;
  void ReadProjectStructure_(SourceContainer* oSource, DataDescriptor* oData,
                             const Collection* rows);
  void ReadAttributes_(ReadContext& ctx, pugi::xml_node attributes);
  void ReadRequirementTypes_(ReadContext& ctx, pugi::xml_node types);
  void ReadDocumentTypes_(ReadContext& ctx, pugi::xml_node types);
};

}  // namespace qmxml::movers
