// The listing behind `qmxml query`: chooses the project and the query,
// evaluates it (platform/QueryEvaluator) and fetches, per column, the
// values of the selected requirements with one statement each.
#include <algorithm>
#include <map>

#include "host/QueryEvaluator.h"
#include "qmxml/Error.h"
#include "qmxml/ProjectDatabase.h"
#include "qmxml/Query.h"
#include "transfer/TransferSteps.h"

namespace qmxml {
namespace {

constexpr const char* kSource = "qmxml.query";

// The saved query's text, by key, GUID or name; one must match.
std::string SavedQueryText(Connection& conn, int32_t project_key,
                           const std::string& which, std::string* name) {
  auto rs = conn.Query(
      "SELECT ID, QUERYNAME, QUERYSTRING FROM QmQueryDefinitions WHERE PROJECTID = ? AND "
      "(CAST(ID AS TEXT) = ? OR UPPER(QMGUID) = UPPER(?) OR QUERYNAME = ?) ORDER BY ID",
      {Variant(project_key), Variant(which), Variant(which), Variant(which)});
  if (rs->IsEOF())
    throw Error(eErr_NoSuchQuery, kSource,
                "the project holds no saved query with key, GUID or name " + which);
  if (rs->RecordCount() > 1)
    throw Error(eErr_NoSuchQuery, kSource,
                "the project holds " + std::to_string(rs->RecordCount()) +
                    " saved queries named " + which + "; choose one by key or GUID");
  *name = rs->Value("QUERYNAME").ToText();
  return rs->Value("QUERYSTRING").ToText();
}

// The column of attribute |key|: its label, a built-in one's member name
// after "Req.", and the key in brackets when that name is taken already
// (JSON objects need distinct names).
std::string ColumnName(Connection& conn, int32_t key,
                       const std::vector<std::string>& taken) {
  std::string name =
      key < 0 ? "Req." + BuiltInMember(key)
              : conn.Scalar("SELECT Label FROM qmUserDefinedFields WHERE ID = ?",
                            {Variant(key)})
                    .ToText();
  if (std::find(taken.begin(), taken.end(), name) != taken.end())
    name += " [" + std::to_string(key) + "]";
  return name;
}

// Rolls back the reading transaction however the listing ends.
struct Reading {
  Connection& conn;
  explicit Reading(Connection& c) : conn(c) { conn.BeginSnapshot(); }
  ~Reading() {
    try {
      conn.Rollback();
    } catch (...) {
    }
  }
  Reading(const Reading&) = delete;
  Reading& operator=(const Reading&) = delete;
};

}  // namespace

QueryListing ListQuery(const DatabaseLocator& db, const QueryOptions& options) {
  if (options.saved.empty() == options.text.empty())
    throw Error(eErr_InvalidArgument, kSource,
                "a query needs exactly one of --saved and --text");
  auto conn = OpenProjectDatabase(db);
  Reading reading(*conn);
  transfer::ExportContext ctx;
  ctx.conn = conn.get();
  QueryListing out;
  transfer::ChooseProject(*conn, options.project, &ctx, &out.project_name);

  std::string text = options.text, what = "the query";
  if (!options.saved.empty()) {
    std::string name;
    text = SavedQueryText(*conn, ctx.project_key, options.saved, &name);
    what = "the saved query " + name;
  }
  auto parsed = ParseQueryText(*conn, ctx.project_key, text, what);
  out.query = parsed->QueryString(kKeyForm);
  const QuerySelection selection = SelectionOf(*conn, *parsed, ctx.project_key);

  auto rs = conn->Query(
      "SELECT r.ID AS ID, COALESCE(r.RequirementPrefix, '') || COALESCE(CAST(r.Tag AS "
      "TEXT), '') "
      "AS Tag, r.RequirementName AS Name, t.NAME AS Type, d.Name AS Document "
      "FROM qmRequirements r LEFT JOIN qmRequirementTypes t ON t.ID = "
      "r.RequirementTypeID "
      "LEFT JOIN qmDocuments d ON d.ID = r.BookmarkDocumentID WHERE r.ID IN (" +
          selection.sql + ") ORDER BY r.RequirementTypeID, r.LongTagNumber, r.ID",
      selection.params);
  out.columns = {"Tag", "Name", "Type", "Document"};
  std::map<int32_t, size_t> row_of;
  for (; !rs->IsEOF(); rs->MoveNext()) {
    row_of[rs->Value("ID").ToLong()] = out.rows.size();
    out.rows.push_back({rs->Value("Tag").ToText(), rs->Value("Name").ToText(),
                        rs->Value("Type").ToText(), rs->Value("Document").ToText()});
  }
  for (int32_t attr : AttributesNamed(*parsed)) {
    out.columns.push_back(ColumnName(*conn, attr, out.columns));
    for (auto& row : out.rows) row.emplace_back();
    const size_t column = out.columns.size() - 1;
    const QuerySelection values = AttributeColumn(*conn, selection, attr);
    auto vs = conn->Query(values.sql + " ORDER BY 1, 2", values.params);
    for (; !vs->IsEOF(); vs->MoveNext()) {
      auto it = row_of.find(vs->Value("ID").ToLong());
      if (it == row_of.end()) continue;
      // Values come sorted, so a repeated one (two traces to one type)
      // follows its twin.
      std::string& cell = out.rows[it->second][column];
      const std::string value = vs->Value("V").ToText();
      const size_t last = cell.rfind("; ");
      if (cell == value || (last != std::string::npos &&
                            cell.compare(last + 2, std::string::npos, value) == 0))
        continue;
      cell += (cell.empty() ? "" : "; ") + value;
    }
  }
  return out;
}

}  // namespace qmxml
