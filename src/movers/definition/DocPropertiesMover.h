// DocPropertiesMover: the properties of one project document (type, name,
// description, word-processing flags, file location and stamp, version
// stamp, offline copy, flags). Writing also tells the transfer context the
// document's GUID and file location, so the caller can move the document
// file itself. Unlike the other definition movers, its attribute names are
// lower case and its reader looks them up by name.
#pragma once

#include <string>

#include "frame/MoverBase.h"
#include "qmxml/Recordset.h"
#include "qmxml/Services.h"

namespace qmxml::movers {

// Moves one document row to PROJECT/DOC (with DOC/RELATEDVALUES/VALUE for
// the document's related attribute values) and back into qmDocuments.
//
// WriteData: oRs is one Recordset positioned on the document row, with the
// columns ProjectGUID (the owning project's QMGUID), NAME, QMGUID,
// documenttypeid (QMGUID of the document type), DESCRIPTION, ITEMLABEL,
// PROTECTSTATE, UNLOCKTOREVISE, DEFERREDRENUMBER, DEFERREDRESTYLE,
// FILEDIRECTORY, FILENAME, FILEEXTENSION, FILEDATETIME, FILESIZE,
// FILEFLAGS, FILEVERSION, VERSIONNUMBER, VERSIONLABEL, versionuserid
// (QMGUID of the version user), VERSIONDATETIME, VERSIONREASON,
// OFFLINEFULLPATH, OFFLINESTATUS, FLAGS, and the chapter DocRelValues: a
// Recordset of the document's related values with the columns fieldid
// (attribute GUID) and RELATEDITEMID, walked from its current row. Only
// the current row is written. Names compare without regard to case, so
// the set must not also carry the key columns DocumentTypeID and
// VersionUserID: their names would hide the GUID columns. The document is always saved to
// the file path, never handed to the scheduler; when the record set is Nothing or at its
// end no file is written. Afterwards oData.ElementGUID, FileDirectory, FileName and
// FileExtension hold the row's values. Without the conversion service the file holds
// PROJECT alone.
//
// ReadData: no context check; oRs is not used and is passed back as it
// came. Inserts one qmDocuments row and one qmProjectDocuments row by SQL
// text. The key map must hold the project under "Project" and the
// document's GUID of PROJECT (the project reader ran first), the document
// type under "DocumentType" (the structure reader) and the version user
// under "User" (the users-and-groups reader). The new document key is
// recorded under "Document" and the document's GUID. Related values are
// not read.
class DocPropertiesMover : public frame::MoverBase {
 public:
  DocPropertiesMover() : MoverBase("DocPropertiesMover") {}

  void WriteData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                 Scheduler* oScheduler) override;
  void ReadData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                Scheduler* oScheduler) override;

 private:
  void WriteDocXML_(const Recordset* rs, DataDescriptor* oData, const std::string& path);
  // Fills DOC from the current row. Returns false when the row cannot be
  // read; DOC is then left out of the document.
  bool CreateDocXMLElement_(const Recordset& rs, DataDescriptor* oData,
                            ConversionService& conversion,
                            pugi::xml_node doc_element) const;
  void ReadDocXML_(SourceContainer* oSource, DataDescriptor* oData,
                   const std::string& path);
};

}  // namespace qmxml::movers
