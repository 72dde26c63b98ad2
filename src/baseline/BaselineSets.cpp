// The statements behind the record sets of baseline and report extracts.
//
// "Reqs" holds the requirements of one package, document or view (under the
// alias r), ordered by "r.RequirementTypeID, r.LongTagNumber, r.ID". The
// sets of rows that belong to a requirement (values, history, traces, ...)
// carry that requirement's type and long tag number, by which the writers
// pair them, and come in the same order with the set's own order after it.
// Those sets are read by requirement key without joining the requirements
// again, and are paired and ordered here, in memory, against "Reqs": a
// package's requirements are found through its elements alone, and no
// statement sorts wide rows.
#include "baseline/BaselineSets.h"

#include "host/QueryEvaluator.h"
#include "qmxml/Error.h"
#include "transfer/Rows.h"

#include <string>
#include <unordered_map>
#include <vector>

namespace qmxml::baseline {
namespace {

constexpr const char* kReqOrder = " ORDER BY r.RequirementTypeID, r.LongTagNumber, r.ID";

// A requirement's tag as people read it ("SR12"): prefix and number.
std::string TagOf(const std::string& alias) {
  return alias + ".RequirementPrefix || COALESCE(CAST(" + alias + ".Tag AS TEXT), '')";
}

// FROM and WHERE of the requirements of an extract; ?1 is the element's
// key, ?2 the project's, and a view's query adds its own after them. Every
// statement of an extract is bound to all of them, so one that needs only
// the first still names the second ("?2 IS NOT NULL").
struct ScopeSql {
  std::string from;
  std::string where;
  // The requirements' keys alone: FROM |member_from| WHERE |member_where|
  // names each requirement by |key|. A key "Reqs" does not hold pairs with
  // nothing.
  std::string member_from;
  std::string member_where;
  std::string key = "r.ID";
  // FROM and WHERE of the rows of the members joined with |joins|.
  std::string Members(const std::string& joins) const { return member_from + joins + member_where; }
};

const char* const kProjectRequirements =
    " FROM qmProjectRequirements pr JOIN qmRequirements r ON r.ID = pr.RequirementID";

int32_t KeyOf(const Variant& v) { return v.IsNull() ? 0 : v.ToLong(); }

// A scope whose members are found through the requirements themselves.
ScopeSql Of(const std::string& from, const std::string& where) {
  return {from, where, from, where};
}

// The view's requirements: those of its requirement type that its query
// selects and, when it has a secondary query, those of its secondary type
// that this query selects; a view without a query shows all of its type.
// Deleted requirements never show. The statement's own parameters follow
// ?1 and ?2 in |keys|.
ScopeSql ViewScope(Connection& conn, int32_t view, int32_t project_key,
                   std::vector<Variant>* keys) {
  auto v = conn.Query(
      "SELECT v.VIEWNAME AS VIEWNAME, v.REQUIREMENTTYPEID AS T1, v.SECONDARYREQTYPEID AS T2, "
      "q1.QUERYNAME AS N1, q1.QUERYSTRING AS Q1, q2.QUERYNAME AS N2, q2.QUERYSTRING AS Q2 "
      "FROM QmViews v LEFT JOIN QmQueryDefinitions q1 ON q1.ID = v.QUERYID "
      "LEFT JOIN QmQueryDefinitions q2 ON q2.ID = v.SECONDARYQUERYID WHERE v.ID = ?",
      {Variant(view)});
  std::string where = " WHERE pr.ProjectID = ?2 AND ?1 IS NOT NULL AND COALESCE(r.Deleted, 0) = 0";
  if (v->IsEOF()) return Of(kProjectRequirements, where + " AND 1 = 0");
  // One part per requirement type shown: "r.RequirementTypeID = ?n", and
  // "AND r.ID IN (...)" with its query.
  auto part = [&](const char* type, const char* name, const char* text) {
    keys->push_back(Variant(KeyOf(v->Value(type))));
    std::string sql = "(r.RequirementTypeID = ?" + std::to_string(keys->size());
    const std::string query = v->Value(text).ToText();
    if (!query.empty()) {
      auto parsed = ParseQueryText(conn, project_key, query,
                                   "the query " + v->Value(name).ToText() + " of the view " +
                                       v->Value("VIEWNAME").ToText());
      QuerySelection s =
          SelectionOf(conn, *parsed, project_key, static_cast<int>(keys->size()) + 1);
      keys->insert(keys->end(), s.params.begin(), s.params.end());
      sql += " AND r.ID IN (" + s.sql + ")";
    }
    return sql + ")";
  };
  std::string shown = part("T1", "N1", "Q1");
  if (KeyOf(v->Value("T2")) != 0 && !v->Value("Q2").ToText().empty())
    shown += " OR " + part("T2", "N2", "Q2");
  return Of(kProjectRequirements, where + " AND (" + shown + ")");
}

ScopeSql ScopeOf(Connection& conn, Scope scope, int32_t key, int32_t project_key,
                 std::vector<Variant>* keys) {
  switch (scope) {
    case Scope::kPackage:
      return {" FROM QmPackageElements e JOIN qmRequirements r ON r.ID = e.REQUIREMENTID",
              " WHERE e.PACKAGEID = ?1 AND ?2 IS NOT NULL",
              " FROM QmPackageElements e", " WHERE e.PACKAGEID = ?1 AND ?2 IS NOT NULL",
              "e.REQUIREMENTID"};
    case Scope::kDocument:
      return Of(kProjectRequirements, " WHERE pr.ProjectID = ?2 AND r.BookmarkDocumentID = ?1");
    case Scope::kView:
    default:
      return ViewScope(conn, key, project_key, keys);
  }
}

// The overflow reason of a history row |h| of |kind| ('Requirement',
// 'Document', 'Project') of the element |id|.
std::string OverflowReason(const std::string& kind, const std::string& id) {
  return "CASE WHEN h.OverflowIND <> 0 THEN (SELECT oh.OverflowVersionReason FROM "
         "QmOverflowHistory oh WHERE oh.OverFlowHistoryType = '" + kind +
         "' AND oh.OverFlowID = " + id +
         " AND oh.OverFlowVersionNumber = h.VersionNumber LIMIT 1) END AS OverflowVersionReason";
}

// The columns of a revision row; |user| names its user's UserGuid and
// FullName.
std::string RevisionColumns(
    const std::string& kind, const std::string& id,
    const std::string& user = "u.QMGUID AS UserGuid, u.FullName AS FullName") {
  return "h.VersionNumber AS VersionNumber, h.VersionLabel AS VersionLabel, " + user +
         ", h.VersionDateTime AS VersionDateTime, " + OverflowReason(kind, id) +
         ", h.VersionReason AS VersionReason, h.Flags AS Flags";
}

// A number key of |v|, when it holds one.
bool KeyNumber(const Variant& v, int64_t* out) {
  switch (v.Type()) {
    case VarType::Integer:
    case VarType::Long:
    case VarType::Single:
    case VarType::Double:
      *out = static_cast<int64_t>(v.ToDouble());
      return true;
    default:
      return false;
  }
}

// Columns of a set taken from a name table: |key| names the set's column
// that holds the table's key, |columns| pairs each column of the set with
// the table's column it takes. |required|: a row whose key the table lacks
// is dropped, as an inner join would; otherwise its columns stay NULL.
struct NameFill {
  const NameTable* table;
  const char* key;
  std::vector<std::pair<const char*, int>> columns;
  bool required;
};

void Fill(Recordset& set, const std::vector<NameFill>& fills) {
  if (fills.empty()) return;
  struct Resolved {
    const NameFill* fill;
    int key;
    std::vector<std::pair<int, int>> columns;  // set column, table column
  };
  std::vector<Resolved> resolved;
  for (const NameFill& f : fills) {
    Resolved r{&f, set.FieldIndex(f.key), {}};
    for (auto [name, from] : f.columns) r.columns.emplace_back(set.FieldIndex(name), from);
    resolved.push_back(std::move(r));
  }
  for (std::vector<Variant>& row : set.ReleaseRows()) {
    bool keep = true;
    for (const Resolved& r : resolved) {
      int64_t key = 0;
      const auto it = r.key >= 0 && KeyNumber(row[static_cast<size_t>(r.key)], &key)
                          ? r.fill->table->find(key)
                          : r.fill->table->end();
      if (it == r.fill->table->end()) {
        keep = keep && !r.fill->required;
        continue;
      }
      for (auto [to, from] : r.columns)
        if (to >= 0) row[static_cast<size_t>(to)] = it->second[static_cast<size_t>(from)];
    }
    if (keep) set.AppendRow(std::move(row));
  }
}

// A set of rows that belong to the extract's requirements: |columns| of
// the members joined with |joins| (which name the requirement by the
// scope's key, "{key}" in the text), |where| added to the scope's
// condition, and the set's own |order| within one requirement.
struct PairedSql {
  std::string columns;
  std::string joins;
  std::string where;
  std::vector<std::string> order;
  // Columns taken from a name table after the statement, by a key column
  // the statement reads.
  std::vector<NameFill> fills = {};
};

// Traces in one direction. |near| is the column of QmToRelationships that
// names this extract's requirement, |far| the other end; |near_project|
// and |far_project| their external-project columns. The other end's text
// and name only with |texts| (reports show them). Without |cross_project|
// every other end is in this database, and no linked project is named.
PairedSql TraceSql(bool to, bool cross_project, bool texts) {
  const std::string near = to ? "RequirementID" : "ToID";
  const std::string far = to ? "ToID" : "RequirementID";
  const std::string near_project = to ? "ExternalProjectID" : "ExternalProjectToID";
  const std::string far_project = to ? "ExternalProjectToID" : "ExternalProjectID";
  const std::string id = to ? "ToID" : "ReqFromID";
  const std::string guid = to ? "ToGuid" : "FromGuid";
  const std::string prefix = to ? "ReqToPrefix" : "ReqFromPrefix";
  const std::string version = to ? "ReqToVersionNo" : "ReqFromVersionNo";
  const std::string in_database = "COALESCE(t." + far_project + ", 0) = 0";
  PairedSql sql;
  sql.columns = "t." + far + " AS " + id + ", o.QMGUID AS " + guid + ", " + TagOf("o") +
                " AS " + prefix + ", o.VersionNumber AS " + version + ", " +
                (texts ? "COALESCE(NULLIF(CASE WHEN o.OverflowIND <> 0 THEN (SELECT "
                         "x.OverflowText FROM QmOverflowText x WHERE x.OverFlowID = o.ID) END, "
                         "''), o.RequirementText) AS RequirementText, o.RequirementName AS "
                         "RequirementName, "
                       : "") +
                (cross_project ? "COALESCE(ep.QMGUID, '') AS ExtProjectGuid, "
                                 "COALESCE(pep.Prefix, '') AS ExtProjPrefix, "
                               : "'' AS ExtProjectGuid, '' AS ExtProjPrefix, ") +
                "t.State AS State";
  sql.joins = " JOIN QmToRelationships t ON t." + near + " = {key} AND COALESCE(t." +
              near_project + ", 0) = 0 LEFT JOIN qmRequirements o ON o.ID = t." + far +
              " AND " + in_database;
  if (cross_project)
    sql.joins += " LEFT JOIN qmExternalProjects ep ON ep.ID = t." + far_project +
                 " LEFT JOIN qmProjectExternalProjects pep ON pep.ExternalProjectID = t." +
                 far_project + " AND pep.ProjectID = ?2";
  else
    sql.where = " AND " + in_database;
  sql.order = {"t." + far, "t.Type", "t.State"};
  return sql;
}

// The columns a paired set starts with: the pair filled in from "Reqs", and
// the requirement's key (its place in "Reqs" once paired); the set's own
// order columns follow.
enum PairedColumn { kPairType, kPairLongTag, kPairKey };
constexpr const char* kOrderNames[] = {"PairOrder1", "PairOrder2", "PairOrder3"};

// Pairs sets with the requirements of "Reqs": each row gets its
// requirement's type and long tag number, rows of requirements "Reqs" does
// not hold are dropped, and the rows are put in the order of "Reqs" and then
// of their own order columns.
class ReqPairing {
 public:
  explicit ReqPairing(Recordset& reqs) {
    const int id = reqs.FieldIndex("ID");
    const int type = reqs.FieldIndex("RequirementTypeID");
    const int long_tag = reqs.FieldIndex("LongTagNumber");
    for (reqs.MoveFirst(); !reqs.IsEOF(); reqs.MoveNext()) {
      int64_t key = 0;
      if (!KeyNumber(reqs.RefAt(id), &key)) continue;
      if (rank_.emplace(key, pairs_.size()).second)
        pairs_.push_back({reqs.RefAt(type), reqs.RefAt(long_tag)});
    }
    reqs.MoveFirst();
  }

