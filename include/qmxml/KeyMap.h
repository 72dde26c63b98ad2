// KeyMap: the GUID-to-key map of one transfer (the database container's
// Keys). A reader asks it for a new key for every row it inserts and for the
// key of every element a row refers to, always with the element type word
// first ("Project", "User", "Requirement", ...) and the GUID second.
//
// New keys come from the QmKeys table (KeyClass = type word, LastKey), never
// below the largest key already stored in that type's table, so they never
// collide with a row of the target database. A lookup answers the key
// recorded in this transfer, else the key of the stored object with that
// GUID, else 0. Once the map has issued a "Project" key (an import made its
// project), a stored package answers only when it belongs to that project:
// a copied package never gets a parent in the project it was copied from. GUIDs compare without regard to letter case. GUIDs that
// answered 0 are remembered so the transfer can report dangling references.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "qmxml/Object.h"

namespace qmxml {

class Connection;

class KeyMap : public Object {
 public:
  explicit KeyMap(Connection* connection) : connection_(connection) {}
  std::string TypeName() const override { return "QmDataMover.Keys"; }

  // A new key for |type_word|, recorded for |guid|. Throws Error
  // eErr_InvalidArgument for an unknown type word.
  int32_t GetNextDBKey(std::string_view type_word, std::string_view guid);
  // The key recorded for |guid|, else the stored object's key, else 0.
  int32_t getKeyFromGUID(std::string_view type_word, std::string_view guid);
  // The same lookup for a caller that tries several type words in turn: a
  // miss is not remembered as a dangling reference. MarkDangling records
  // one when the caller gives up.
  int32_t FindKeyFromGUID(std::string_view type_word, std::string_view guid);
  void MarkDangling(std::string_view what, std::string_view guid);

  // Conversions of stored texts that had to leave something out (an
  // attribute removed from a view, a query text stored empty), counted per
  // kind for the transfer's report.
  void NoteLoss(std::string_view what) { ++losses_[std::string(what)]; }
  const std::map<std::string, long>& Losses() const { return losses_; }

  // By default every new key is written to QmKeys at once. A caller that
  // runs a whole transfer in one transaction may defer the writes and call
  // Flush() before it commits: one row per type instead of one per key.
  void DeferCounterWrites() { write_through_ = false; }
  void Flush();

  // Called by GetNextDBKey with every element identity before a key is
  // issued for it: the type word, the GUID, and whether this map already
  // issued a key for that GUID and type. A caller that reads a folder it
  // does not trust installs a check that throws; by default there is none.
  using IdentityCheck =
      std::function<void(std::string_view type_word, std::string_view guid, bool repeated)>;
  void SetIdentityCheck(IdentityCheck check) { identity_check_ = std::move(check); }

  // Records |key| for |guid| without allocating (a caller that knows it).
  void Remember(std::string_view type_word, std::string_view guid, int32_t key);

  // (type word, GUID) pairs that answered 0, in order of first sight.
  const std::map<std::string, std::set<std::string>>& Dangling() const { return dangling_; }
  size_t Allocated() const { return allocated_; }

  // The table, key column and GUID column of a type word, or nullptr.
  struct TypeInfo {
    const char* word;
    const char* table;
    const char* key_column;
    const char* guid_column;
    // The keys of the rows that belong to one project ("?"), or nullptr
    // for the kinds that projects share.
    const char* project_rows = nullptr;
  };
  static const TypeInfo* Lookup(std::string_view type_word);

 private:
  std::string MapKey(std::string_view type_word, std::string_view guid) const;

  Connection* connection_;
  std::unordered_map<std::string, int32_t> keys_;   // "type|GUID" (folded) -> key
  std::unordered_map<std::string, int32_t> last_;   // folded type -> last key issued
  std::map<std::string, std::set<std::string>> dangling_;
  std::unordered_set<std::string> issued_;  // "type|GUID" of the keys allocated here
  IdentityCheck identity_check_;
  std::map<std::string, long> losses_;
  size_t allocated_ = 0;
  int32_t project_ = 0;  // the project this map issued a key for, or 0
  bool write_through_ = true;
};

}  // namespace qmxml
