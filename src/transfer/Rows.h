// Building the rows a mover call takes: record sets selected from the
// source database for WriteData, and the updatable record sets of target
// tables for ReadData.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "qmxml/Collection.h"
#include "qmxml/Connection.h"
#include "qmxml/Recordset.h"

namespace qmxml::transfer {

// An empty record set with the columns of |table|, bound to |conn| so that
// UpdateBatch inserts its new rows there.
std::shared_ptr<Recordset> TargetRecordset(Connection& conn, const std::string& table);
// A collection of such record sets keyed by table name.
std::shared_ptr<Collection> TargetCollection(Connection& conn,
                                             const std::vector<std::string>& tables);

// The rows of |rs| split by the text of |column|: one record set per value,
// rows in their order in |rs|. One pass; the rows are moved, not copied, so
// |rs| is left empty.
std::unordered_map<std::string, std::shared_ptr<Recordset>> GroupRows(Recordset& rs,
                                                                      std::string_view column);

// A record set holding a copy of the current row of |rs| alone, for the
// writers that read their set to the end but move one element per file.
std::shared_ptr<Recordset> CurrentRowOnly(const Recordset& rs);

// The group rights of packages (qmPackageUsers as "s") whose rows match
// |where|, ordered by group key: usergroupid, the four rights, and the
// GroupName and GroupGUID of the group a row names. Only a group of the
// package's own project is named (its users-and-groups document lists it);
// any other leaves both empty. A package writer takes the names straight
// from its rows. The statement ends with the condition |where|, so that the
// caller can complete it (a key list, an order).
std::string PackageRightsSql(std::string_view where);

// Orders the rows of |rs| by |columns| (the first column first) as a
// database sorts them ascending (nulls first, then numbers by value, then
// texts and then bytes, by their bytes), keeping the order of rows that
// tie; the set is left on its first row. The transfer orders small sets this way
// rather than in SQL: a database sorts with a temporary table per statement,
// which cost a SQLite export 8% of its instructions, and the order is then
// the same on every database.
void SortRows(Recordset& rs, const std::vector<std::string_view>& columns);

// Attaches to every row of |parent| the rows of |child| whose |child_key|
// equals the parent's |parent_key|, as a chapter field named |chapter|.
// Both sets are walked once (hashing), so this stays linear; the rows move
// into the chapters and |child| is left empty.
void AttachChapter(Recordset& parent, std::string_view parent_key, const std::string& chapter,
                   const std::shared_ptr<Recordset>& child, std::string_view child_key);

}  // namespace qmxml::transfer
