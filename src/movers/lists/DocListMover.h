// DocListMover: the catalogue of a project's documents and their files.
#pragma once

#include <string>
#include <string_view>

#include "movers/lists/CatalogListMover.h"

namespace qmxml::movers {

// Moves the document catalogue: one "DOC" per document, with the location
// of its file.
//
// WriteData: oRs is the project record set; its current row carries
// `QMGUID` (the root's identity) and the chapter field `Docs`, a record set
// of the project's documents with the columns `NAME`, `QMGUID`, `filepath`,
// `filedirectory`, `filename` and `fileextension`. Written:
//   <PROJECT ID XMLVersion><DOCS><DOC Name ID filepath wordfilepath/>...
// "wordfilepath" is the folder, a separator, the name, "." and the
// extension. A project row whose `Docs` is no record set gets no "DOCS".
//
// ReadData: oRs is a Collection (or empty); appended per "DOC", a
// Collection of texts under "NAME", "ID", "filepath", "wordfilepath",
// "FileDirectory", "FileName", "FileExtension" (the last three cut from
// "filepath"). No key map entries are needed or recorded.
class DocListMover final : public CatalogListMover {
 public:
  DocListMover();

  // The file path of a document from its folder, name and extension: the
  // folder and a separator ("/" when the folder is empty; none when it
  // already ends in one; otherwise the one the folder uses, "/" when it has
  // none), the name, "." and the extension.
  static std::string GetWordFilePath_(std::string_view directory, std::string_view name,
                                      std::string_view extension);

 protected:
  std::string ComputedValue_(const Recordset& row,
                             const CatalogAttr& attr) const override;
  void CompleteEntry_(Collection& entry, const PathParts& catalog) const override;
};

}  // namespace qmxml::movers
