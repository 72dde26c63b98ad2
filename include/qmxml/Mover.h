// Mover: the factory of mover classes. Each property, read by its name
// ("ProjPropsMover", "PackageMover", ...), gives a new mover instance; two
// reads give two independent movers.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "qmxml/IMover.h"

namespace qmxml {

class Mover : public Object {
 public:
  std::string TypeName() const override { return "QmXMLServices.Mover"; }
  // A new instance of the mover named |property|. Throws Error 438 for a
  // name the factory does not offer.
  MoverPtr Get(std::string_view property) const;
  // The property names, in the factory's dispatch order.
  static std::vector<std::string> PropertyNames();

  // Creates any mover class by its class name, also those the factory does
  // not offer (for callers that create classes directly); nullptr when
  // there is no such class.
  static MoverPtr CreateClass(std::string_view class_name);
};

}  // namespace qmxml
