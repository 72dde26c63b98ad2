-- qmxml.postgres.sql: the project database on a PostgreSQL server.
--
-- The same tables, columns and indexes as qmxml.sqlite.sql, in the
-- server's types: INTEGER keys and flags, DOUBLE PRECISION numbers, BYTEA
-- resource contents, TEXT for everything else (date-times included, as
-- "YYYY-MM-DD HH:MM:SS", so that both databases hand the movers the same
-- texts). The server has no case-insensitive collation by default: GUIDs
-- are compared as UPPER(column) = UPPER(value), and their indexes are built
-- on UPPER(column) to serve that comparison. Names are not quoted, so the
-- server folds them to lower case.
--
--
-- One database holds any number of requirements projects: their
-- definitions (requirement types, attributes, list items, document types),
-- their security population and rights, documents, packages, requirements
-- with attribute values, traces, saved views and queries, discussions and
-- version histories.  Run this script once on an empty database (it is
-- safe to run again: every object is created only when missing).
--
-- Conventions kept throughout:
--   * A row that stands for an element with its own database key (project,
--     requirement, user, ...) keys it with an INTEGER PRIMARY KEY.  Keys are
--     handed out by the transfer's key map or by QmKeys, never by SQLite, so
--     an importer always supplies them.
--   * GUID columns are TEXT and indexed, but never unique: a
--     project may be imported a second time into the same database with its
--     GUIDs kept.  For the same reason link tables are only keyed where one
--     side of the link is a freshly allocated key.
--   * No foreign keys are declared.  Importers resolve references through
--     the key map and store whatever it answers, unknown references
--     included, and rows arrive in the order the transfer runs the movers.
--   * Date-times are TEXT "YYYY-MM-DD HH:MM:SS"; Boolean flags are INTEGER
--     1/0; resource contents are BYTEA.
--   * Every column is nullable unless noted: importers insert NULL for
--     many empty values.
--
-- Which mover reads or writes each column, and the columns whose contents
-- are encoded in a special way, are listed in COLUMNS.md beside this file.

------------------------------------------------------------------------
-- Projects
------------------------------------------------------------------------

-- One project: name, prefix, author, security switch, version stamp, flags.
CREATE TABLE IF NOT EXISTS qmProjects (
  ID                  INTEGER PRIMARY KEY,
  Name                TEXT,
  Prefix              TEXT,
  QMGUID              TEXT,
  Description         TEXT,
  DocumentWordFormat  INTEGER,
  AuthorID            INTEGER,
  SecurityEnabled     INTEGER,
  VersionNumber       TEXT,
  VersionLabel        TEXT,
  VersionUserID       INTEGER,
  VersionDateTime     TEXT,
  VersionReason       TEXT,
  Flags               INTEGER,
  RSDS                TEXT
);
CREATE INDEX IF NOT EXISTS qmProjects_QMGUID ON qmProjects(UPPER(QMGUID));

-- One saved revision of a project's version stamp.
CREATE TABLE IF NOT EXISTS qmProjectHistory (
  ProjectID           INTEGER NOT NULL,
  VersionNumber       TEXT,
  VersionLabel        TEXT,
  VersionUserID       INTEGER,
  VersionDateTime     TEXT,
  VersionReason       TEXT,
  OverflowIND         INTEGER DEFAULT 0,
  Flags               INTEGER
);
CREATE INDEX IF NOT EXISTS qmProjectHistory_ProjectID
  ON qmProjectHistory(ProjectID);

-- One database-wide setting (name and value); not tied to a project.
CREATE TABLE IF NOT EXISTS qmSpectoria (
  PropertyName        TEXT PRIMARY KEY,
  PropertyValue       TEXT
);

-- One other project that projects of this database may trace into.
CREATE TABLE IF NOT EXISTS qmExternalProjects (
  ID                  INTEGER PRIMARY KEY,
  QMGUID              TEXT,
  NAME                TEXT,
  Directory           TEXT,
  Filename            TEXT
);
CREATE INDEX IF NOT EXISTS qmExternalProjects_QMGUID
  ON qmExternalProjects(UPPER(QMGUID));

