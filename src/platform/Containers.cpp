// Source and database containers, and the SQLite attribute-view builder.
#include <string>

#include "qmxml/AttrViewBuilder.h"
#include "qmxml/Connection.h"
#include "qmxml/SourceContainer.h"

namespace qmxml {

Variant DatabaseContainer::ContainerInfo(int32_t what) const {
  if (what == eContInfo_Connection && connection) return Variant(ObjectPtr(connection));
  return Variant();
}

Variant SourceContainer::ContainerInfo(int32_t what) const {
  switch (what) {
    case eContInfo_FilePath:
      return Variant(file_path);
    case eContInfo_DBContainer:
      return db_container ? Variant(ObjectPtr(db_container)) : Variant();
    case eContInfo_Connection:
      return db_container ? db_container->ContainerInfo(eContInfo_Connection) : Variant();
    default:
      return Variant();
  }
}

std::shared_ptr<AttrViewBuilder> SourceContainer::GetAttrViewBuilder() const {
  return db_container ? db_container->GetAttrViewBuilder() : nullptr;
}

std::string AttrViewBuilder::ViewName(int32_t attr_key) {
  return "QmAttrView_" + std::to_string(attr_key);
}

void AttrViewBuilder::CreateAttrView(int32_t attr_key, int32_t data_type,
                                     Connection* connection) {
  if (connection == nullptr) return;
  const std::string key = std::to_string(attr_key);
  const std::string name = ViewName(attr_key);
  std::string body;
  if (data_type == 0 || data_type == 10) {
    // List and MultiSelect: one row per chosen item, with the item's text.
    body = "SELECT lv.RequirementID AS RequirementID, li.ITEMID AS ListItemID, "
           "li.ItemText AS Value FROM qmUserDefinedListValues lv "
           "JOIN qmUserDefinedListItems li ON li.ITEMID = lv.ListItemID "
           "WHERE lv.FieldID = " + key;
  } else {
    body = "SELECT fv.REQUIREMENTID AS RequirementID, fv.FieldValue AS Value, "
           "fv.NumericValue AS NumericValue FROM qmUserDefinedFieldValues fv "
           "WHERE fv.FIELDID = " + key;
  }
  connection->ExecuteScript("DROP VIEW IF EXISTS " + name + "; CREATE VIEW " + name + " AS " +
                            body + ";");
}

}  // namespace qmxml
