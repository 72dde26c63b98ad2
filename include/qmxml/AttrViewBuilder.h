// AttrViewBuilder: makes the stored view over one attribute's values in the
// target database when the structure reader creates a new attribute. The
// SQLite builder creates a view named "QmAttrView_<key>" that lists each
// requirement with its value of that attribute (list attributes through
// their list items).
#pragma once

#include <cstdint>
#include <string>

#include "qmxml/Object.h"

namespace qmxml {

class Connection;

class AttrViewBuilder : public Object {
 public:
  std::string TypeName() const override { return "QmDataMover.AttrViewBuilder"; }
  // Creates (or replaces) the view of attribute |attr_key| whose data-type
  // code is |data_type|, on |connection|.
  virtual void CreateAttrView(int32_t attr_key, int32_t data_type, Connection* connection);
  static std::string ViewName(int32_t attr_key);
};

}  // namespace qmxml
