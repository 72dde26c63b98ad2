// Row builders shared by the export and import sides of a transfer.
#include "transfer/Rows.h"

#include <algorithm>
#include <array>
#include <unordered_map>

#include "qmxml/Error.h"

namespace qmxml::transfer {

std::shared_ptr<Recordset> TargetRecordset(Connection& conn, const std::string& table) {
  auto shape = conn.EmptyRows(table);
  auto rs = std::make_shared<Recordset>(shape->Columns());
  rs->Bind(&conn, table);
  return rs;
}

std::shared_ptr<Collection> TargetCollection(Connection& conn,
                                             const std::vector<std::string>& tables) {
  auto c = std::make_shared<Collection>();
  for (const auto& t : tables) c->Add(Variant(ObjectPtr(TargetRecordset(conn, t))), t);
  return c;
}

std::string PackageRightsSql(std::string_view where) {
  return "SELECT s.usergroupid AS usergroupid, g.NAME AS GroupName, g.QMGUID AS GroupGUID, "
         "s.packageaccessrights AS packageaccessrights, "
         "s.requirementaccessrights AS requirementaccessrights, "
         "s.documentaccessrights AS documentaccessrights, s.viewaccessrights AS viewaccessrights, "
         "s.packageid AS PackageKey "
         "FROM qmPackageUsers s LEFT JOIN qmUserGroups g ON g.ID = s.usergroupid AND g.ID IN "
         "(SELECT pu.USERGROUPID FROM qmProjectUsers pu JOIN QmPackages p "
         "ON p.PROJECTID = pu.PROJECTID WHERE p.ID = s.packageid) WHERE " +
         std::string(where);
}

void SortRows(Recordset& rs, const std::vector<std::string_view>& columns) {
  constexpr size_t kMaxKeys = 3;
  if (columns.size() > kMaxKeys)
    throw Error(eErr_InvalidArgument, "Rows.SortRows", "at most three columns order a set");
  std::array<int, kMaxKeys> at{};
  for (size_t i = 0; i < columns.size(); ++i) {
    at[i] = rs.FieldIndex(columns[i]);
    if (at[i] < 0)
      throw Error(eErr_InvalidArgument, "Rows.SortRows",
                  "the set has no column " + std::string(columns[i]));
  }
  using Key = std::array<int64_t, kMaxKeys>;
  auto key_of = [&](auto&& value_at) {
    Key key{};
    for (size_t i = 0; i < columns.size(); ++i) {
      const Variant& v = value_at(at[i]);
      key[i] = v.IsNull() || v.IsEmpty() || !v.IsNumeric() ? 0 : v.ToLong();
    }
    return key;
  };
  // Rows usually come in order already: then the set stays as it is.
  bool ordered = true, first = true;
  Key previous{};
  for (rs.MoveFirst(); ordered && !rs.IsEOF(); rs.MoveNext(), first = false) {
    const Key key = key_of([&](int c) -> const Variant& { return rs.RefAt(c); });
    ordered = first || !(key < previous);
    previous = key;
  }
  rs.MoveFirst();
  if (ordered) return;
  // The keys once per row, then one stable sort of row numbers.
  std::vector<std::vector<Variant>> rows = rs.ReleaseRows();
  std::vector<std::pair<Key, size_t>> keys(rows.size());
  for (size_t r = 0; r < rows.size(); ++r)
    keys[r] = {key_of([&](int c) -> const Variant& { return rows[r][static_cast<size_t>(c)]; }), r};
  std::stable_sort(keys.begin(), keys.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& [key, r] : keys) rs.AppendRow(std::move(rows[r]));
  rs.MoveFirst();
}

std::unordered_map<std::string, std::shared_ptr<Recordset>> GroupRows(Recordset& rs,
                                                                      std::string_view column) {
  std::unordered_map<std::string, std::shared_ptr<Recordset>> groups;
  int key_col = rs.FieldIndex(column);
  if (key_col < 0) throw Error(eErr_InvalidArgument, "Rows.GroupRows", "the set has no column " + std::string(column));
  std::string key;
  std::shared_ptr<Recordset>* group = nullptr;
  for (auto& row : rs.ReleaseRows()) {
    std::string k = row[static_cast<size_t>(key_col)].ToText();
    if (group == nullptr || k != key) {  // rows usually come sorted by key
      key = k;
      group = &groups[key];
      if (!*group) *group = std::make_shared<Recordset>(rs.Columns());
    }
    (*group)->AppendRow(std::move(row));
  }
  for (auto& [k, g] : groups) g->MoveFirst();
  return groups;
}

std::shared_ptr<Recordset> CurrentRowOnly(const Recordset& rs) {
  std::vector<Variant> row;
  for (size_t c = 0; c < rs.Columns().size(); ++c) row.push_back(rs.ValueAt(static_cast<int>(c)));
  auto one = std::make_shared<Recordset>(rs.Columns());
  one->AppendRow(std::move(row));
  return one;
}

void AttachChapter(Recordset& parent, std::string_view parent_key, const std::string& chapter,
                   const std::shared_ptr<Recordset>& child, std::string_view child_key) {
  auto groups = GroupRows(*child, child_key);
  if (parent.FieldIndex(chapter) < 0)
    throw Error(eErr_InvalidArgument, "Rows.AttachChapter", "the parent set has no column " + chapter);
  int pkey = parent.FieldIndex(parent_key);
  for (parent.MoveFirst(); !parent.IsEOF(); parent.MoveNext()) {
    auto it = groups.find(parent.ValueAt(pkey).ToText());
    auto set = it != groups.end() ? it->second : std::make_shared<Recordset>(child->Columns());
    set->MoveFirst();
    parent.Set(chapter, Variant(ObjectPtr(set)));
  }
  parent.MoveFirst();
}
}  // namespace qmxml::transfer
