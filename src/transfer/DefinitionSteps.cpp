// Transfer steps of the project definition: project properties, structure
// and document properties.
#include "transfer/Kinds.h"
#include "transfer/Rows.h"

namespace qmxml::transfer {

void ExportProjectProps(ExportContext& ctx, const Kind& kind) {
  auto rs = Select(ctx,
                   "SELECT p.Name AS NAME, p.Description AS DESCRIPTION, p.Prefix AS PREFIX, "
                   "p.DocumentWordFormat AS DOCUMENTWORDFORMAT, a.QMGUID AS AUTHORGUID, "
                   "p.SecurityEnabled AS SECURITYENABLED, p.VersionNumber AS VERSIONNUMBER, "
                   "p.VersionLabel AS VERSIONLABEL, v.QMGUID AS VERSIONUSERGUID, "
                   "p.VersionDateTime AS VERSIONDATETIME, p.VersionReason AS VERSIONREASON, "
                   "p.RSDS AS RSDS, p.Flags AS FLAGS, p.QMGUID AS QMGUID "
                   "FROM qmProjects p LEFT JOIN qmUsers a ON a.ID = p.AuthorID "
                   "LEFT JOIN qmUsers v ON v.ID = p.VersionUserID WHERE p.ID = " +
                       std::to_string(ctx.project_key));
  ExportFile(ctx, kind.file, kind.file.path, rs);
}

}  // namespace qmxml::transfer

