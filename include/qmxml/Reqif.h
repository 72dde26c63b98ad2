// Reqif: a project of the database as one ReqIF 1.2 file (the requirements
// interchange format that other requirements tools read and write), and a
// ReqIF file as a new project. This is a caller beside the folder transfer,
// not a mover: it reads and writes the tables itself.
//
// Export: requirement types become SPEC-OBJECT-TYPEs (with ReqIF.ForeignID,
// ReqIF.Name, ReqIF.Text and one ATTRIBUTE-DEFINITION per attribute of the
// type), requirements SPEC-OBJECTs, packages heading objects
// (ReqIF.ChapterName) nested in one SPECIFICATION, traces SPEC-RELATIONs of
// one relation type per trace type. Every IDENTIFIER is derived from the
// GUIDs of the rows it stands for ("_" and the GUID's hex digits), so an
// unchanged project exports to the same bytes (with SOURCE_DATE_EPOCH set)
// and other tools can match objects across exports.
//
// Import: reads the file streaming, in one transaction; an identifier this
// tool wrote gives its GUID back, any other gives a name-based UUID, so the
// same file always gives the same GUIDs. What is inconsistent inside a
// readable file is skipped and counted per kind with its first example
// (--strict fails on it); a file that cannot be read fails with its line and
// column and changes nothing.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "qmxml/Transfer.h"

namespace qmxml {

struct ReqifExportOptions {
  // Key, GUID or name of the project; empty: the only project there is.
  std::string project;
  // Keys, GUIDs or names of packages: only these with their sub-packages
  // and their requirements (and the traces between those). Empty: all.
  std::vector<std::string> packages;
  ProgressFn progress;
};

// Something counted instead of written or read: how often, and the first
// case met, as a user can find it in the file or the database.
struct ReqifNote {
  long count = 0;
  std::string first;
};

struct ReqifExportSummary {
  std::string project_guid;
  std::string project_name;
  // Elements written per kind ("SPEC-OBJECT": 1200, ...).
  std::map<std::string, long> written;
  // What was left out, per kind.
  std::map<std::string, ReqifNote> left_out;
};

// Writes the project of |db| into |file| (replaced when it exists; the
// file is written under "<file>.part" and renamed when complete). A |file|
// ending in ".reqifz" is a zip archive of the ReqIF file and the
// requirements' resources, which the texts name with <xhtml:object>. Reads
// in one snapshot transaction. Throws Error; |file| is then as it was.
ReqifExportSummary ExportReqif(const DatabaseLocator& db, const std::string& file,
                               const ReqifExportOptions& options);

struct ReqifImportOptions {
  bool new_guids = false;
  // Fail on anything skipped or left out.
  bool strict = false;
  int lock_wait_ms = 5000;
  ProgressFn progress;
};

struct ReqifImportSummary {
  int32_t project_key = 0;
  std::string project_guid;
  // Rows added per table.
  std::map<std::string, long> rows_added;
  // What was skipped or could not be carried, per kind.
  std::map<std::string, ReqifNote> skipped;
};

// Reads |file| into |db| (created from the schema when missing) as a
// new project, in one transaction. A zip archive (.reqifz, known by its
// signature) gives its first ReqIF file, and the entries its texts name
// become the requirements' resources. Throws Error (with line and column for
// a file that is not well-formed or not ReqIF); the database is then
// unchanged. With kept GUIDs a project the database already holds is
// refused, as for a folder.
ReqifImportSummary ImportReqif(const std::string& file, const DatabaseLocator& db,
                               const ReqifImportOptions& options);

}  // namespace qmxml
