// ViewPropertyConverter: the view mover's extra public operation. A saved
// view's property string names its column attributes, their widths and
// the requirement type shown across by database key; GetConvertedProp turns
// those keys into GUIDs (direction 0) or GUIDs into the keys of a target
// database (any other direction), for a caller that moves or compares views
// on its own. Reach it from the factory:
//   auto mover = Mover().Get("ViewMover");
//   auto converter = std::dynamic_pointer_cast<ViewPropertyConverter>(mover);
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "qmxml/Connection.h"
#include "qmxml/KeyMap.h"

namespace qmxml {

class ViewPropertyConverter {
 public:
  virtual ~ViewPropertyConverter() = default;
  // Converts |sProps| (left unchanged) and returns the result. Keys become
  // GUIDs through |oDBCon|, for the attributes of requirement types of
  // project |lProjKey|; GUIDs become keys through |oKeys|. Attributes that
  // cannot be resolved are dropped from the column and width lists; an
  // unresolved type across stays. The three objects stay with the mover for
  // its later calls. Errors of the lookups (a key that is no number: Error
  // 13) reach the caller with the procedure path in their source.
  virtual std::string GetConvertedProp(std::shared_ptr<Connection> oDBCon,
                                       int32_t& lProjKey, std::shared_ptr<KeyMap> oKeys,
                                       std::string& sProps,
                                       std::optional<int16_t> iDirection = 0) = 0;
};

}  // namespace qmxml
