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

namespace {

// A value as an ordering sees it: its class (nulls, numbers, texts, bytes,
// anything else) and, for a number, its value; found once per value.
struct OrderKey {
  int rank;
  double number;
  const Variant* value;
};

OrderKey OrderKeyOf(const Variant& v) {
  switch (v.Type()) {
    case VarType::Empty:
    case VarType::Null:
      return {0, 0, &v};
    case VarType::String:
      return {2, 0, &v};
    case VarType::ByteArray:
      return {3, 0, &v};
    case VarType::Integer:
    case VarType::Long:
    case VarType::Single:
    case VarType::Double:
    case VarType::Currency:
    case VarType::Date:
    case VarType::Boolean:
      return {1, v.ToDouble(), &v};
    default:
      return {4, 0, &v};
  }
}

int Compare(const OrderKey& a, const OrderKey& b) {
  if (a.rank != b.rank) return a.rank < b.rank ? -1 : 1;
  if (a.rank == 1) return a.number < b.number ? -1 : (b.number < a.number ? 1 : 0);
  if (a.rank == 2) {
    const int order = a.value->Text()->compare(*b.value->Text());
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
  }
  if (a.rank == 3) {
    const auto order = *a.value->Bytes() <=> *b.value->Bytes();
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
  }
  return 0;
}

}  // namespace

void SortRows(Recordset& rs, const std::vector<std::string_view>& columns) {
  std::vector<int> at;
  for (std::string_view column : columns) {
    at.push_back(rs.FieldIndex(column));
    if (at.back() < 0)
      throw Error(eErr_InvalidArgument, "Rows.SortRows",
                  "the set has no column " + std::string(column));
  }
  std::vector<std::vector<Variant>> rows = rs.ReleaseRows();
  // The keys once per row, then one stable sort of row numbers; rows
  // usually come in order already.
  const size_t width = at.size();
  std::vector<OrderKey> keys;
  keys.reserve(rows.size() * width);
  for (const auto& row : rows)
    for (int c : at) keys.push_back(OrderKeyOf(row[static_cast<size_t>(c)]));
  auto less = [&](size_t x, size_t y) {
    for (size_t i = 0; i < width; ++i)
      if (const int order = Compare(keys[x * width + i], keys[y * width + i])) return order < 0;
    return false;
  };
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
