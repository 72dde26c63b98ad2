// CatalogListMover: what the document, view and package list movers share.
// A catalogue names a project's file-based objects (documents, views,
// packages) so that a caller can copy or open their files. It is written
// from rows the caller hands in and read back into keyed entries for the
// caller; no key map, GUID provider or database is touched either way.
//
// Catalogue document (declaration, then the root):
//   <PROJECT ID="..." XMLVersion="2">
//     <LIST>                     (DOCS, VIEWS or Packages)
//       <ENTRY a1="..." .../>    (DOC, VIEW or Package), one per row
//     </LIST>
//   </PROJECT>
// The three movers differ only in the layout below and in the values they
// compute (DocListMover: "wordfilepath" on writing, the parts of "filepath"
// on reading; PckListMover: each package's own file path on reading).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "frame/MoverBase.h"

namespace qmxml::movers {

// One attribute of a catalogue entry: written from |column| of the entry's
// row, read back by |xml_name| into the entry under |key|.
struct CatalogAttr {
  const char* xml_name;
  const char* column;  // nullptr: the mover computes it (ComputedValue_)
  const char* key;
};

struct CatalogLayout {
  int32_t own_message;  // the mover's message in the data-set failure text
  // The chapter field of the project row that holds the entry rows, or
  // nullptr when the rows handed in are the entries themselves (then the
  // root's identity is the transfer context's ElementGUID).
  const char* chapter;
  const char* list_element;
  const char* entry_element;
  std::vector<CatalogAttr> attrs;  // in document order
};

// A path cut at its last separator ("\" or "/", so that folders written
// on either kind of system split alike).
struct PathParts {
  std::string folder;       // before the last separator, without it
  std::string name;         // the file name without its extension
  std::string extension;    // from the file name's last "." on, dot included
  bool has_folder = false;  // false: the path holds no separator at all
  char separator = '/';     // the separator found
};

// Splits |path|. Without any separator, folder, name and extension are all
// empty; a file name without "." has an empty extension.
// "C:\Docs\Spec.final.doc" gives "C:\Docs", "Spec.final", ".doc".
PathParts SplitPath(std::string_view path);

// The rows argument of WriteData as one record set: nullptr when the caller
// passed nothing. Anything other than a record set raises Error 13 (type
// mismatch) with |source|.
RecordsetPtr TakeRecordset(const ObjectPtr& oRs, const std::string& source);

class CatalogListMover : public frame::MoverBase {
 public:
  // oRs: see the layout of the concrete mover. The document is always saved
  // to the container's file path (never handed to the scheduler); rows at
  // their end give no document and no file. Failures come back with their
  // number and source and the 23003 text with the mover's own message.
  void WriteData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                 Scheduler* oScheduler) override;
  // Reads the catalogue named by oSource and appends one entry per list
  // element child to the Collection in oRs, in document order and without
  // keys. Each entry is a Collection of texts keyed by the mover's entry
  // keys. When oRs is empty a new Collection is put there; any other object
  // raises Error 13. Entries are appended only when the whole catalogue was
  // read: on any failure (parse error, an entry without one of the
  // attributes read) oRs keeps what it held, and the error comes back with
  // its number and source and the 23004 text with the mover's own message.
  void ReadData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                Scheduler* oScheduler) override;

 protected:
  CatalogListMover(std::string_view class_name, const CatalogLayout& layout);

  // The value of an attribute without a column, for the entry row |row|.
  virtual std::string ComputedValue_(const Recordset& row, const CatalogAttr& attr) const;
  // Adds to |entry| (already holding the attributes read) what the mover
  // derives from them; |catalog| is the split path of the catalogue file
  // (one named without a folder still has its name and extension there).
  virtual void CompleteEntry_(Collection& entry, const PathParts& catalog) const;

 private:
  void WriteListXML_(const RecordsetPtr& rs, const DataDescriptor* oData,
                     const std::string& path);
  std::vector<std::shared_ptr<Collection>> ReadListXML_(const SourceContainer* oSource,
                                                         const std::string& path);

  const CatalogLayout& layout_;
};

}  // namespace qmxml::movers
