// Scheduler: the caller's object that receives a finished document when a
// mover is asked to hand it back (ReturnAsXMLStream) instead of saving it.
#pragma once

#include <memory>
#include <string>

#include <pugixml.hpp>

#include "qmxml/Object.h"

namespace qmxml {

using XmlDocumentPtr = std::shared_ptr<pugi::xml_document>;

class Scheduler : public Object {
 public:
  std::string TypeName() const override { return "QmDataMover.Scheduler"; }
  XmlDocumentPtr XMLDoc;
};

}  // namespace qmxml
