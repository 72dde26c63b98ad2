// Query: runs a query of a project (a saved one, or a text) and lists the
// requirements it selects, for the command line and other callers. The
// query language and what each of its conditions selects are described in
// docs/query-language.md.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "qmxml/DatabaseLocator.h"

namespace qmxml {

struct QueryOptions {
  // Key, name or GUID of the project; empty: the only project there is.
  std::string project;
  // Exactly one of: a saved query of the project (key, GUID or name) ...
  std::string saved;
  // ... or a query text, in key form or GUID form.
  std::string text;
};

struct QueryListing {
  std::string project_name;
  std::string query;  // the query in key form, as the engine prints it
  // "Tag", "Name", "Type", "Document", then one column per attribute the
  // query names (its label; "Req." and the member name for a built-in one;
  // the key in brackets after a name that is taken already).
  std::vector<std::string> columns;
  // One row per selected requirement, in the order extracts list them
  // (type, long tag number, key); the distinct values of one attribute
  // are joined with "; ".
  std::vector<std::vector<std::string>> rows;
};

// Runs the query on the database |db|, reading
// in one transaction. Throws Error: eErr_BadQuery with the query engine's
// message (position and reason) for a query that does not parse or names
// what the project does not have, eErr_NoSuchQuery for an unknown saved
// query, eErr_InvalidArgument unless exactly one of |saved| and |text| is
// given, and the errors of opening the database and choosing the project.
QueryListing ListQuery(const DatabaseLocator& db, const QueryOptions& options);

}  // namespace qmxml