namespace qmxml::transfer {
namespace {

// Attributes of the project: those linked to one of its requirement types.
std::string AttributeSelect(ExportContext& ctx, const std::string& where) {
  return "SELECT f.ID AS ID, f.Label AS Label, f.Rank AS Rank, f.AutoSuspect AS AutoSuspect, "
         "f.Required AS Required, f.DataType AS DataType, f.DefaultValue AS DefaultValue, "
         "f.FLAGS AS FLAGS, f.DESCRIPTION AS DESCRIPTION, f.FieldProperties AS FieldProperties, "
         "f.QMGUID AS QMGUID, NULL AS ListItems FROM qmUserDefinedFields f WHERE f.ID IN ("
         "SELECT tf.USERDEFINEDFIELDID FROM qmRequirementTypeFields tf "
         "JOIN qmProjectRequirementTypes pt ON pt.REQUIREMENTTYPEID = tf.REQUIREMENTTYPEID "
         "WHERE pt.PROJECTID = " + std::to_string(ctx.project_key) + ") AND " + where +
         " ORDER BY f.ID";
}


std::shared_ptr<Recordset> AttributesWithItems(ExportContext& ctx, const std::string& where) {
  auto attrs = Select(ctx, AttributeSelect(ctx, where));
  auto items = Select(ctx,
                      "SELECT i.FIELDID AS FIELDID, i.ITEMID AS ITEMID, i.ItemText AS ITEMTEXT, "
                      "i.ItemRank AS ITEMRANK, i.QMGUID AS QMGUID FROM qmUserDefinedListItems i "
                      "ORDER BY i.ITEMID");
  AttachChapter(*attrs, "ID", "ListItems", items, "FIELDID");
  return attrs;
}

}  // namespace

void ExportStructure(ExportContext& ctx, const Kind& kind) {
  const std::string pk = std::to_string(ctx.project_key);
  auto project = ProjectRow(ctx, {"RequirementTypes"});
  auto types = Select(ctx,
                      "SELECT t.ID AS ID, t.NAME AS NAME, t.DESCRIPTION AS DESCRIPTION, "
                      "t.RequirementPrefix AS RequirementPrefix, t.RequirementColor AS RequirementColor, "
                      "t.RequirementStyle AS RequirementStyle, "
                      "t.RequirementMustContain AS RequirementMustContain, "
                      "t.InitialReqNumber AS InitialReqNumber, t.LastReqNumber AS LastReqNumber, "
                      "t.AllowExternalReferences AS AllowExternalReferences, t.QMGUID AS QMGUID, "
                      "pt.PROJECTID AS PROJECTID, NULL AS ReqTypeAttrs FROM qmRequirementTypes t "
                      "JOIN qmProjectRequirementTypes pt ON pt.REQUIREMENTTYPEID = t.ID "
                      "WHERE pt.PROJECTID = " + pk + " ORDER BY t.ID");
  auto links = Select(ctx,
                      "SELECT tf.REQUIREMENTTYPEID AS REQUIREMENTTYPEID, f.Label AS Label, "
                      "f.QMGUID AS QMGUID FROM qmRequirementTypeFields tf "
                      "JOIN qmUserDefinedFields f ON f.ID = tf.USERDEFINEDFIELDID "
                      "ORDER BY tf.REQUIREMENTTYPEID, " + kAttributeOrder);
  AttachChapter(*types, "ID", "ReqTypeAttrs", links, "REQUIREMENTTYPEID");
  AttachChapter(*project, "ID", "RequirementTypes", types, "PROJECTID");

  auto rows = std::make_shared<Collection>();
  rows->Add(Variant(ObjectPtr(project)), "RequirementTypes");
  rows->Add(Variant(ObjectPtr(Select(ctx, AttributeSelect(ctx, std::string("f.DataType NOT IN (0, 10) AND NOT ") + kModraLabels)))), "Attributes");
  rows->Add(Variant(ObjectPtr(Select(ctx, AttributeSelect(ctx, std::string("f.DataType NOT IN (0, 10) AND ") + kModraLabels)))), "ModraAttributes");
  rows->Add(Variant(ObjectPtr(AttributesWithItems(ctx, "f.DataType = 0"))), "ListAttributes");
  rows->Add(Variant(ObjectPtr(AttributesWithItems(ctx, "f.DataType = 10"))), "MultiAttributes");
  rows->Add(Variant(ObjectPtr(Select(ctx,
                "SELECT d.NAME AS NAME, d.DESCRIPTION AS DESCRIPTION, d.FileExtension AS FileExtension, "
                "t.NAME AS RTName, d.TemplateName AS TemplateName, "
                "d.TemplateDescription AS TemplateDescription, d.TemplateFileName AS TemplateFileName, "
                "d.TemplateHelpFile AS TemplateHelpFile, t.QMGUID AS RTGUID, d.QMGUID AS QMGUID "
                "FROM qmDocumentTypes d JOIN qmProjectDocumentTypes pd ON pd.DocumentTypeID = d.ID "
                "LEFT JOIN qmRequirementTypes t ON t.ID = d.DefaultRequirementType "
                "WHERE pd.PROJECTID = " + pk + " ORDER BY d.ID"))),
            "DocumentTypes");
  ExportFile(ctx, kind.file, kind.file.path, rows);
}

}  // namespace qmxml::transfer

