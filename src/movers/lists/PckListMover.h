// PckListMover: the catalogue of a project's packages, by GUID.
#pragma once

#include <string>

#include "movers/lists/CatalogListMover.h"

namespace qmxml::movers {

// Moves the package catalogue: one "Package" per package.
//
// WriteData: oRs is the record set of the package rows themselves (column
// `QMGUID`), walked from the current row to the end; the root's identity is
// oData->ElementGUID (the project's GUID). Written:
//   <PROJECT ID XMLVersion><Packages><Package ID/>...
// A record set already at its end gives no document and no file.
//
// ReadData: oRs is a Collection (or empty); appended per "Package", a
// Collection of texts under "ID" and "FilePath", the package's own file:
// the catalogue's folder, its separator, the package GUID and the
// catalogue's extension ("/work/list.xml" and "{G}" give "/work/{G}.xml";
// a catalogue named without a folder gives "{G}.xml"). No key map entries
// are needed or recorded.
class PckListMover final : public CatalogListMover {
 public:
  PckListMover();

 protected:
  void CompleteEntry_(Collection& entry, const PathParts& catalog) const override;
};

}  // namespace qmxml::movers
