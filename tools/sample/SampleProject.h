// SampleProject: fills an empty project database with one realistic,
// reproducible requirements project, for trying out and measuring the
// export and import of whole projects.
//
// The project touches every table the movers read: project row and
// history, users, groups and every kind of right, requirement types,
// attributes of every data type with list items and defaults, document
// types, documents with history and related values, a package tree several
// levels deep, requirements with attribute and list values, long texts
// kept in the overflow tables, resources with binary content, traces
// (also between packages), saved queries and views, discussions with
// replies and read marks, and links to external projects. Texts are stored
// as the host stores them: CR LF line ends, and "|" held as the character
// with code 26 in the columns that readers insert as SQL text.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qmxml {

class Connection;

struct SampleOptions {
  // Number of requirements; the packages, documents, views, queries and
  // discussions grow with it (about one package per 100 requirements).
  int requirements = 1000;
  // The same seed (and key file) gives the same database content, byte
  // for byte.
  uint32_t seed = 1;
  // Key file of the password cipher the users' passwords are enciphered
  // with; a new key is written there (owner-only, created exclusively)
  // when the file does not exist. Empty: the database path followed by
  // ".key".
  std::string key_file;
  // Told what is being filled, and how far the requirements are, every
  // tenth of the way. May be empty.
  std::function<void(const std::string&)> progress;
};

struct SampleSummary {
  int32_t project_key = 0;
  std::string project_guid;
  // The key file the passwords are enciphered with (written when it was
  // missing).
  std::string key_file;
  // Rows of every table of the database after filling, by table name in
  // alphabetical order.
  std::vector<std::pair<std::string, int64_t>> rows;

  // Rows of |table| (name compared without regard to case); 0 when the
  // table is not listed.
  int64_t Rows(std::string_view table) const;
};

// Fills |conn|, a project database created from the shipped schema and
// holding no project yet, with one sample project of |opts.requirements|
// requirements (at least 1). All rows are written in one transaction (the
// caller's, when one is open); on failure nothing is left behind and the
// Error is passed on. Throws Error eErr_InvalidArgument when the database
// already holds a project or the requirement count is below 1.
SampleSummary FillSampleProject(Connection& conn, const SampleOptions& opts);

}  // namespace qmxml
