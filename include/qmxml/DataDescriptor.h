// DataDescriptor: the transfer context handed to every mover call. It
// carries the flags and target project of the transfer and a payload that
// movers read and write (Data). Movers that check the context compare
// ClassName with "QmDataMover.DataDescriptor", so a test can hand in another
// class by changing it.
#pragma once

#include <cstdint>
#include <string>

#include "qmxml/Object.h"
#include "qmxml/Variant.h"

namespace qmxml {

// What one run gathers from its mover calls (notes, files written behind);
// defined inside the library.
class TransferState;

class DataDescriptor : public Object {
 public:
  std::string TypeName() const override { return ClassName; }

  std::string ClassName = "QmDataMover.DataDescriptor";
  // Bit 0 set: every inserted element gets a new GUID (a copy of a project).
  int32_t ProjectFlags = 0;
  // Key of the target project; written by the project-properties reader.
  int32_t ProjectKey = 0;
  // Per-mover payload (settings lines of the project, ...).
  Variant Data;
  // Hand the document to the scheduler instead of saving a file.
  bool ReturnAsXMLStream = false;

  // Selectors of the element being moved and options of extracts.
  Variant ElementGUID;
  Variant ElementType;
  Variant Label;
  Variant BaselineDesc;
  Variant History;
  Variant Discussion;
  Variant Traceability;
  Variant CPT;
  Variant IncludePkgDocsInfo;
  Variant IncludePkgReqsInfo;
  Variant IncludePkgViewsInfo;
  Variant FileDirectory;
  Variant FileName;
  Variant FileExtension;
  Variant SpectoProject;

  // The state of the run this call belongs to, owned by the caller; null
  // for a call on its own (the mover then keeps what it notes to itself).
  TransferState* Run = nullptr;
};

}  // namespace qmxml