-- One link from a project to an external project, with the prefix its
-- requirements carry in the linking project.
CREATE TABLE IF NOT EXISTS qmProjectExternalProjects (
  ProjectID           INTEGER NOT NULL,
  ExternalProjectID   INTEGER NOT NULL,
  Prefix              TEXT,
  ConnectAtOpen       INTEGER DEFAULT 0,
  PRIMARY KEY (ProjectID, ExternalProjectID)
);

------------------------------------------------------------------------
-- Project structure: requirement types, attributes, list items,
-- document types
------------------------------------------------------------------------

-- One requirement type: name, tag prefix, display colour and style,
-- tag numbering.
CREATE TABLE IF NOT EXISTS qmRequirementTypes (
  ID                       INTEGER PRIMARY KEY,
  NAME                     TEXT,
  DESCRIPTION              TEXT,
  RequirementPrefix        TEXT,
  RequirementColor         INTEGER,
  RequirementStyle         INTEGER,
  RequirementMustContain   TEXT,
  InitialReqNumber         INTEGER,
  LastReqNumber            INTEGER,
  AllowExternalReferences  INTEGER,
  QMGUID                   TEXT
);
CREATE INDEX IF NOT EXISTS qmRequirementTypes_QMGUID
  ON qmRequirementTypes(UPPER(QMGUID));

-- One requirement type belonging to one project.
CREATE TABLE IF NOT EXISTS qmProjectRequirementTypes (
  PROJECTID           INTEGER NOT NULL,
  REQUIREMENTTYPEID   INTEGER NOT NULL,
  PRIMARY KEY (PROJECTID, REQUIREMENTTYPEID)
);
CREATE INDEX IF NOT EXISTS qmProjectRequirementTypes_REQUIREMENTTYPEID
  ON qmProjectRequirementTypes(REQUIREMENTTYPEID);

-- One attribute (user-defined field): label, data type, default value.
CREATE TABLE IF NOT EXISTS qmUserDefinedFields (
  ID                  INTEGER PRIMARY KEY,
  Label               TEXT,
  Rank                INTEGER,
  AutoSuspect         INTEGER,
  Required            INTEGER,
  DataType            INTEGER,
  DefaultValue        TEXT,
  FLAGS               INTEGER,
  DESCRIPTION         TEXT,
  FieldProperties     TEXT,
  QMGUID              TEXT
);
CREATE INDEX IF NOT EXISTS qmUserDefinedFields_QMGUID
  ON qmUserDefinedFields(UPPER(QMGUID));

-- One attribute linked to one requirement type.  Not keyed: links whose
-- attribute could not be resolved may repeat.
CREATE TABLE IF NOT EXISTS qmRequirementTypeFields (
  REQUIREMENTTYPEID   INTEGER NOT NULL,
  USERDEFINEDFIELDID  INTEGER
);
CREATE INDEX IF NOT EXISTS qmRequirementTypeFields_REQUIREMENTTYPEID
  ON qmRequirementTypeFields(REQUIREMENTTYPEID);
CREATE INDEX IF NOT EXISTS qmRequirementTypeFields_USERDEFINEDFIELDID
  ON qmRequirementTypeFields(USERDEFINEDFIELDID);

-- One choice of a List or MultiSelect attribute.
CREATE TABLE IF NOT EXISTS qmUserDefinedListItems (
  ITEMID              INTEGER PRIMARY KEY,
  FIELDID             INTEGER,
  ItemText            TEXT,
  ItemRank            INTEGER,
  QMGUID              TEXT
);
CREATE INDEX IF NOT EXISTS qmUserDefinedListItems_FIELDID
  ON qmUserDefinedListItems(FIELDID);
CREATE INDEX IF NOT EXISTS qmUserDefinedListItems_QMGUID
  ON qmUserDefinedListItems(UPPER(QMGUID));

-- One document type: file extension, template, default requirement type.
CREATE TABLE IF NOT EXISTS qmDocumentTypes (
  ID                      INTEGER PRIMARY KEY,
  NAME                    TEXT,
  DESCRIPTION             TEXT,
  FileExtension           TEXT,
  TemplateName            TEXT,
  TemplateDescription     TEXT,
  TemplateFileName        TEXT,
  TemplateHelpFile        TEXT,
  DefaultRequirementType  INTEGER,
  QMGUID                  TEXT
);
CREATE INDEX IF NOT EXISTS qmDocumentTypes_QMGUID ON qmDocumentTypes(UPPER(QMGUID));

