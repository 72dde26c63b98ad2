// ViewMover: one saved view of a project (name, type, query, column layout,
// owner) between a row of QmViews and a document holding one VIEW element.
// The view's property string names attributes and requirement types by
// database key; the writer turns those keys into GUIDs and the reader back
// into the keys of the target database. That conversion is also offered to
// outside callers as GetConvertedProp.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "frame/MoverBase.h"
#include "qmxml/Connection.h"
#include "qmxml/KeyMap.h"
#include "qmxml/Recordset.h"
#include "qmxml/Services.h"
#include "qmxml/ViewPropertyConverter.h"
#include "frame/Guid.h"

namespace qmxml::movers {

// Moves one view to PROJECT/VIEW (attributes Name, ID, requirementtypeid,
// secondaryreqtypeid, viewtype, visibility, viewuserid, viewusername,
// viewdatetime, viewreason, queryid, secondaryqueryid; children
// VIEWDESCRIPTION and PROPERTIES) and back into QmViews.
//
// WriteData: oRs is one Recordset; its first row is written. Columns:
// ProjectGUID, VIEWNAME, QMGUID, VIEWTYPE, VISIBILITY, VIEWDATETIME,
// VIEWREASON, VIEWDESCRIPTION, PROPERTIES (key form), and, holding GUIDs
// (names compare without case, so the set must not also carry the key
// columns): requirementtypeid, secondaryreqtypeid, viewuserid, queryid,
// secondaryqueryid, and viewusername. The database container's connection
// serves the key-to-GUID lookups of the properties, oData.ProjectKey names
// the project whose attributes count. A record set at its end writes no
// file; without the conversion service the file holds an empty PROJECT.
// The document is always saved to the file path.
//
// ReadData: oRs is a Collection holding the QmViews record set (a missing
// one fails with Error 91). Adds one row for the first PROJECT/VIEW and
// sends it with UpdateBatch. The key map must know the project, and must
// resolve "queryid" (and a non-empty "secondaryqueryid") as "Query": an
// unknown query fails the read with eErr_Dangling and nothing is stored.
// Unknown user and requirement types are stored as 0.
class ViewMover : public frame::MoverBase, public ViewPropertyConverter {
 public:
  ViewMover() : MoverBase("ViewMover") {}

  void WriteData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                 Scheduler* oScheduler) override;
  void ReadData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                Scheduler* oScheduler) override;

  // See ViewPropertyConverter: direction 0 (or omitted) from key form to
  // GUID form, any other value from GUID form to key form.
  std::string GetConvertedProp(std::shared_ptr<Connection> oDBCon, int32_t& lProjKey,
                               std::shared_ptr<KeyMap> oKeys, std::string& sProps,
                               std::optional<int16_t> iDirection = 0) override;

 private:
  void WriteViewXML_(Recordset* rs, DataDescriptor* oData, const std::string& path);
  bool CreateViewXMLElement_(Recordset& rs, DataDescriptor* oData,
                             pugi::xml_node project);
  void ReadViewXML_(SourceContainer* oSource, DataDescriptor* oData, Collection* rows,
                    const std::string& path);
  void CreateViewsDBElement_(Collection* rows, frame::iGUID& guids);

  std::string ConvertProperties_(int direction, const std::string& props);
  std::string ConvertHorizReqTypeKey_(int direction, const std::string& entry);
  std::string ConvertAttributeKeys_(int direction, const std::string& entry);
  std::string ConvertColumnWidths_(int direction, const std::string& entry);
  // The new text of one attribute item: nullopt when it stays as it is,
  // "" when it is to be removed, else the converted item.
  std::optional<std::string> AttributeItem_(int direction, const std::string& item);
  std::string GetAttributeGuid_(int32_t key);
  std::string GetReqTypeGuid_(int32_t key);
  std::string GetAttributeKey_(const std::string& guid);
  std::string GetReqTypeKey_(const std::string& guid);

  std::shared_ptr<Connection> connection_;
  int32_t project_key_ = 0;
  std::shared_ptr<KeyMap> keys_;
  // GUID texts keyed by the decimal text of the key; only found GUIDs.
  std::optional<std::map<std::string, std::string>> attribute_guids_;
  std::optional<std::map<std::string, std::string>> reqtype_guids_;
};

}  // namespace qmxml::movers
