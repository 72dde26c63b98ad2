// The mover factory: it offers and creates the classes of the class table
// (MoverClasses.cpp), in the table's order.
#include "qmxml/Mover.h"

#include "frame/MoverRegistry.h"
#include "qmxml/Collection.h"
#include "qmxml/Error.h"

namespace qmxml {

MoverPtr Mover::Get(std::string_view property) const {
  const frame::MoverClassInfo* c = frame::FindClassInfo(property);
  if (c != nullptr && c->offered) return c->create();
  throw Error(eErr_NoProperty, "QmXMLServices.Mover",
              "Object doesn't support this property or method: " + std::string(property));
}

std::vector<std::string> Mover::PropertyNames() {
  std::vector<std::string> names;
  for (const auto& e : frame::MoverClasses())
    if (e.offered) names.emplace_back(e.class_name);
  return names;
}

MoverPtr Mover::CreateClass(std::string_view class_name) {
  const frame::MoverClassInfo* c = frame::FindClassInfo(class_name);
  return c != nullptr ? c->create() : nullptr;
}

}  // namespace qmxml