-- One document type belonging to one project.
CREATE TABLE IF NOT EXISTS qmProjectDocumentTypes (
  PROJECTID           INTEGER NOT NULL,
  DocumentTypeID      INTEGER NOT NULL,
  PRIMARY KEY (PROJECTID, DocumentTypeID)
);
CREATE INDEX IF NOT EXISTS qmProjectDocumentTypes_DocumentTypeID
  ON qmProjectDocumentTypes(DocumentTypeID);

------------------------------------------------------------------------
-- Security: groups, users and their rights
------------------------------------------------------------------------

-- One user group with its group-level access rights.
CREATE TABLE IF NOT EXISTS qmUserGroups (
  ID                      INTEGER PRIMARY KEY,
  NAME                    TEXT,
  DESCRIPTION             TEXT,
  PROJECTACCESSRIGHTS     INTEGER,
  DOCTYPEACCESSRIGHTS     INTEGER,
  REQTYPEACCESSRIGHTS     INTEGER,
  ATTRIBUTEACCESSRIGHTS   INTEGER,
  LISTITEMACCESSRIGHTS    INTEGER,
  QMGUID                  TEXT
);
CREATE INDEX IF NOT EXISTS qmUserGroups_QMGUID ON qmUserGroups(UPPER(QMGUID));

-- One user: login, stored password, active flag, name, mail, group.
CREATE TABLE IF NOT EXISTS qmUsers (
  ID                  INTEGER PRIMARY KEY,
  LoginName           TEXT,
  Password            TEXT,
  Active              INTEGER,
  FullName            TEXT,
  EmailAddress        TEXT,
  GroupID             INTEGER,
  QMGUID              TEXT
);
CREATE INDEX IF NOT EXISTS qmUsers_GroupID ON qmUsers(GroupID);
CREATE INDEX IF NOT EXISTS qmUsers_QMGUID ON qmUsers(UPPER(QMGUID));

-- One group's rights on one project (a group takes part in a project
-- through this row).
CREATE TABLE IF NOT EXISTS qmProjectUsers (
  PROJECTID           INTEGER NOT NULL,
  USERGROUPID         INTEGER NOT NULL,
  ACCESSRIGHTS        INTEGER,
  PRIMARY KEY (PROJECTID, USERGROUPID)
);
CREATE INDEX IF NOT EXISTS qmProjectUsers_USERGROUPID
  ON qmProjectUsers(USERGROUPID);

-- One group's rights on one document type of a project.
CREATE TABLE IF NOT EXISTS qmDocumentTypeUsers (
  PROJECTID           INTEGER NOT NULL,
  USERGROUPID         INTEGER,
  DOCUMENTTYPEID      INTEGER,
  ACCESSRIGHTS        INTEGER
);
CREATE INDEX IF NOT EXISTS qmDocumentTypeUsers_PROJECTID
  ON qmDocumentTypeUsers(PROJECTID, USERGROUPID);

-- One group's rights on one requirement type of a project, with separate
-- rights on requirement text, name and traceability.
CREATE TABLE IF NOT EXISTS qmRequirementTypeUsers (
  PROJECTID                 INTEGER NOT NULL,
  USERGROUPID               INTEGER,
  REQUIREMENTTYPEID         INTEGER,
  ACCESSRIGHTS              INTEGER,
  REQTEXTACCESSRIGHTS       INTEGER,
  REQNAMEACCESSRIGHTS       INTEGER,
  TRACEABILITYACCESSRIGHTS  INTEGER
);
CREATE INDEX IF NOT EXISTS qmRequirementTypeUsers_PROJECTID
  ON qmRequirementTypeUsers(PROJECTID, USERGROUPID);

-- One group's rights on one attribute of a project.  Not keyed: an
-- attribute linked to several requirement types carries its rights once
-- under each of them.
CREATE TABLE IF NOT EXISTS qmUserDefinedFieldUsers (
  PROJECTID           INTEGER NOT NULL,
  USERGROUPID         INTEGER,
  FIELDID             INTEGER,
  ACCESSRIGHTS        INTEGER
);
CREATE INDEX IF NOT EXISTS qmUserDefinedFieldUsers_PROJECTID
  ON qmUserDefinedFieldUsers(PROJECTID, USERGROUPID);
