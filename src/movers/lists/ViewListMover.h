// ViewListMover: the catalogue of a project's saved views and their files.
#pragma once

#include "movers/lists/CatalogListMover.h"

namespace qmxml::movers {

// Moves the view catalogue: one "VIEW" per saved view, with its file.
//
// WriteData: oRs is the project record set; its current row carries
// `QMGUID` (the root's identity) and the chapter field `Views`, a record
// set of the project's views with the columns `VIEWNAME`, `QMGUID` and
// `FilePath`. Written:
//   <PROJECT ID XMLVersion><VIEWS><VIEW Name ID filepath/>...
// A project row whose `Views` is no record set gets no "VIEWS".
//
// ReadData: oRs is a Collection (or empty); appended per "VIEW", a
// Collection of texts under "NAME", "ID", "filepath". No key map entries
// are needed or recorded.
class ViewListMover final : public CatalogListMover {
 public:
  ViewListMover();
};

}  // namespace qmxml::movers
