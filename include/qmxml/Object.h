// Object: the base of everything a Variant can hold as an object (record
// sets, collections, containers, connections). Callers hand these objects
// to movers by reference, the way an automation caller does, so a mover can
// ask what it was given and take it as the type it expects.
#pragma once

#include <memory>
#include <string>

namespace qmxml {

class Object {
 public:
  virtual ~Object() = default;
  // The class name a caller would see ("ADODB.Recordset", "Collection", ...).
  virtual std::string TypeName() const = 0;
};

using ObjectPtr = std::shared_ptr<Object>;

}  // namespace qmxml
