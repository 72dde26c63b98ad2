// Collection: keyed items in insertion order, keys folded to upper case.
#include "qmxml/Collection.h"

#include "qmxml/Error.h"

namespace qmxml {

void FoldCaseInPlace(std::string& text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
}

std::string FoldCase(std::string_view text) {
  std::string out(text);
  FoldCaseInPlace(out);
  return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  if (a == b) return true;  // names are mostly spelled as declared
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

void Collection::Add(Variant item, std::string_view key) {
  if (!key.empty()) {
    auto folded = FoldCase(key);
    if (index_.count(folded))
      throw Error(eErr_KeyInUse, "Collection.Add", "This key is already associated with an element of this collection");
    index_.emplace(std::move(folded), items_.size());
  }
  items_.push_back({std::string(key), std::move(item)});
}

bool Collection::Contains(std::string_view key) const { return index_.count(FoldCase(key)) > 0; }

Variant Collection::Item(std::string_view key) const {
  auto it = index_.find(FoldCase(key));
  return it == index_.end() ? Variant() : items_[it->second].value;
}

Variant Collection::Item(size_t position) const {
  if (position < 1 || position > items_.size())
    throw Error(eErr_SubscriptRange, "Collection.Item", "Subscript out of range");
  return items_[position - 1].value;
}

void Collection::Remove(std::string_view key) {
  auto it = index_.find(FoldCase(key));
  if (it == index_.end()) return;
  size_t pos = it->second;
  items_.erase(items_.begin() + static_cast<long>(pos));
  index_.erase(it);
  for (auto& [k, p] : index_)
    if (p > pos) --p;
}

}  // namespace qmxml
