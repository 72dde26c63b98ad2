// Collection: items under text keys, in the order they were added. Keys
// compare without regard to letter case. Items are found by key or by their
// 1-based position. Used to hand a mover several record sets at once and by
// movers that cache lookups.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "qmxml/Object.h"
#include "qmxml/Variant.h"

namespace qmxml {

class Collection : public Object {
 public:
  std::string TypeName() const override { return "Collection"; }

  // Adds |item| under |key| (empty key: no key). Throws Error 457 when the
  // key is already in use, as the runtime's collection does.
  void Add(Variant item, std::string_view key = {});
  size_t Count() const { return items_.size(); }
  bool Contains(std::string_view key) const;
  // The item under |key|, or Empty when there is none.
  Variant Item(std::string_view key) const;
  // The item at 1-based |position|; throws Error 9 when out of range.
  Variant Item(size_t position) const;
  void Remove(std::string_view key);

  template <class T>
  std::shared_ptr<T> Get(std::string_view key) const {
    return Item(key).As<T>();
  }

 private:
  struct Entry {
    std::string key;
    Variant value;
  };
  std::vector<Entry> items_;
  std::unordered_map<std::string, size_t> index_;  // folded key -> position
};

// Case folding used for keys, field names and GUIDs (ASCII letters only).
std::string FoldCase(std::string_view text);
// The same on |text| in place.
void FoldCaseInPlace(std::string& text);
bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace qmxml
