// The attributes of an element, described once: a constant table lists
// them in document order, each with the column of the row it is written
// from (none where the mover computes it) and the value rule. The writer
// walks the table for every row; the positional reader finds each
// attribute at the position the table gives its name, and a name the table
// does not hold fails to compile. So what the writer sets and where the
// reader looks cannot drift apart.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "xml/TextWriter.h"
#include "xml/XmlDoc.h"

namespace qmxml::xml {

struct AttrSpec {
  const char* name;
  const char* column = nullptr;  // nullptr: the mover computes the text
  int type = kString;            // the rule of SetColumnAttr (kString, kLong, kBoolean)
};

template <size_t N>
struct AttrTable {
  AttrSpec attrs[N];

  static constexpr size_t size() { return N; }
  // The position of |name|; no constant (a compile error) for a name the
  // table does not hold.
  consteval size_t At(std::string_view name) const {
    for (size_t i = 0; i < N; ++i)
      if (name == attrs[i].name) return i;
    throw "the table holds no attribute of this name";
  }
};
template <size_t N>
AttrTable(const AttrSpec (&)[N]) -> AttrTable<N>;

// Writes the attributes of |table| from the current row of one record set.
// The columns are found once, when it is made, not for every row.
template <size_t N>
class AttrWriter {
 public:
  AttrWriter(const AttrTable<N>& table, const Recordset& rs) : table_(table), rs_(rs) {
    for (size_t i = 0; i < N; ++i)
      fields_[i] = table.attrs[i].column ? rs.FieldIndex(table.attrs[i].column) : -1;
  }
  // Appends all attributes to |element| in table order; |computed(i)| gives
  // the text of attribute i when it has no column.
  template <class Computed>
  void Write(pugi::xml_node element, Computed&& computed) const {
    Each(computed, [&](const char* name, std::string_view text) { SetAttr(element, name, text); });
  }
  // The same into the element just opened in |w|.
  template <class Computed>
  void Write(TextWriter& w, Computed&& computed) const {
    Each(computed, [&](const char* name, std::string_view text) { w.Attr(name, text); });
  }
  // Without computed attributes (they are left empty).
  template <class Element>
  void Write(Element&& element) const {
    Write(element, [](size_t) { return std::string_view(); });
  }

 private:
  // Hands |set| each attribute's name and text in table order.
  template <class Computed, class Set>
  void Each(Computed& computed, Set&& set) const {
    std::string scratch;
    for (size_t i = 0; i < N; ++i) {
      const AttrSpec& a = table_.attrs[i];
      if (a.column == nullptr)
        set(a.name, computed(i));
      else
        set(a.name, ColumnAttrText(rs_, fields_[i], a.type, scratch));
    }
  }

  const AttrTable<N>& table_;
  const Recordset& rs_;
  std::array<int, N> fields_;
};

// An attribute name of |kTable|, turned into its position when the code is
// compiled (implicitly, so that a reader passes the name itself).
template <const auto& kTable>
struct AttrAt {
  consteval AttrAt(const char* name) : index(kTable.At(name)) {}  // NOLINT
  size_t index;
};

// The attributes of one element by the positions of |kTable|: position n
// is the n-th attribute of the element, whatever its name. A position the
// element does not reach gives an empty attribute (the rules below then
// give their value for a missing one).
template <const auto& kTable>
class AttrRow {
 public:
  explicit AttrRow(pugi::xml_node element) {
    pugi::xml_attribute a = element.first_attribute();
    for (size_t i = 0; a && i < attrs_.size(); ++i, a = a.next_attribute()) attrs_[i] = a;
  }
  pugi::xml_attribute operator[](AttrAt<kTable> at) const { return attrs_[at.index]; }
  pugi::xml_attribute Attr(size_t i) const { return attrs_[i]; }  // i < kTable.size()
  // The text rule and the value rules of AttributeValue.
  std::string Text(AttrAt<kTable> at) const {
    return AttributeValue(attrs_[at.index], kString).ToText();
  }
  Variant Value(AttrAt<kTable> at, int type) const {
    return AttributeValue(attrs_[at.index], type);
  }

 private:
  std::array<pugi::xml_attribute, kTable.size()> attrs_{};
};

}  // namespace qmxml::xml
