// ProjPropsMover: the project row itself (name, prefix, description,
// author, security switch, version stamp, flags, GUID and the lines of the
// project's settings file). Its reader creates the target project and
// records the new project key under the project's GUID, which is how every
// other reader of the same transfer finds the project.
#pragma once

#include <string>

#include "frame/MoverBase.h"
#include "qmxml/Recordset.h"
#include "qmxml/Services.h"

namespace qmxml::movers {

// Moves one project row to the root element "Project" and back.
//
// WriteData: oRs is one Recordset holding the project row, with the
// columns NAME, DESCRIPTION, PREFIX, DOCUMENTWORDFORMAT, AUTHORGUID,
// SECURITYENABLED, VERSIONNUMBER, VERSIONLABEL, VERSIONUSERGUID,
// VERSIONDATETIME, VERSIONREASON, RSDS, FLAGS, QMGUID (AUTHORGUID and
// VERSIONUSERGUID are the QMGUIDs of qmUsers joined on AuthorID and
// VersionUserID). It is read from its current row to the end; with several
// rows the last one's values stand. oData.Data may hold the settings lines
// as a text array (written as IniFile<i> for each non-empty line i).
// Nothing is written for an empty record set or without the conversion
// service. The document is saved to the file path, or handed to
// oScheduler->XMLDoc when oData.ReturnAsXMLStream is set.
//
// ReadData: oData must be a transfer context (else 23002). oRs must be a
// non-null object (a Collection; no tables are taken from it). Inserts one
// qmProjects row by SQL text; the key map must know the author's and
// version user's GUIDs as "User" (or find them stored) to resolve them.
// Afterwards oData.ProjectKey is the new key, oData.Data a one-element text
// array holding the first settings line, and the key map holds the new key
// under "Project" and the document's project GUID. Runs first in an import.
class ProjPropsMover : public frame::MoverBase {
 public:
  ProjPropsMover() : MoverBase("ProjPropsMover") {}

  void WriteData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                 Scheduler* oScheduler) override;
  void ReadData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                Scheduler* oScheduler) override;

 private:
  void WriteProjectXML_(Recordset* rs, DataDescriptor* oData, Scheduler* oScheduler,
                        const std::string& path);
  // Sets the attributes of the current row on |element|.
  void CreateProjectXMLElement_(const Recordset& rs, const DataDescriptor* oData,
                                ConversionService& conversion,
                                pugi::xml_node element) const;
  void ReadProjectXML_(SourceContainer* oSource, DataDescriptor* oData,
                       const ObjectPtr& rows, const std::string& path);
};

}  // namespace qmxml::movers