CREATE INDEX IF NOT EXISTS qmUserDefinedFieldUsers_FIELDID
  ON qmUserDefinedFieldUsers(FIELDID);

-- One group's rights on one list item of a project (repeats like the
-- attribute rights above).
CREATE TABLE IF NOT EXISTS qmUserDefinedListItemUsers (
  PROJECTID           INTEGER NOT NULL,
  USERGROUPID         INTEGER,
  LISTITEMID          INTEGER,
  ACCESSRIGHTS        INTEGER
);
CREATE INDEX IF NOT EXISTS qmUserDefinedListItemUsers_PROJECTID
  ON qmUserDefinedListItemUsers(PROJECTID, USERGROUPID);
CREATE INDEX IF NOT EXISTS qmUserDefinedListItemUsers_LISTITEMID
  ON qmUserDefinedListItemUsers(LISTITEMID);

-- One group's rights on one package and on the requirements, documents
-- and views it holds.
CREATE TABLE IF NOT EXISTS qmPackageUsers (
  packageid                INTEGER NOT NULL,
  usergroupid              INTEGER NOT NULL,
  packageaccessrights      INTEGER,
  requirementaccessrights  INTEGER,
  documentaccessrights     INTEGER,
  viewaccessrights         INTEGER,
  PRIMARY KEY (packageid, usergroupid)
);
CREATE INDEX IF NOT EXISTS qmPackageUsers_usergroupid
  ON qmPackageUsers(usergroupid);

------------------------------------------------------------------------
-- Documents
------------------------------------------------------------------------

-- One project document: type, name, word-processing flags, file location
-- and stamp, version stamp, offline copy.
CREATE TABLE IF NOT EXISTS qmDocuments (
  ID                  INTEGER PRIMARY KEY,
  DocumentTypeID      INTEGER,
  Name                TEXT,
  Description         TEXT,
  ItemLabel           INTEGER,
  ProtectState        INTEGER,
  UnlockToRevise      INTEGER,
  DeferredRenumber    INTEGER,
  DeferredRestyle     INTEGER,
  FileDirectory       TEXT,
  FileName            TEXT,
  FileExtension       TEXT,
  FileDateTime        TEXT,
  FileSize            INTEGER,
  FileFlags           INTEGER,
  FileVersion         INTEGER,
  VersionNumber       TEXT,
  VersionLabel        TEXT,
  VersionUserID       INTEGER,
  VersionDateTime     TEXT,
  VersionReason       TEXT,
  OfflineFullPath     TEXT,
  OfflineStatus       INTEGER,
  QMGUID              TEXT,
  Flags               INTEGER
);
CREATE INDEX IF NOT EXISTS qmDocuments_DocumentTypeID
  ON qmDocuments(DocumentTypeID);
CREATE INDEX IF NOT EXISTS qmDocuments_QMGUID ON qmDocuments(UPPER(QMGUID));

-- One document belonging to one project.
CREATE TABLE IF NOT EXISTS qmProjectDocuments (
  ProjectID           INTEGER NOT NULL,
  DocumentID          INTEGER NOT NULL,
  PRIMARY KEY (ProjectID, DocumentID)
);
CREATE INDEX IF NOT EXISTS qmProjectDocuments_DocumentID
  ON qmProjectDocuments(DocumentID);

-- One saved revision of a document's version stamp.
CREATE TABLE IF NOT EXISTS qmDocumentHistory (
  DocumentID          INTEGER NOT NULL,
  VersionNumber       TEXT,
  VersionLabel        TEXT,
  VersionUserID       INTEGER,
  VersionDateTime     TEXT,
  VersionReason       TEXT,
  OverflowIND         INTEGER DEFAULT 0,
  Flags               INTEGER
);
CREATE INDEX IF NOT EXISTS qmDocumentHistory_DocumentID
  ON qmDocumentHistory(DocumentID);

