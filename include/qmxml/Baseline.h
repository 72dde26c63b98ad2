// Baseline: writes read-only extracts of a project into a folder (a
// baseline people archive, compare between releases and hand to auditors),
// and report extracts handed back in memory. Like the transfer driver this
// is the component's caller, not part of it: it selects, for each extract,
// the record sets the extract writers take, sorted the way their single
// forward pass needs, and calls the baseline movers.
//
// Folder layout of a baseline (DIR):
//   BaselineList.XML        the catalogue: header, one entry per extract
//   <package GUID>.XML      one per package (whole project, or --package)
//   <document GUID>.XML     one per --document
//   <view GUID>.XML         one per --view
//   ProjectHistory.XML      the project's revisions (whole project)
//   Discussions.XML         the project's discussions (whole project, with
//                           --discussions)
//   PackageList.XML         the flat package list (whole project)
//   Resources/<GUID>.XML    one per requirement resource
// Every file is written under a temporary name and renamed when complete.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "qmxml/Transfer.h"

namespace qmxml {

struct BaselineOptions {
  // Key, name or GUID of the project; empty: the only project there is.
  std::string project;
  // What to extract, each by key, GUID or name. All empty: the whole
  // project (every package, the project history, the package list and,
  // with |discussions|, the discussions document).
  std::vector<std::string> packages, documents, views;
  std::string label, description;
  bool history = false;        // requirement revisions
  bool discussions = false;    // discussions of requirements (and the document)
  bool traces = false;         // traces within the project
  bool cross_project = false;  // traces, also into linked projects
  ProgressFn progress;
  // Fail (eErr_LeftOut) when a writer had to leave something out.
  bool strict = false;
};

struct BaselineSummary {
  int32_t project_key = 0;
  std::string project_guid;
  std::string project_name;
  // Files written per kind ("package": 12, ...), and requirements listed.
  std::map<std::string, long> files;
  long requirements = 0;
  // What the extract writers had to leave out, per kind and reason.
  std::map<std::string, long> left_out;
};

// Writes the baseline into |dir| (created when missing) and creates or
// updates its BaselineList.XML. Reads one snapshot of the database
// (repeatable read on a server). All or nothing: every file is written into
// a work folder inside |dir| and moved into place, the list last, once all
// are complete; on any failure |dir| is left as it was (a replaced extract
// comes back, a created |dir| goes again). Throws Error for an unknown
// project, package, document or view, for a list of another project
// (eErr_OtherProject), for a "Resources" link leading out of |dir|
// (eErr_OutsideFolder), for a name to replace that is not a regular file
// (eErr_NotRegularFile), and when a file cannot be written.
BaselineSummary WriteBaseline(const DatabaseLocator& db, const std::string& dir,
                              const BaselineOptions& options);

struct ReportOptions {
  std::string project;
  // Exactly one of these names the element (key, GUID or name).
  std::string package, document, view;
  bool docs = false;   // a package's documents
  bool views = false;  // a package's views
  bool reqs = false;   // the requirements with values and traces
  ProgressFn progress;
  // Fail (eErr_LeftOut) when a writer had to leave something out.
  bool strict = false;
};

// The report extract of one package, document or view as XML text, built
// in memory by the report movers (no file is written). Throws Error for an
// unknown element, and with options.strict when something was left out.
// |left_out| (may be null) gets what the writers left out, per kind and
// reason.
std::string WriteReport(const DatabaseLocator& db, const ReportOptions& options,
                        std::map<std::string, long>* left_out = nullptr);

// WriteReport into the file |out|, or to standard output when |out| is ""
// or "-". The file is replaced whole through a new temporary file once the
// report is built; a link, folder, device or FIFO at |out| is refused
// (eErr_NotRegularFile), and so is the database file itself or its key
// file (eErr_OwnDatabase), before anything is read. A failed write of
// standard output throws eErr_OutputFailed.
void WriteReportTo(const DatabaseLocator& db, const ReportOptions& options,
                   const std::string& out, std::map<std::string, long>* left_out = nullptr);

}  // namespace qmxml
