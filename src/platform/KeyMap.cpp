// KeyMap: key allocation through QmKeys and GUID lookups, first in this
// transfer, then in the target database.
#include "qmxml/KeyMap.h"

#include <algorithm>
#include <vector>

#include "qmxml/Collection.h"
#include "qmxml/Connection.h"
#include "qmxml/Error.h"

namespace qmxml {
namespace {

// The last column lists the keys of the rows that belong to one project
// (bound as the only parameter): a package's parent must be a package of
// its own project.
const KeyMap::TypeInfo kTypes[] = {
    {"Project", "qmProjects", "ID", "QmGUID"},
    {"User", "qmUsers", "ID", "QmGUID"},
    {"Group", "qmUserGroups", "ID", "QmGUID"},
    {"RequirementType", "qmRequirementTypes", "ID", "QmGUID"},
    {"DocumentType", "qmDocumentTypes", "ID", "QmGUID"},
    {"UserDefinedField", "qmUserDefinedFields", "ID", "QmGUID"},
    {"UserDefinedListItem", "qmUserDefinedListItems", "ITEMID", "QmGUID"},
    {"Document", "qmDocuments", "ID", "QmGUID"},
    {"Requirement", "qmRequirements", "ID", "QmGUID"},
    {"Package", "QmPackages", "ID", "QmGUID", "SELECT ID FROM QmPackages WHERE PROJECTID = ?"},
    {"View", "QmViews", "ID", "QmGUID"},
    {"Query", "QmQueryDefinitions", "ID", "QmGUID"},
    {"Resource", "QmResources", "ID", "QmGUID"},
};

int32_t AsKey(const Variant& v) { return v.IsNull() ? 0 : v.ToLong(); }

void WriteCounter(Connection& conn, const char* word, int32_t key) {
  conn.Run(
      "INSERT INTO QmKeys (KeyClass, LastKey) VALUES (?, ?) "
      "ON CONFLICT(KeyClass) DO UPDATE SET LastKey = excluded.LastKey",
      {Variant(word), Variant(key)});
}

}  // namespace

const KeyMap::TypeInfo* KeyMap::Lookup(std::string_view type_word) {
  for (const auto& t : kTypes)
    if (EqualsNoCase(t.word, type_word)) return &t;
  return nullptr;
}

std::string KeyMap::MapKey(std::string_view type_word, std::string_view guid) const {
  // Looked up for every reference a reader resolves: one allocation.
  std::string k;
  k.reserve(type_word.size() + 1 + guid.size());
  k.append(type_word).append(1, '|').append(guid);
  FoldCaseInPlace(k);
  return k;
}

int32_t KeyMap::GetNextDBKey(std::string_view type_word, std::string_view guid) {
  const TypeInfo* info = Lookup(type_word);
  if (info == nullptr)
    throw Error(eErr_InvalidArgument, "KeyMap.GetNextDBKey",
                "unknown element type " + std::string(type_word));
  const std::string map_key = MapKey(info->word, guid);
  if (identity_check_) identity_check_(info->word, guid, issued_.count(map_key) != 0);
  auto [it, fresh] = last_.try_emplace(FoldCase(info->word), 0);
  if (fresh) {
    // Never below what the table already holds, whatever QmKeys says.
    int32_t counted = AsKey(connection_->Scalar(
        "SELECT LastKey FROM QmKeys WHERE KeyClass = ?", {Variant(info->word)}));
    int32_t stored = AsKey(connection_->Scalar(
        std::string("SELECT MAX(") + info->key_column + ") FROM " + info->table, {}));
    it->second = std::max(counted, stored);
  }
  int32_t key = ++it->second;
  if (info == &kTypes[0]) project_ = key;
  if (write_through_) WriteCounter(*connection_, info->word, key);
  keys_[map_key] = key;
  if (identity_check_) issued_.insert(map_key);
  ++allocated_;
  return key;
}

void KeyMap::Flush() {
  for (const auto& [folded, key] : last_) {
    for (const auto& t : kTypes)
      if (FoldCase(t.word) == folded) WriteCounter(*connection_, t.word, key);
  }
}

void KeyMap::Remember(std::string_view type_word, std::string_view guid, int32_t key) {
  const TypeInfo* info = Lookup(type_word);
  keys_[MapKey(info ? info->word : type_word, guid)] = key;
}

int32_t KeyMap::getKeyFromGUID(std::string_view type_word, std::string_view guid) {
  int32_t key = FindKeyFromGUID(type_word, guid);
  if (key <= 0) {
    const TypeInfo* info = Lookup(type_word);
    MarkDangling(info ? std::string_view(info->word) : type_word, guid);
  }
  return key;
}

int32_t KeyMap::FindKeyFromGUID(std::string_view type_word, std::string_view guid) {
  const TypeInfo* info = Lookup(type_word);
  std::string_view word = info ? std::string_view(info->word) : type_word;
  auto it = keys_.find(MapKey(word, guid));
  if (it != keys_.end()) return it->second;
  int32_t key = 0;
  if (info != nullptr && !guid.empty() && connection_ != nullptr) {
    std::string sql = std::string("SELECT ") + info->key_column + " FROM " + info->table +
                      " WHERE " + connection_->EqualsNoCaseSql(info->guid_column);
    std::vector<Variant> values{Variant(guid)};
    // Once this transfer made its project, a stored row of a kind that
    // projects own answers only when it is the project's own.
    if (project_ > 0 && info->project_rows != nullptr) {
      sql += std::string(" AND ") + info->key_column + " IN (" + info->project_rows + ")";
      values.emplace_back(project_);
    }
    key = AsKey(connection_->Scalar(sql + " LIMIT 1", values));
  }
  if (key > 0) keys_[MapKey(word, guid)] = key;
  return key > 0 ? key : 0;
}

void KeyMap::MarkDangling(std::string_view what, std::string_view guid) {
  if (!guid.empty()) dangling_[std::string(what)].insert(FoldCase(guid));
}

}  // namespace qmxml