-- One value of a document-level attribute (a list item or other related
-- item of the attribute).
CREATE TABLE IF NOT EXISTS QmUserDefinedDocRelValues (
  DOCUMENTID          INTEGER NOT NULL,
  FIELDID             INTEGER,
  RELATEDITEMID       INTEGER
);
CREATE INDEX IF NOT EXISTS QmUserDefinedDocRelValues_DOCUMENTID
  ON QmUserDefinedDocRelValues(DOCUMENTID);

------------------------------------------------------------------------
-- Requirements and their values
------------------------------------------------------------------------

-- One requirement: type, tag, document location, text (or its in-row
-- head when the text overflows), name, version stamp, flags.
CREATE TABLE IF NOT EXISTS qmRequirements (
  ID                  INTEGER PRIMARY KEY,
  RequirementTypeID   INTEGER,
  Tag                 INTEGER,
  LastChildTag        INTEGER,
  BookmarkName        TEXT,
  BookmarkDocumentID  INTEGER,
  DocumentPosition    INTEGER,
  LongTagNumber       TEXT,
  RequirementPrefix   TEXT,
  RequirementName     TEXT,
  RequirementText     TEXT,
  OverflowIND         INTEGER DEFAULT 0,
  Deleted             INTEGER DEFAULT 0,
  VersionNumber       TEXT,
  VersionLabel        TEXT,
  VersionUserID       INTEGER,
  VersionDateTime     TEXT,
  VersionReason       TEXT,
  QMGUID              TEXT,
  Flags               INTEGER,
  LastDocText         INTEGER,
  SuspectDateTime     TEXT
);
-- Extracts walk requirements sorted by type and long tag number.
CREATE INDEX IF NOT EXISTS qmRequirements_Type_LongTag
  ON qmRequirements(RequirementTypeID, LongTagNumber);
CREATE INDEX IF NOT EXISTS qmRequirements_BookmarkDocumentID
  ON qmRequirements(BookmarkDocumentID);
CREATE INDEX IF NOT EXISTS qmRequirements_QMGUID ON qmRequirements(UPPER(QMGUID));

-- One requirement belonging to one project.
CREATE TABLE IF NOT EXISTS qmProjectRequirements (
  ProjectID           INTEGER NOT NULL,
  RequirementID       INTEGER NOT NULL,
  PRIMARY KEY (ProjectID, RequirementID)
);
CREATE INDEX IF NOT EXISTS qmProjectRequirements_RequirementID
  ON qmProjectRequirements(RequirementID);

-- One saved revision of a requirement's version stamp.
CREATE TABLE IF NOT EXISTS qmRequirementHistory (
  RequirementID       INTEGER NOT NULL,
  VersionNumber       TEXT,
  VersionLabel        TEXT,
  VersionUserID       INTEGER,
  VersionDateTime     TEXT,
  VersionReason       TEXT,
  OverflowIND         INTEGER DEFAULT 0,
  Flags               INTEGER
);
CREATE INDEX IF NOT EXISTS qmRequirementHistory_RequirementID
  ON qmRequirementHistory(RequirementID);