  // Pairs |set| (read by ReadPaired) in place.
  void Pair(Recordset& set) const {
    for (std::vector<Variant>& row : set.ReleaseRows()) {
      int64_t key = 0;
      if (!KeyNumber(row[kPairKey], &key)) continue;
      auto it = rank_.find(key);
      if (it == rank_.end()) continue;
      row[kPairType] = pairs_[it->second].first;
      row[kPairLongTag] = pairs_[it->second].second;
      row[kPairKey] = Variant(static_cast<int64_t>(it->second));  // now its place in "Reqs"
      set.AppendRow(std::move(row));
    }
    std::vector<std::string_view> order = {"PairKey"};
    for (const char* name : kOrderNames)
      if (set.FieldIndex(name) >= 0) order.push_back(name);
    transfer::SortRows(set, order);
  }

 private:
  std::unordered_map<int64_t, size_t> rank_;
  std::vector<std::pair<Variant, Variant>> pairs_;
};

// Reads the set |sql| of scope |s| for ReqPairing::Pair: the pair columns
// empty, the requirement's key and the order columns first.
std::shared_ptr<Recordset> ReadPaired(Connection& conn, const ScopeSql& s, const PairedSql& sql,
                                      const std::vector<Variant>& keys) {
  auto with_key = [&](std::string text) {
    for (size_t at; (at = text.find("{key}")) != std::string::npos;) text.replace(at, 5, s.key);
    return text;
  };
  if (sql.order.size() > std::size(kOrderNames))
    throw Error(eErr_InvalidArgument, "BaselineSets.ReadPaired", "too many order columns");
  std::string select = "SELECT NULL AS RequirementTypeID, NULL AS LongTagNumber, " + s.key +
                       " AS PairKey, ";
  for (size_t i = 0; i < sql.order.size(); ++i)
    select += with_key(sql.order[i]) + " AS " + kOrderNames[i] + ", ";
  return conn.Query(select + with_key(sql.columns) + s.Members(with_key(sql.joins)) + sql.where,
                    keys);
}

void AddSet(Collection& rows, const char* key, const std::shared_ptr<Recordset>& rs) {
  rows.Add(Variant(ObjectPtr(rs)), key);
}

// The requirements of linked projects that this extract's traces reach, per
// linked project GUID, as the writers' external-requirement tables (key,
// GUID, tag, version, name, text). A linked project whose requirements are
// not in this database gets no table; its traces keep empty details.
std::shared_ptr<Collection> ExternalRequirements(Connection& conn, const ScopeSql& s,
                                                 const std::vector<Variant>& keys) {
  auto tables = std::make_shared<Collection>();
  auto linked = conn.Query(
      "SELECT ep.ID AS ID, ep.QMGUID AS QMGUID FROM qmProjectExternalProjects pep "
      "JOIN qmExternalProjects ep ON ep.ID = pep.ExternalProjectID WHERE pep.ProjectID = ?1 "
      "ORDER BY ep.ID",
      {keys[1]});
  for (; !linked->IsEOF(); linked->MoveNext()) {
    const std::string guid = linked->Value("QMGUID").ToText();
    if (guid.empty() || tables->Contains(guid)) continue;
    // The scope's parameters first, then the linked project's key and GUID.
    std::vector<Variant> params = keys;
    params.push_back(linked->Value("ID"));
    const std::string linked_at = "?" + std::to_string(params.size());
    params.push_back(Variant(guid));
    const std::string guid_at = "?" + std::to_string(params.size());
    auto rs = conn.Query(
        "SELECT q.ID AS Key, q.QMGUID AS GUID, " + TagOf("q") +
            " AS Tag, q.VersionNumber AS Version, q.RequirementName AS Name, "
            "COALESCE(NULLIF(CASE WHEN q.OverflowIND <> 0 THEN (SELECT x.OverflowText FROM "
            "QmOverflowText x WHERE x.OverFlowID = q.ID) END, ''), q.RequirementText) AS Text "
            "FROM qmRequirements q WHERE q.ID IN (SELECT t.ToID" + s.from +
            " JOIN QmToRelationships t ON t.RequirementID = r.ID" + s.where +
            " AND t.ExternalProjectToID = " + linked_at + " UNION SELECT t.RequirementID" +
            s.from + " JOIN QmToRelationships t ON t.ToID = r.ID" + s.where +
            " AND t.ExternalProjectID = " + linked_at +
            ") AND q.ID IN (SELECT pr2.RequirementID FROM "
            "qmProjectRequirements pr2 JOIN qmProjects p2 ON p2.ID = pr2.ProjectID WHERE "
            "p2.QMGUID = " + guid_at + ") ORDER BY q.ID",
        params);
    tables->Add(Variant(ObjectPtr(rs)), guid);
  }
  return tables;
}

const char* const kDocColumns =
    "SELECT d.ID AS ID, d.QMGUID AS DocGuid, d.Name AS Name, d.Description AS Description, "
    "(SELECT p.QMGUID FROM QmPackageElements pe JOIN QmPackages p ON p.ID = pe.PACKAGEID "
    "WHERE pe.DOCUMENTID = d.ID LIMIT 1) AS PackageGUID, dt.QMGUID AS DocTypeGuid, "
    "d.ItemLabel AS ItemLabel, d.ProtectState AS ProtectState, d.UnlockToRevise AS UnlockToRevise, "
    "d.DeferredRenumber AS DeferredRenumber, d.DeferredRestyle AS DeferredRestyle, "
    "d.FileDirectory AS FileDirectory, d.FileName AS FileName, d.FileExtension AS FileExtension, "
    "d.FileDateTime AS FileDateTime, d.FileSize AS FileSize, d.FileFlags AS FileFlags, "
    "d.FileVersion AS FileVersion, d.VersionNumber AS VersionNumber, "
    "d.VersionLabel AS VersionLabel, d.VersionDateTime AS VersionDateTime, "
    "d.VersionReason AS VersionReason, u.QMGUID AS VersionUserGUID, "
    "u.FullName AS VersionUserFullName FROM qmDocuments d "
    "LEFT JOIN qmDocumentTypes dt ON dt.ID = d.DocumentTypeID "
    "LEFT JOIN qmUsers u ON u.ID = d.VersionUserID ";

const char* const kViewColumns =
    "SELECT v.ID AS ID, v.QMGUID AS ViewGuid, v.VIEWNAME AS ViewName, "
    "v.VIEWDESCRIPTION AS ViewDescription, rt.QMGUID AS ReqTypeGuid, "
    "(SELECT p.QMGUID FROM QmPackageElements pe JOIN QmPackages p ON p.ID = pe.PACKAGEID "
    "WHERE pe.VIEWID = v.ID LIMIT 1) AS PackageGUID, v.VISIBILITY AS Visibility, "
    "v.PROPERTIES AS Properties, q.QUERYSTRING AS QueryString, q.QMGUID AS QueryDefGuid, "
    "u.FullName AS FullName, u.QMGUID AS UserGuid, v.VIEWDATETIME AS ViewDateTime, "
    "v.VIEWREASON AS ViewReason, v.VIEWTYPE AS ViewType, "
    "q2.QMGUID AS SecondaryQueryDefGuid, rt2.QMGUID AS SecondaryReqTypeGuid FROM QmViews v "
    "LEFT JOIN qmRequirementTypes rt ON rt.ID = v.REQUIREMENTTYPEID "
    "LEFT JOIN qmRequirementTypes rt2 ON rt2.ID = v.SECONDARYREQTYPEID "
    "LEFT JOIN QmQueryDefinitions q ON q.ID = v.QUERYID "
    "LEFT JOIN QmQueryDefinitions q2 ON q2.ID = v.SECONDARYQUERYID "
    "LEFT JOIN qmUsers u ON u.ID = v.VIEWUSERID ";

}  // namespace

NameTables ReadNameTables(Connection& conn) {
  NameTables names;
  auto read = [&](NameTable& table, const char* sql) {
    auto rs = conn.Query(sql, {});
    for (; !rs->IsEOF(); rs->MoveNext()) {
      int64_t key = 0;
      if (!KeyNumber(rs->RefAt(0), &key)) continue;
      table.emplace(key, std::vector<Variant>{rs->RefAt(1), rs->RefAt(2)});
    }
  };
  read(names.fields, "SELECT ID, QMGUID, Label FROM qmUserDefinedFields");
  read(names.items, "SELECT ITEMID, QMGUID, ItemText FROM qmUserDefinedListItems");
  read(names.users, "SELECT ID, QMGUID, FullName FROM qmUsers");
  return names;
}

std::shared_ptr<Collection> ReadExtractSets(Connection& conn, const NameTables& names,
                                            Scope scope, int32_t key, int32_t project_key,
                                            const SetOptions& options) {
  std::vector<Variant> keys = {Variant(key), Variant(project_key)};
  const ScopeSql s = ScopeOf(conn, scope, key, project_key, &keys);
  auto rows = std::make_shared<Collection>();
  auto add = [&](const char* name, const std::string& sql) {
    AddSet(*rows, name, conn.Query(sql, keys));
  };
  // A package's extracts do not name each requirement's package.
  const std::string reqs_package =
      scope == Scope::kPackage
          ? "NULL"
          : "(SELECT p.QMGUID FROM QmPackageElements pe JOIN QmPackages p ON p.ID = "
            "pe.PACKAGEID WHERE pe.REQUIREMENTID = r.ID LIMIT 1)";

  if (scope == Scope::kPackage) {
    add("PackageInfo",
        "SELECT ID, QMGUID, NAME AS Name, DESCRIPTION AS Description, PARENTID FROM QmPackages "
        "WHERE ID = ?1 AND ?2 IS NOT NULL");
    add("ChildPackages",
        "SELECT QMGUID, NAME AS Name FROM QmPackages WHERE PARENTID = ?1 AND ?2 IS NOT NULL "
        "ORDER BY ID");
    add("PackageSecurity",
        transfer::PackageRightsSql("s.packageid = ?1 AND ?2 IS NOT NULL") +
            " ORDER BY s.usergroupid");
    const std::string docs =
        " JOIN QmPackageElements m ON m.DOCUMENTID = d.ID WHERE m.PACKAGEID = ?1 AND ?2 IS NOT NULL";
    add("DocInfo", kDocColumns + docs + " ORDER BY d.ID");
    add("DocHistory", "SELECT d.QMGUID AS DocGuid, " + RevisionColumns("Document", "d.ID") +
                          " FROM qmDocuments d JOIN qmDocumentHistory h ON h.DocumentID = d.ID "
                          "LEFT JOIN qmUsers u ON u.ID = h.VersionUserID" + docs +
                          " ORDER BY d.ID, h.VersionDateTime, h.VersionNumber");
    add("ViewInfo", kViewColumns +
                        std::string(" JOIN QmPackageElements m ON m.VIEWID = v.ID WHERE "
                                    "m.PACKAGEID = ?1 AND ?2 IS NOT NULL ORDER BY v.ID"));
  } else if (scope == Scope::kDocument) {
    add("DocInfo", kDocColumns + std::string(" WHERE d.ID = ?1 AND ?2 IS NOT NULL"));
  } else {
    add("ViewInfo", kViewColumns + std::string(" WHERE v.ID = ?1 AND ?2 IS NOT NULL"));
  }

  add("Reqs",
      "SELECT r.ID AS ID, r.RequirementTypeID AS RequirementTypeID, "
      "r.LongTagNumber AS LongTagNumber, r.QMGUID AS ReqGUID, r.Tag AS Tag, "
      "r.LastChildTag AS LastChildTag, r.RequirementPrefix AS RequirementPrefix, "
      "CASE WHEN r.OverflowIND <> 0 THEN (SELECT x.OverflowText FROM QmOverflowText x "
      "WHERE x.OverFlowID = r.ID) END AS OverflowText, r.RequirementText AS RequirementText, "
      "r.RequirementName AS RequirementName, r.Flags AS Flags, t.QMGUID AS ReqTypeGuid, "
      + reqs_package + " AS PackageGUID, r.Deleted AS Deleted, "
      "r.BookmarkName AS BookmarkName, d.QMGUID AS DocGuid, "
      "r.BookmarkDocumentID AS BookmarkDocumentID, r.DocumentPosition AS DocumentPosition, "
      "r.LastDocText AS LastDocText, r.SuspectDateTime AS SuspectDateTime" +
          s.from +
          " LEFT JOIN qmRequirementTypes t ON t.ID = r.RequirementTypeID "
          "LEFT JOIN qmDocuments d ON d.ID = r.BookmarkDocumentID" +
          s.where + kReqOrder);
  auto paired = [&](const char* name, const PairedSql& sql) {
    auto set = ReadPaired(conn, s, sql, keys);
    Fill(*set, sql.fills);
    AddSet(*rows, name, set);
  };
  // Fields, list items and users come from |names|: a field value's field
  // and a list value's field and item must exist (the rows of those that do
  // not are left out, as a join leaves them), a revision's user need not.
  paired("ReqsFieldValues",
         {"NULL AS UDFGuid, NULL AS Label, v.FieldValue AS FieldValue, "
          "CASE WHEN v.OVERFLOWIND <> 0 THEN (SELECT ov.OverflowFieldValue FROM "
          "QmOverflowValues ov WHERE ov.OverFlowRequirementID = v.REQUIREMENTID AND "
          "ov.OverFlowFieldID = v.FIELDID LIMIT 1) END AS OverflowFieldValue, "
          "v.NumericValue AS NumericValue",
          " JOIN qmUserDefinedFieldValues v ON v.REQUIREMENTID = {key}",
          "",
          {"v.FIELDID"},
          {{&names.fields, "PairOrder1", {{"UDFGuid", 0}, {"Label", 1}}, true}}});
  paired("ReqsListValues",
         {"NULL AS ListGUID, NULL AS Label, NULL AS ItemText, NULL AS UDFGUID",
          " JOIN qmUserDefinedListValues l ON l.RequirementID = {key}",
          "",
          {"l.FieldID", "l.ListItemID"},
          {{&names.items, "PairOrder2", {{"ListGUID", 0}, {"ItemText", 1}}, true},
           {&names.fields, "PairOrder1", {{"UDFGUID", 0}, {"Label", 1}}, true}}});
  if (options.history)
    paired("ReqsHistory",
           {RevisionColumns("Requirement", "{key}",
                            "NULL AS UserGuid, NULL AS FullName, h.VersionUserID AS UserKey"),
            " JOIN qmRequirementHistory h ON h.RequirementID = {key}",
            "",
            {"h.VersionDateTime", "h.VersionNumber"},
            {{&names.users, "UserKey", {{"UserGuid", 0}, {"FullName", 1}}, false}}});
  if (options.discussions)
    paired("ReqsDisc", {"ds.ID AS DiscID, ds.Subject AS Subject",
                        " JOIN QmDiscussionRequirements dr ON dr.RequirementID = {key} "
                        "JOIN QmDiscussions ds ON ds.ID = dr.DiscussionID",
                        "",
                        {"ds.ID"}});
  if (options.traces || options.cross_project) {
    paired("ReqsTraceTo", TraceSql(true, options.cross_project, options.trace_texts));
    paired("ReqsTraceFrom", TraceSql(false, options.cross_project, options.trace_texts));
  }
  if (options.cross_project)
    rows->Add(Variant(ObjectPtr(ExternalRequirements(conn, s, keys))), "ReqsExtReqsTrace");
  paired("Resources", {"x.REQUIREMENTID AS REQUIREMENTID, x.NAME AS NAME, x.TYPE AS TYPE, "
                       "x.VERSIONDATETIME AS VERSIONDATETIME, x.Flags AS Flags, "
                       "x.QMGUID AS QMGUID, x.RESOURCEOBJ AS RESOURCEOBJ",
                       " JOIN QmResources x ON x.REQUIREMENTID = {key}",
                       "",
                       {"x.ID"}});
  return rows;
}

void PairExtractSets(Collection& sets) {
  if (!sets.Contains("Reqs")) return;
  const ReqPairing pairing(*sets.Get<Recordset>("Reqs"));
  // Every set ReadPaired read, known by its key column.
  for (size_t i = 1; i <= sets.Count(); ++i)
    if (auto rs = sets.Item(i).As<Recordset>(); rs && rs->FieldIndex("PairKey") >= 0)
      pairing.Pair(*rs);
}

std::shared_ptr<Collection> ExtractSets(Connection& conn, Scope scope, int32_t key,
                                        int32_t project_key, const SetOptions& options) {
  auto sets = ReadExtractSets(conn, ReadNameTables(conn), scope, key, project_key, options);
  PairExtractSets(*sets);
  return sets;
}

void CheckViewQueries(Connection& conn, int32_t view, int32_t project_key) {
  std::vector<Variant> keys = {Variant(view), Variant(project_key)};
  ViewScope(conn, view, project_key, &keys);
}

std::shared_ptr<Collection> DiscussionSets(Connection& conn, int32_t project_key) {
  auto rows = std::make_shared<Collection>();
  const std::vector<Variant> keys = {Variant(project_key)};
  auto add = [&](const char* name, const std::string& sql) {
    AddSet(*rows, name, conn.Query(sql, keys));
  };
  // The discussions of the project; a thread's root has no parent. "Discs"
  // holds the roots and every reply that has replies of its own, so that
  // each reply is listed under its real parent.
  const std::string of_project =
      " JOIN QmProjectDiscussions pd ON pd.DiscussionID = ds.ID AND pd.ProjectID = ?1";
  const std::string listed =
      "(ds.ParentID IS NULL OR ds.ParentID = 0 OR COALESCE(ds.HasResponses, 0) <> 0)";
  const std::string roots = of_project + " WHERE " + listed;
  add("Discs",
      "SELECT ds.ID AS DiscID, ds.Subject AS Subject, ds.Message AS Message, "
      "a.QMGUID AS AuthorGuid, a.FullName AS AuthorName, ds.SubmitDateTime AS SubmitDateTime, "
      "ds.Status AS Status, ds.Priority AS Priority, ds.Restricted AS Restricted, "
      "ds.RootID AS RootID, ds.ParentID AS ParentID, ds.HasResponses AS HasResponses "
      "FROM QmDiscussions ds LEFT JOIN qmUsers a ON a.ID = ds.AuthorID" +
          roots + " ORDER BY ds.ID");
  add("DiscReqs",
      "SELECT dr.DiscussionID AS DiscussionID, " + TagOf("r") +
          " AS RequirementPrefix, r.QMGUID AS QMGUID FROM QmDiscussions ds" + of_project +
          " JOIN QmDiscussionRequirements dr ON dr.DiscussionID = ds.ID "
          "JOIN qmRequirements r ON r.ID = dr.RequirementID ORDER BY dr.DiscussionID, dr.RequirementID");
  add("DiscUser",
      "SELECT du.DiscussionID AS DiscID, u.QMGUID AS QMGUID, u.FullName AS FullName "
      "FROM QmDiscussions ds" + of_project +
          " JOIN QmDiscussionUsers du ON du.DiscussionID = ds.ID "
          "JOIN qmUsers u ON u.ID = du.UserID ORDER BY du.DiscussionID, du.UserID");
  add("DiscGroup",
      "SELECT dg.DiscussionID AS DiscID, g.QMGUID AS QMGUID, g.NAME AS Name "
      "FROM QmDiscussions ds" + of_project +
          " JOIN QmDiscussionGroups dg ON dg.DiscussionID = ds.ID "
          "JOIN qmUserGroups g ON g.ID = dg.UserGroupID ORDER BY dg.DiscussionID, dg.UserGroupID");
  add("DiscRead",
      "SELECT dd.DiscussionID AS DiscID, u.QMGUID AS QMGUID, u.FullName AS FullName "
      "FROM QmDiscussions ds" + of_project +
          " JOIN QmDiscussionsRead dd ON dd.DiscussionID = ds.ID "
          "JOIN qmUsers u ON u.ID = dd.UserID WHERE " + listed +
          " ORDER BY dd.DiscussionID, dd.UserID");
  // Replies answer the root or an earlier reply, and are paired with that
  // real parent.
  const std::string replies = of_project + " WHERE ds.ParentID IS NOT NULL AND ds.ParentID <> 0";
  add("DiscReply",
      "SELECT ds.ParentID AS ParentID, ds.ID AS DiscID, ds.Subject AS Subject, "
      "ds.Message AS Message, a.QMGUID AS AuthorGUID, a.FullName AS AuthorName, "
      "ds.SubmitDateTime AS SubmitDateTime, ds.Restricted AS Restricted, ds.RootID AS RootID, "
      "ds.HasResponses AS HasResponses FROM QmDiscussions ds "
      "LEFT JOIN qmUsers a ON a.ID = ds.AuthorID" +
          replies + " ORDER BY ds.ParentID, ds.ID");
  add("DiscReplyRead",
      "SELECT dd.DiscussionID AS DiscID, u.QMGUID AS QMGUID, u.FullName AS FullName "
      "FROM QmDiscussions ds" + of_project +
          " JOIN QmDiscussionsRead dd ON dd.DiscussionID = ds.ID "
          "JOIN qmUsers u ON u.ID = dd.UserID WHERE ds.ParentID IS NOT NULL AND ds.ParentID <> 0 "
          "ORDER BY dd.DiscussionID, dd.UserID");
  return rows;
}

std::shared_ptr<Recordset> ProjectHistoryRows(Connection& conn, int32_t project_key) {
  return conn.Query("SELECT " + RevisionColumns("Project", "h.ProjectID") +
                        " FROM qmProjectHistory h LEFT JOIN qmUsers u ON u.ID = h.VersionUserID "
                        "WHERE h.ProjectID = ?1 ORDER BY h.VersionDateTime, h.VersionNumber",
                    {Variant(project_key)});
}

std::shared_ptr<Recordset> PackageListRows(Connection& conn, int32_t project_key) {
  return conn.Query(
      "WITH RECURSIVE tree(ID, depth) AS ("
      " SELECT ID, 0 FROM QmPackages WHERE PROJECTID = ?1 AND (PARENTID IS NULL OR PARENTID = 0 "
      " OR PARENTID NOT IN (SELECT ID FROM QmPackages WHERE PROJECTID = ?1))"
      " UNION ALL SELECT p.ID, tree.depth + 1 FROM QmPackages p JOIN tree ON p.PARENTID = tree.ID)"
      " SELECT pj.QMGUID AS QmGuid, p.QMGUID AS PackageGUID, p.ID AS ID, p.NAME AS NAME, "
      "p.DESCRIPTION AS DESCRIPTION, p.PARENTID AS PARENTID FROM tree "
      "JOIN QmPackages p ON p.ID = tree.ID JOIN qmProjects pj ON pj.ID = p.PROJECTID "
      "ORDER BY tree.depth, p.ID",
      {Variant(project_key)});
}

}  // namespace qmxml::baseline