namespace qmxml::transfer {
namespace fs = std::filesystem;

void ExportDocuments(ExportContext& ctx, const Kind& kind) {
  const std::string pk = std::to_string(ctx.project_key);
  // Only the GUID columns carry the document type and version user: a key
  // column of the same name would hide them (names compare without case).
  auto docs = Select(ctx,
                     "SELECT p.QMGUID AS ProjectGUID, d.ID AS DOCKEY, d.Name AS NAME, d.QMGUID AS QMGUID, "
                     "t.QMGUID AS documenttypeid, d.Description AS DESCRIPTION, d.ItemLabel AS ITEMLABEL, "
                     "d.ProtectState AS PROTECTSTATE, d.UnlockToRevise AS UNLOCKTOREVISE, "
                     "d.DeferredRenumber AS DEFERREDRENUMBER, d.DeferredRestyle AS DEFERREDRESTYLE, "
                     "d.FileDirectory AS FILEDIRECTORY, d.FileName AS FILENAME, "
                     "d.FileExtension AS FILEEXTENSION, d.FileDateTime AS FILEDATETIME, "
                     "d.FileSize AS FILESIZE, d.FileFlags AS FILEFLAGS, d.FileVersion AS FILEVERSION, "
                     "d.VersionNumber AS VERSIONNUMBER, d.VersionLabel AS VERSIONLABEL, "
                     "u.QMGUID AS versionuserid, d.VersionDateTime AS VERSIONDATETIME, "
                     "d.VersionReason AS VERSIONREASON, d.OfflineFullPath AS OFFLINEFULLPATH, "
                     "d.OfflineStatus AS OFFLINESTATUS, d.Flags AS FLAGS, NULL AS DocRelValues "
                     "FROM qmDocuments d JOIN qmProjectDocuments pd ON pd.DocumentID = d.ID "
                     "JOIN qmProjects p ON p.ID = pd.ProjectID "
                     "LEFT JOIN qmDocumentTypes t ON t.ID = d.DocumentTypeID "
                     "LEFT JOIN qmUsers u ON u.ID = d.VersionUserID WHERE pd.ProjectID = " + pk +
                     " ORDER BY d.ID");
  auto rel = Select(ctx,
                    "SELECT r.DOCUMENTID AS DOCUMENTID, r.FIELDID AS fieldid, "
                    "r.RELATEDITEMID AS RELATEDITEMID FROM QmUserDefinedDocRelValues r "
                    "JOIN qmProjectDocuments pd ON pd.DocumentID = r.DOCUMENTID "
                    "WHERE pd.ProjectID = " + pk + " ORDER BY r.DOCUMENTID, r.FIELDID");
  AttachChapter(*docs, "DOCKEY", "DocRelValues", rel, "DOCUMENTID");
  // The table of contents: one entry per document file.
  auto list = ProjectRow(ctx, {"Docs"});
  auto entries = std::make_shared<Recordset>(std::vector<Column>{
      {"PROJECTID", VarType::Long}, {"NAME", VarType::String}, {"QMGUID", VarType::String},
      {"filepath", VarType::String}, {"filedirectory", VarType::String},
      {"filename", VarType::String}, {"fileextension", VarType::String}});
  for (docs->MoveFirst(); !docs->IsEOF(); docs->MoveNext()) {
    // Each document gets a one-row set of its own: the writer reads to the end.
    auto one = CurrentRowOnly(*docs);
    std::string guid = docs->Value("QMGUID").ToText();
    const fs::path file = ElementFileOf(kind.file, guid,
                                        "the document \"" + docs->Value("NAME").ToText() +
                                            "\" (key " + docs->Value("DOCKEY").ToText() + ")");
    ExportFile(ctx, kind.file, file, one);
    entries->AppendRow({Variant(ctx.project_key), docs->Value("NAME"), Variant(guid),
                        Variant(file.generic_string()), docs->Value("FILEDIRECTORY"),
                        docs->Value("FILENAME"), docs->Value("FILEEXTENSION")});
  }
  AttachChapter(*list, "ID", "Docs", entries, "PROJECTID");
  ExportFile(ctx, kind.catalogue, kind.catalogue.path, list);
}

void ImportDocuments(ImportContext& ctx, const Kind& kind) {
  for (const auto& guid : ctx.documents)
    ImportFile(ctx, kind, ElementFileOf(kind.file, guid, "document"));
}

void ExportExternalProjects(ExportContext& ctx, const Kind& kind) {
  auto rs = Select(ctx,
                   "SELECT p.QMGUID AS ProjectGUID, e.QMGUID AS ExtProjectGUID, pe.Prefix AS Prefix, "
                   "e.NAME AS NAME, e.Directory AS Directory, e.Filename AS Filename, "
                   "pe.ConnectAtOpen AS ConnectAtOpen FROM qmProjectExternalProjects pe "
                   "JOIN qmExternalProjects e ON e.ID = pe.ExternalProjectID "
                   "JOIN qmProjects p ON p.ID = pe.ProjectID WHERE pe.ProjectID = " +
                       std::to_string(ctx.project_key) + " ORDER BY e.ID");
  ExportFile(ctx, kind.file, kind.file.path, rs);
}

}  // namespace qmxml::transfer
