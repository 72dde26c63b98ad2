// The record sets of one extract, as the extract writers take them: one
// statement per set, every requirement set sorted like "Reqs" (requirement
// type, long tag number, key) so that the writers' single forward pass pairs
// each row with its requirement. Only the rows of one package, document or
// view are held at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "movers/baseline/BaseCompWriteXML.h"
#include "qmxml/Collection.h"
#include "qmxml/Connection.h"
#include "qmxml/Recordset.h"

namespace qmxml::baseline {

using movers::baseline::Scope;

// What the requirement sets include besides requirements, values and
// resources.
struct SetOptions {
  bool history = false;
  bool discussions = false;
  bool traces = false;
  bool cross_project = false;
  // Traces carry the other end's text and name (reports show them).
  bool trace_texts = false;
};

// Rows of a small table by key, as read: the requirement sets take names
// and GUIDs from these rather than joining the table to every row.
using NameTable = std::unordered_map<int64_t, std::vector<Variant>>;

// The tables the requirement sets take names and GUIDs from: user-defined
// fields (QMGUID, Label), list items (QMGUID, ItemText) and users (QMGUID,
// FullName), each by key. A run reads them once for all its extracts.
struct NameTables {
  NameTable fields;
  NameTable items;
  NameTable users;
};
NameTables ReadNameTables(Connection& conn);

// The sets of the extract of the element |key| (package, document or view)
// of project |project_key|: "Reqs", "ReqsFieldValues", "ReqsListValues",
// "Resources", and as |options| ask "ReqsHistory", "ReqsDisc",
// "ReqsTraceTo", "ReqsTraceFrom" and "ReqsExtReqsTrace"; for a package also
// "PackageInfo", "ChildPackages", "PackageSecurity", "DocInfo",
// "DocHistory", "ViewInfo"; for a document "DocInfo", for a view
// "ViewInfo". A view's requirements are those of its type that its query
// selects (and of its secondary type that its secondary query selects);
// without a query, all of its type; deleted ones never. A view query that
// cannot be evaluated throws Error eErr_BadQuery.
std::shared_ptr<Collection> ExtractSets(Connection& conn, Scope scope, int32_t key,
                                        int32_t project_key, const SetOptions& options);
// ExtractSets in two steps, for a caller that reads on one thread and
// writes on another: ReadExtractSets runs the statements (on the thread
// that may use |conn|), PairExtractSets pairs the rows of each requirement
// set with "Reqs" and orders them (on any thread, before a writer reads
// the sets).
std::shared_ptr<Collection> ReadExtractSets(Connection& conn, const NameTables& names,
                                            Scope scope, int32_t key, int32_t project_key,
                                            const SetOptions& options);
void PairExtractSets(Collection& sets);

// Throws Error eErr_BadQuery (the query engine's message) when a query of
// view |view| does not parse or names what the project does not have, so
// that a baseline can refuse before it writes anything.
void CheckViewQueries(Connection& conn, int32_t view, int32_t project_key);

// The sets of the discussions document of a project: "Discs" (thread
// roots and every reply that has replies), "DiscReqs", "DiscUser",
// "DiscGroup", "DiscRead", "DiscReply" (every reply, paired by its real
// parent) and "DiscReplyRead", each sorted by its pairing column.
std::shared_ptr<Collection> DiscussionSets(Connection& conn, int32_t project_key);

// The project's revisions, oldest first.
std::shared_ptr<Recordset> ProjectHistoryRows(Connection& conn, int32_t project_key);

// The project's packages for the package list (QmGuid, PackageGUID, ID,
// NAME, DESCRIPTION, PARENTID), parents before children.
std::shared_ptr<Recordset> PackageListRows(Connection& conn, int32_t project_key);

}  // namespace qmxml::baseline