-- The full text of one requirement whose text is longer than the in-row
-- column holds (keyed by the requirement's key).
CREATE TABLE IF NOT EXISTS QmOverflowText (
  OverFlowID          INTEGER PRIMARY KEY,
  OverflowText        TEXT
);

-- One attribute value of one requirement (text and numeric form).  Not
-- keyed: an unresolved attribute must not stop the rest of a package.
CREATE TABLE IF NOT EXISTS qmUserDefinedFieldValues (
  REQUIREMENTID       INTEGER NOT NULL,
  FIELDID             INTEGER,
  FieldValue          TEXT,
  OVERFLOWIND         INTEGER DEFAULT 0,
  NumericValue        DOUBLE PRECISION
);
CREATE INDEX IF NOT EXISTS qmUserDefinedFieldValues_REQUIREMENTID
  ON qmUserDefinedFieldValues(REQUIREMENTID, FIELDID);
CREATE INDEX IF NOT EXISTS qmUserDefinedFieldValues_FIELDID
  ON qmUserDefinedFieldValues(FIELDID);

-- The full text of one attribute value longer than its in-row column.
CREATE TABLE IF NOT EXISTS QmOverflowValues (
  OverFlowRequirementID  INTEGER NOT NULL,
  OverFlowFieldID        INTEGER,
  OverflowFieldValue     TEXT
);
CREATE INDEX IF NOT EXISTS QmOverflowValues_Requirement
  ON QmOverflowValues(OverFlowRequirementID, OverFlowFieldID);

-- One chosen list item of a List or MultiSelect attribute of one
-- requirement (a MultiSelect value has one row per chosen item).
CREATE TABLE IF NOT EXISTS qmUserDefinedListValues (
  RequirementID       INTEGER NOT NULL,
  FieldID             INTEGER,
  ListItemID          INTEGER
);
CREATE INDEX IF NOT EXISTS qmUserDefinedListValues_RequirementID
  ON qmUserDefinedListValues(RequirementID, FieldID);
CREATE INDEX IF NOT EXISTS qmUserDefinedListValues_ListItemID
  ON qmUserDefinedListValues(ListItemID);

-- One value of a requirement attribute that relates the requirement to
-- another item.
CREATE TABLE IF NOT EXISTS QmUserDefinedRelValues (
  REQUIREMENTID       INTEGER NOT NULL,
  FIELDID             INTEGER,
  RELATEDITEMID       INTEGER
);
CREATE INDEX IF NOT EXISTS QmUserDefinedRelValues_REQUIREMENTID
  ON QmUserDefinedRelValues(REQUIREMENTID);

-- The full version reason of one history revision longer than its
-- in-row column.  OverFlowHistoryType names the history table
-- ('Project', 'Document' or 'Requirement'), OverFlowID the element.
CREATE TABLE IF NOT EXISTS QmOverflowHistory (
  OverFlowHistoryType    TEXT NOT NULL,
  OverFlowID             INTEGER NOT NULL,
  OverFlowVersionNumber  TEXT,
  OverflowVersionReason  TEXT
);
CREATE INDEX IF NOT EXISTS QmOverflowHistory_Element
  ON QmOverflowHistory(OverFlowHistoryType, OverFlowID, OverFlowVersionNumber);

-- One resource (named bytes, such as an embedded file) of a requirement.
CREATE TABLE IF NOT EXISTS QmResources (
  ID                  INTEGER PRIMARY KEY,
  NAME                TEXT,
  TYPE                TEXT,
  REQUIREMENTID       INTEGER,
  RESOURCEOBJ         BYTEA,
  QMGUID              TEXT,
  Flags               INTEGER,
  VERSIONDATETIME     TEXT
);
CREATE INDEX IF NOT EXISTS QmResources_REQUIREMENTID
  ON QmResources(REQUIREMENTID);
CREATE INDEX IF NOT EXISTS QmResources_QMGUID ON QmResources(UPPER(QMGUID));

------------------------------------------------------------------------
-- Traceability
------------------------------------------------------------------------

-- One trace: requirement RequirementID traces to requirement ToID (each
-- in this project when its external project key is 0).  Not keyed.
CREATE TABLE IF NOT EXISTS QmToRelationships (
  RequirementID        INTEGER NOT NULL,
  ExternalProjectID    INTEGER DEFAULT 0,
  ToID                 INTEGER NOT NULL,
  ExternalProjectToID  INTEGER DEFAULT 0,
  State                INTEGER,
  Type                 INTEGER,
  Name                 TEXT,
  VersionDateTime      TEXT
);
CREATE INDEX IF NOT EXISTS QmToRelationships_RequirementID
  ON QmToRelationships(RequirementID);
CREATE INDEX IF NOT EXISTS QmToRelationships_ToID
  ON QmToRelationships(ToID);

-- One indirect trace (a requirement reached through a chain of traces),
-- kept by the host for trace queries.
CREATE TABLE IF NOT EXISTS QmTraceTableIndir (
  RequirementID        INTEGER NOT NULL,
  ExternalProjectID    INTEGER DEFAULT 0,
  ToID                 INTEGER NOT NULL,
  ExternalProjectToID  INTEGER DEFAULT 0,
  Depth                INTEGER
);
CREATE INDEX IF NOT EXISTS QmTraceTableIndir_RequirementID
  ON QmTraceTableIndir(RequirementID);
CREATE INDEX IF NOT EXISTS QmTraceTableIndir_ToID
  ON QmTraceTableIndir(ToID);

------------------------------------------------------------------------
-- Packages
------------------------------------------------------------------------

-- One package of a project; PARENTID is the parent package's key, NULL
-- for a top-level package.
CREATE TABLE IF NOT EXISTS QmPackages (
  ID                  INTEGER PRIMARY KEY,
  PROJECTID           INTEGER,
  NAME                TEXT,
  DESCRIPTION         TEXT,
  QMGUID              TEXT,
  PARENTID            INTEGER
);
CREATE INDEX IF NOT EXISTS QmPackages_PROJECTID ON QmPackages(PROJECTID);
CREATE INDEX IF NOT EXISTS QmPackages_PARENTID ON QmPackages(PARENTID);
CREATE INDEX IF NOT EXISTS QmPackages_QMGUID ON QmPackages(UPPER(QMGUID));

-- One member of a package: exactly one of DOCUMENTID, VIEWID and
-- REQUIREMENTID is set.
CREATE TABLE IF NOT EXISTS QmPackageElements (
  PACKAGEID           INTEGER NOT NULL,
  DOCUMENTID          INTEGER,
  VIEWID              INTEGER,
  REQUIREMENTID       INTEGER
);
CREATE INDEX IF NOT EXISTS QmPackageElements_PACKAGEID
  ON QmPackageElements(PACKAGEID);
CREATE INDEX IF NOT EXISTS QmPackageElements_DOCUMENTID
  ON QmPackageElements(DOCUMENTID);
CREATE INDEX IF NOT EXISTS QmPackageElements_VIEWID
  ON QmPackageElements(VIEWID);
CREATE INDEX IF NOT EXISTS QmPackageElements_REQUIREMENTID
  ON QmPackageElements(REQUIREMENTID);

-- One package as the package writer reads it: the QmPackages row with
-- its parent named by GUID instead of key (empty for a top-level package).
CREATE OR REPLACE VIEW QmPackage AS
  SELECT p.ID            AS ID,
         p.PROJECTID     AS PROJECTID,
         p.QMGUID        AS QMGUID,
         p.NAME          AS NAME,
         p.DESCRIPTION   AS DESCRIPTION,
         COALESCE(parent.QMGUID, '') AS parentid
    FROM QmPackages AS p
    LEFT JOIN QmPackages AS parent ON parent.ID = p.PARENTID;

------------------------------------------------------------------------
-- Saved views and queries
------------------------------------------------------------------------

-- One saved query: name, owner, time stamp, base type and query text.
CREATE TABLE IF NOT EXISTS QmQueryDefinitions (
  ID                  INTEGER PRIMARY KEY,
  PROJECTID           INTEGER,
  QUERYNAME           TEXT,
  QUERYDESCRIPTION    TEXT,
  QUERYUSERID         INTEGER,
  QUERYDATETIME       TEXT,
  QUERYREASON         TEXT,
  QUERYBASETYPE       INTEGER,
  QUERYSTRING         TEXT,
  QMGUID              TEXT
);
CREATE INDEX IF NOT EXISTS QmQueryDefinitions_PROJECTID
  ON QmQueryDefinitions(PROJECTID);
CREATE INDEX IF NOT EXISTS QmQueryDefinitions_QMGUID
  ON QmQueryDefinitions(UPPER(QMGUID));

-- One saved view: requirement type(s) shown, query(ies), layout
-- properties, owner.
CREATE TABLE IF NOT EXISTS QmViews (
  ID                  INTEGER PRIMARY KEY,
  PROJECTID           INTEGER,
  REQUIREMENTTYPEID   INTEGER,
  SECONDARYREQTYPEID  INTEGER,
  VIEWNAME            TEXT,
  VIEWDESCRIPTION     TEXT,
  VIEWTYPE            INTEGER,
  VISIBILITY          INTEGER,
  PROPERTIES          TEXT,
  QUERYID             INTEGER,
  SECONDARYQUERYID    INTEGER,
  VIEWUSERID          INTEGER,
  VIEWDATETIME        TEXT,
  VIEWREASON          TEXT,
  QMGUID              TEXT,
  FilePath            TEXT
);
CREATE INDEX IF NOT EXISTS QmViews_PROJECTID ON QmViews(PROJECTID);
CREATE INDEX IF NOT EXISTS QmViews_QMGUID ON QmViews(UPPER(QMGUID));

------------------------------------------------------------------------
-- Discussions
------------------------------------------------------------------------

-- One discussion or reply: subject, message, author, state.  A reply
-- names the discussion it answers in ParentID and the thread's first
-- discussion in RootID.
CREATE TABLE IF NOT EXISTS QmDiscussions (
  ID                  INTEGER PRIMARY KEY,
  Subject             TEXT,
  Message             TEXT,
  AuthorID            INTEGER,
  SubmitDateTime      TEXT,
  Status              INTEGER,
  Priority            INTEGER,
  Restricted          INTEGER DEFAULT 0,
  RootID              INTEGER,
  ParentID            INTEGER,
  HasResponses        INTEGER DEFAULT 0,
  QMGUID              TEXT
);
CREATE INDEX IF NOT EXISTS QmDiscussions_ParentID ON QmDiscussions(ParentID);
CREATE INDEX IF NOT EXISTS QmDiscussions_QMGUID ON QmDiscussions(UPPER(QMGUID));

-- One discussion belonging to one project.
CREATE TABLE IF NOT EXISTS QmProjectDiscussions (
  ProjectID           INTEGER NOT NULL,
  DiscussionID        INTEGER NOT NULL,
  PRIMARY KEY (ProjectID, DiscussionID)
);
CREATE INDEX IF NOT EXISTS QmProjectDiscussions_DiscussionID
  ON QmProjectDiscussions(DiscussionID);

-- One requirement a discussion is about.
CREATE TABLE IF NOT EXISTS QmDiscussionRequirements (
  DiscussionID        INTEGER NOT NULL,
  RequirementID       INTEGER NOT NULL
);
CREATE INDEX IF NOT EXISTS QmDiscussionRequirements_DiscussionID
  ON QmDiscussionRequirements(DiscussionID);
CREATE INDEX IF NOT EXISTS QmDiscussionRequirements_RequirementID
  ON QmDiscussionRequirements(RequirementID);

-- One user a discussion is addressed to.
CREATE TABLE IF NOT EXISTS QmDiscussionUsers (
  DiscussionID        INTEGER NOT NULL,
  UserID              INTEGER NOT NULL
);
CREATE INDEX IF NOT EXISTS QmDiscussionUsers_DiscussionID
  ON QmDiscussionUsers(DiscussionID);

-- One user group a discussion is addressed to.
CREATE TABLE IF NOT EXISTS QmDiscussionGroups (
  DiscussionID        INTEGER NOT NULL,
  UserGroupID         INTEGER NOT NULL
);
CREATE INDEX IF NOT EXISTS QmDiscussionGroups_DiscussionID
  ON QmDiscussionGroups(DiscussionID);

-- One user who has read a discussion or reply.
CREATE TABLE IF NOT EXISTS QmDiscussionsRead (
  DiscussionID        INTEGER NOT NULL,
  UserID              INTEGER NOT NULL,
  ReadDateTime        TEXT
);
CREATE INDEX IF NOT EXISTS QmDiscussionsRead_DiscussionID
  ON QmDiscussionsRead(DiscussionID);

------------------------------------------------------------------------
-- Key allocation and scratch space
------------------------------------------------------------------------

-- One key counter: the last key handed out for a class of rows
-- (for example 'Resource').  The allocator creates a missing class row.
CREATE TABLE IF NOT EXISTS QmKeys (
  KeyClass            TEXT PRIMARY KEY,
  LastKey             INTEGER NOT NULL
);

-- One row of scratch data that the host collects for a query or report
-- (a list of keys or texts under a session tag); emptied by its user.
CREATE TABLE IF NOT EXISTS QmGenericTableTemp (
  SessionID           TEXT,
  ItemKey             INTEGER,
  ItemText            TEXT
);
CREATE INDEX IF NOT EXISTS QmGenericTableTemp_SessionID
  ON QmGenericTableTemp(SessionID);
