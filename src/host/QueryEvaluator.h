// The query evaluator: turns a parsed query (QueryEngine) into one SQL
// statement that selects the keys of the requirements of a project the
// query selects, with every value bound as a parameter. What each subject
// and operator means in terms of the tables is written down in
// docs/query-language.md ("What a query selects"); the statement is built
// so that a SQLite file and a PostgreSQL server give the same answer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/HostServices.h"
#include "qmxml/Connection.h"
#include "qmxml/Variant.h"

namespace qmxml {

// One statement: "SELECT q.ID FROM qmRequirements q WHERE ..." with
// numbered placeholders ?first, ?first+1, ... bound to |params| in order.
// It has no ORDER BY, so it can stand inside "r.ID IN (...)" of a larger
// statement whose own placeholders come before |first|.
struct QuerySelection {
  std::string sql;
  std::vector<Variant> params;
};

// The statement selecting what |query| selects in project |project_key|
// on |conn| (its dialect and the attributes' data types are read from
// it). Deleted requirements are never selected.
QuerySelection SelectionOf(Connection& conn, const ParsedQuery& query,
                           int32_t project_key, int first = 1);

// Parses |text| against project |project_key|: in key form, or in GUID
// form when the key form does not parse and the GUID form does. Throws
// Error eErr_BadQuery with the engine's message (position and reason) when
// it does not parse or names something the project does not have; |what|
// names the query in that message ("the query", "the saved query X").
std::shared_ptr<ParsedQuery> ParseQueryText(Connection& conn, int32_t project_key,
                                            const std::string& text,
                                            const std::string& what = "the query");

// The keys of the requirements |query| selects, in the order extracts
// list requirements (type, long tag number, key).
std::vector<int32_t> EvaluateQuery(Connection& conn, const ParsedQuery& query,
                                   int32_t project_key);

// The statement answering (ID, V): every value V of attribute |attr_key|
// (built-in ones negative) of the requirements |selection| selects, as a
// listing shows it (list items, users, documents and types by name, dates
// as stored), in no particular order. Its parameters are |selection|'s
// followed by its own.
QuerySelection AttributeColumn(Connection& conn, const QuerySelection& selection,
                               int32_t attr_key);

// The attribute keys a query names (built-in ones negative), in order of
// first appearance.
std::vector<int32_t> AttributesNamed(const ParsedQuery& query);

// |text| as text comparisons see it: code 26 as "|", A-Z as a-z.
std::string FoldQueryText(const std::string& text);

// The member name of built-in attribute |key| ("Tag" for -2), or "".
std::string BuiltInMember(int32_t key);

}  // namespace qmxml
