// Recordset: rows of a query or of a table, held in memory, with a current
// row. Movers read one from wherever the caller left it to the end, write
// new rows through AddNew and Fields-by-name, and send them to the bound
// table with UpdateBatch.
//
// Field names compare without regard to case ("QMGUID" is "QmGUID"). A
// field of type Object holds a child record set (a chapter). Filter accepts
// the "(Column= value)" form, also several joined by AND; an empty filter
// clears it. Filters on one column are served from a hash index that is
// built on first use, so filtering a large child set per parent row stays
// linear overall.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "qmxml/Object.h"
#include "qmxml/Variant.h"

namespace qmxml {

class Connection;
class Recordset;

struct Column {
  std::string name;
  VarType type = VarType::String;
};

// A field of the current row: its name, type and value. Obtained from
// Recordset::Field; a field that does not exist reports Exists() false and
// an Empty value.
class Field {
 public:
  Field() = default;
  Field(const Recordset* rs, int index) : rs_(rs), index_(index) {}
  bool Exists() const { return rs_ != nullptr && index_ >= 0; }
  const std::string& Name() const;
  VarType Type() const;
  Variant Value() const;

 private:
  const Recordset* rs_ = nullptr;
  int index_ = -1;
};

class Recordset : public Object {
 public:
  explicit Recordset(std::vector<Column> columns);
  Recordset(const Recordset&) = delete;
  Recordset& operator=(const Recordset&) = delete;

  std::string TypeName() const override { return "ADODB.Recordset"; }

  // Structure.
  const std::vector<Column>& Columns() const { return columns_; }
  int FieldIndex(std::string_view name) const;  // -1 when missing
  Field GetField(std::string_view name) const { return Field(this, FieldIndex(name)); }

  // Rows, for whoever fills the set (queries, tests). Appending keeps the
  // current position; the first row appended to an empty set becomes current.
  void AppendRow(std::vector<Variant> values);
  size_t RowCount() const { return rows_.size(); }  // ignores the filter
  // Hands all rows over to the caller (no copies) and leaves the set empty,
  // for whoever rebuilds rows into other sets.
  std::vector<std::vector<Variant>> ReleaseRows();

  // Navigation over the rows the filter lets through.
  bool IsEOF() const { return pos_ < 0 || static_cast<size_t>(pos_) >= visible_count(); }
  bool IsBOF() const { return pos_ < 0 || visible_count() == 0; }
  void MoveFirst() { pos_ = 0; }
  void MoveNext();
  void MoveLast();
  size_t RecordCount() const { return visible_count(); }

  // Values of the current row. Throws Error 3265 for a missing field and
  // Error 3021 when there is no current row.
  Variant Value(std::string_view name) const;
  Variant ValueAt(int index) const;
  // The value itself, without a copy; valid until the set changes. Same
  // errors as ValueAt.
  const Variant& RefAt(int index) const;
  // The value of |name| or Empty when the field is missing or there is no
  // current row.
  Variant ValueOr(std::string_view name) const;
  // Chapter: the child record set held in field |name|, or nullptr.
  std::shared_ptr<Recordset> Chapter(std::string_view name) const;

  // Changes. AddNew appends a row (all Empty) and makes it current; Set
  // assigns a field of the current row. UpdateBatch inserts every row added
  // since the last batch into the bound table; without a binding the rows
  // just stay in memory.
  void AddNew();
  void Set(std::string_view name, Variant value);
  void Update() {}
  void UpdateBatch();
  void Bind(Connection* connection, std::string table) {
    connection_ = connection;
    table_ = std::move(table);
  }
  const std::string& BoundTable() const { return table_; }
  size_t PendingRows() const { return rows_.size() - first_pending_; }

  // Filter "(Column= value)"; "" clears it. The position moves to the first
  // row that passes. Throws Error 3001 for a filter it cannot read.
  void SetFilter(std::string_view filter);
  const std::string& Filter() const { return filter_text_; }

  // Bookmarks name a row independent of the filter.
  using Bookmark = size_t;
  Bookmark GetBookmark() const;
  void SetBookmark(Bookmark b);

 private:
  friend class Field;
  size_t visible_count() const { return filtered_ ? visible_.size() : rows_.size(); }
  size_t row_index() const;  // physical row of the current position
  const std::vector<size_t>& IndexFor(int column, const std::string& key);

  std::vector<Column> columns_;
  // Field names without regard to case, found without building a folded copy.
  struct NoCaseHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const;
  };
  struct NoCaseEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
  };
  std::unordered_map<std::string, int, NoCaseHash, NoCaseEqual> by_name_;
  // Callers name fields with string literals, the same few for every row: a
  // small cache keyed by the address of the name skips the hashing for
  // those. A hit is checked against the field's name, so a reused buffer
  // holding another name only costs a lookup.
  struct NameHit {
    const char* data = nullptr;
    int index = -1;
  };
  mutable std::array<NameHit, 64> name_hits_{};
  std::vector<std::vector<Variant>> rows_;
  long pos_ = 0;
  bool filtered_ = false;
  std::vector<size_t> visible_;
  std::string filter_text_;
  // Rows by value of one column, built on demand for filters. Columns that
  // hold only whole numbers (keys, the usual filter) are indexed by number,
  // which costs no text per row.
  struct ColumnIndex {
    bool numeric = false;
    std::unordered_map<int64_t, std::vector<size_t>> by_number;
    std::unordered_map<std::string, std::vector<size_t>> by_text;
  };
  std::unordered_map<int, ColumnIndex> indexes_;
  size_t indexed_rows_ = 0;
  Connection* connection_ = nullptr;
  std::string table_;
  size_t first_pending_ = 0;
};

using RecordsetPtr = std::shared_ptr<Recordset>;

}  // namespace qmxml
