// Transfer: moves a whole project between a project database and a folder
// of XML documents, by calling the movers of the component in an order
// that lets every reference resolve. This is the component's caller, not a
// part of it: it decides what to move and in which order, selects the rows
// each writer expects, and hands each reader its file, the database
// container and the record sets of the tables it fills.
//
// Folder layout (one file per kind):
//   project.xml, security.xml, structure.xml, permissions.xml,
//   externalprojects.xml, doclist.xml, viewlist.xml, pcklist.xml (the tables
//   of contents), documents/<GUID>.xml, queries.xml, views/<GUID>.xml,
//   packages/<GUID>.XML with the resource files in packages/Resources/,
//   traces.xml.
//
// Saved query texts are converted on a host project opened as one of its
// administrators, whose stored password the password cipher deciphers with
// the key file named by QMXML_KEY_FILE.
//
// An import runs in one transaction on its own connection: on any failure
// it is rolled back and the target database is exactly as before. Before
// the first reader runs, the folder is checked: every document is
// well-formed XML 1.0 without a DOCTYPE, every file name built from data is
// a GUID inside the folder, and each element identity is a GUID that the
// folder holds once.
//
// An export writes into a new folder beside DIR and gives it DIR's name
// only when every file is written, so a folder named DIR is always whole.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "qmxml/DatabaseLocator.h"

namespace qmxml {

using ProgressFn = std::function<void(const std::string&)>;

struct ExportOptions {
  // Key, name or GUID of the project; empty: the only project there is.
  std::string project;
  ProgressFn progress;
  // Replace a DIR that already holds files (else the export refuses it).
  bool force = false;
  // Fail (eErr_LeftOut, nothing written) when a writer had to leave
  // something out: the losses of the summary.
  bool strict = false;
};

struct ExportSummary {
  int32_t project_key = 0;
  std::string project_guid;
  std::string project_name;
  // Files written per kind ("package": 12, ...).
  std::map<std::string, long> files;
  // Documents that hold a control character XML 1.0 cannot carry (left as
  // a character reference, which XML 1.1 readers take), and texts that a
  // NUL character cut short. Both are 0 for a project of ordinary text.
  long documents_with_control_characters = 0;
  long texts_cut_at_nul = 0;
  // What conversions of stored texts had to leave out, per kind: view
  // columns naming an attribute of no requirement type of the project,
  // query texts the query engine did not accept.
  std::map<std::string, long> losses;
};

// Writes the project of |db| into the folder |dir|, as the database
// stood at the start: the export reads inside one transaction. |dir| must
// not exist or be empty, unless options.force. Throws Error on failure;
// |dir| is then as it was.
ExportSummary ExportProject(const DatabaseLocator& db, const std::string& dir,
                            const ExportOptions& options);

struct ImportOptions {
  // Give every imported element a new GUID (a copy of the project).
  bool new_guids = false;
  // Fail when a reference cannot be resolved.
  bool strict = false;
  // How long to wait for another writer of the database to finish.
  int lock_wait_ms = 5000;
  ProgressFn progress;
};

struct ImportSummary {
  int32_t project_key = 0;
  // Rows added per table.
  std::map<std::string, long> rows_added;
  // GUIDs the key map could not resolve, per element type word.
  std::map<std::string, std::set<std::string>> dangling;
  // What the readers stored or left out by rule instead of failing, per
  // kind ("tracker or modelling-tool attribute values left out": 3).
  std::map<std::string, long> read_notes;
  // What conversions of stored texts had to leave out, counted per kind:
  // attributes dropped from view columns, query texts stored empty because
  // they did not convert. Their GUIDs are also among |dangling|.
  std::map<std::string, long> losses;
};

// Reads the folder |dir| into the database |db| (created from the
// schema when it does not exist) as a new project. Throws Error naming the
// file, the element and the reason; the database is then unchanged. With
// kept GUIDs, a project the database already holds is refused (a copy
// needs new GUIDs). With options.strict, unresolved references and
// read_notes fail the import too.
ImportSummary ImportProject(const std::string& dir, const DatabaseLocator& db,
                            const ImportOptions& options);

// Process-wide allocator settings for programs that run transfers: a
// transfer builds and drops many large row sets and documents, and letting
// the allocator keep freed memory instead of handing it back to the system
// (and faulting it in again) saves about a third of an export; backing the
// heap with huge pages saves most of the remaining page faults. Call once,
// early in main; it changes nothing else.
void TuneAllocatorForTransfers();

}  // namespace qmxml
