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

int CompareValues(const Variant& a, const Variant& b) {
  auto rank = [](const Variant& v) {
    switch (v.Type()) {
      case VarType::Empty:
      case VarType::Null:
        return 0;
      case VarType::String:
        return 2;
      case VarType::ByteArray:
        return 3;
      default:
        return v.IsNumeric() ? 1 : 4;
    }
  };
  const int ra = rank(a), rb = rank(b);
  if (ra != rb) return ra < rb ? -1 : 1;
  if (ra == 1) {
    const double x = a.ToDouble(), y = b.ToDouble();
    return x < y ? -1 : (y < x ? 1 : 0);
  }
  if (ra == 2) {
    const int order = a.Text()->compare(*b.Text());
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
  }
  if (ra == 3) {
    const auto order = *a.Bytes() <=> *b.Bytes();
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
  }
  return 0;
}

void SortRows(Recordset& rs, const std::vector<std::string_view>& columns) {
  std::vector<int> at;
  for (std::string_view column : columns) {
    at.push_back(rs.FieldIndex(column));
    if (at.back() < 0)
      throw Error(eErr_InvalidArgument, "Rows.SortRows",
                  "the set has no column " + std::string(column));
  }
  std::vector<std::vector<Variant>> rows = rs.ReleaseRows();
  auto less = [&](size_t x, size_t y) {
    for (int c : at) {
      const auto i = static_cast<size_t>(c);
      if (const int order = CompareValues(rows[x][i], rows[y][i])) return order < 0;
    }
    return false;
  };
  // One stable sort of row numbers; rows usually come in order already.
  std::vector<size_t> order(rows.size());
  for (size_t r = 0; r < rows.size(); ++r) order[r] = r;
  if (!std::is_sorted(order.begin(), order.end(), less))
    std::stable_sort(order.begin(), order.end(), less);
  for (size_t r : order) rs.AppendRow(std::move(rows[r]));
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
