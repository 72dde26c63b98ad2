// Application: the creatable entry class of the component. It identifies
// the component and hands out the Mover factory.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "qmxml/Mover.h"

namespace qmxml {

class Application : public Object {
 public:
  std::string TypeName() const override { return "QmXMLServices.Application"; }
  std::string ClassName() const { return "Application"; }
  std::string ClassVersion() const;
  std::string ClassDescription() const { return "Application"; }
  int32_t ClassID() const { return 1; }
  std::string ClassFilename() const;
  std::string ClassPath() const;
  // A new factory on every read.
  std::shared_ptr<Mover> GetMover() const { return std::make_shared<Mover>(); }
};

// The component's version text ("major.minor.revision").
std::string ComponentVersion();
// The folder the component was loaded from, ending in "/".
std::string ComponentFolder();
// Appends "/" to |folder| unless it already ends in one.
std::string WithTrailingSeparator(std::string folder);

}  // namespace qmxml
