// Recordset: in-memory rows with a current position, filters served from
// per-column hash indexes, and batch insertion into the bound table.
#include "qmxml/Recordset.h"

#include <algorithm>
#include <cstdlib>

#include "qmxml/Collection.h"
#include "qmxml/Connection.h"
#include "qmxml/Error.h"

namespace qmxml {
namespace {

[[noreturn]] void NoField(std::string_view name) {
  throw Error(eErr_NoSuchField, "ADODB.Recordset",
              "Item cannot be found in the collection corresponding to the requested name or "
              "ordinal: " + std::string(name));
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

struct Condition {
  std::string column;
  std::string value;  // folded text
};

// Reads "(A= 1) AND (B = 'x')" into conditions; false when unreadable.
bool ParseFilter(std::string_view text, std::vector<Condition>* out) {
  std::string upper = FoldCase(text);
  size_t start = 0;
  while (start <= text.size()) {
    size_t and_pos = upper.find(" AND ", start);
    std::string_view part =
        Trim(text.substr(start, and_pos == std::string::npos ? std::string::npos : and_pos - start));
    while (part.size() >= 2 && part.front() == '(' && part.back() == ')')
      part = Trim(part.substr(1, part.size() - 2));
    size_t eq = part.find('=');
    if (eq == std::string_view::npos) return false;
    Condition c{std::string(Trim(part.substr(0, eq))), std::string(Trim(part.substr(eq + 1)))};
    if (c.value.size() >= 2 && (c.value.front() == '\'' || c.value.front() == '#') &&
        c.value.back() == c.value.front())
      c.value = c.value.substr(1, c.value.size() - 2);
    if (c.column.empty()) return false;
    c.value = FoldCase(c.value);
    out->push_back(std::move(c));
    if (and_pos == std::string::npos) break;
    start = and_pos + 5;
  }
  return !out->empty();
}

std::string IndexText(const Variant& v) {
  if (v.IsNull() || v.IsEmpty() || v.IsObject()) return std::string("\x01null", 5);
  return FoldCase(v.ToText());
}

}  // namespace

const std::string& Field::Name() const { return rs_->columns_.at(index_).name; }
VarType Field::Type() const { return rs_->columns_.at(index_).type; }
Variant Field::Value() const {
  if (!Exists() || rs_->IsEOF() || rs_->IsBOF()) return Variant();
  return rs_->ValueAt(index_);
}

size_t Recordset::NoCaseHash::operator()(std::string_view s) const {
  size_t h = 1469598103934665603ull;
  for (char c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  }
  return h;
}

bool Recordset::NoCaseEqual::operator()(std::string_view a, std::string_view b) const {
  return EqualsNoCase(a, b);
}

Recordset::Recordset(std::vector<Column> columns) : columns_(std::move(columns)) {
  for (size_t i = 0; i < columns_.size(); ++i)
    by_name_.emplace(columns_[i].name, static_cast<int>(i));
}

int Recordset::FieldIndex(std::string_view name) const {
  NameHit& hit = name_hits_[(reinterpret_cast<uintptr_t>(name.data()) >> 3) % name_hits_.size()];
  if (hit.data == name.data() && hit.index >= 0 &&
      EqualsNoCase(columns_[static_cast<size_t>(hit.index)].name, name))
    return hit.index;
  auto it = by_name_.find(name);
  if (it == by_name_.end()) return -1;
  hit = {name.data(), it->second};
  return it->second;
}

void Recordset::AppendRow(std::vector<Variant> values) {
  values.resize(columns_.size());
  rows_.push_back(std::move(values));
  if (filtered_) SetFilter(std::string(filter_text_));
}

std::vector<std::vector<Variant>> Recordset::ReleaseRows() {
  std::vector<std::vector<Variant>> out;
  out.swap(rows_);
  visible_.clear();
  indexes_.clear();
  indexed_rows_ = 0;
  first_pending_ = 0;
  pos_ = 0;
  return out;
}

void Recordset::MoveNext() {
  if (IsEOF()) throw Error(eErr_NoCurrentRow, "ADODB.Recordset", "Either BOF or EOF is True, or the current record has been deleted.");
  ++pos_;
}

void Recordset::MoveLast() { pos_ = visible_count() == 0 ? 0 : static_cast<long>(visible_count()) - 1; }

size_t Recordset::row_index() const {
  if (IsEOF() || pos_ < 0)
    throw Error(eErr_NoCurrentRow, "ADODB.Recordset",
                "Either BOF or EOF is True, or the current record has been deleted.");
  return filtered_ ? visible_[static_cast<size_t>(pos_)] : static_cast<size_t>(pos_);
}

Variant Recordset::ValueAt(int index) const { return RefAt(index); }

const Variant& Recordset::RefAt(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= columns_.size()) NoField(std::to_string(index));
  return rows_[row_index()][static_cast<size_t>(index)];
}

Variant Recordset::Value(std::string_view name) const {
  int i = FieldIndex(name);
  if (i < 0) NoField(name);
  return ValueAt(i);
}

Variant Recordset::ValueOr(std::string_view name) const {
  int i = FieldIndex(name);
  if (i < 0 || IsEOF() || pos_ < 0) return Variant();
  return ValueAt(i);
}

std::shared_ptr<Recordset> Recordset::Chapter(std::string_view name) const {
  return ValueOr(name).As<Recordset>();
}

void Recordset::AddNew() {
  rows_.emplace_back(columns_.size());
  if (filtered_) {
    visible_.push_back(rows_.size() - 1);
    pos_ = static_cast<long>(visible_.size()) - 1;
  } else {
    pos_ = static_cast<long>(rows_.size()) - 1;
  }
}

void Recordset::Set(std::string_view name, Variant value) {
  int i = FieldIndex(name);
  if (i < 0) NoField(name);
  rows_[row_index()][static_cast<size_t>(i)] = std::move(value);
}

void Recordset::UpdateBatch() {
  if (connection_ == nullptr || table_.empty()) {
    first_pending_ = rows_.size();
    return;
  }
  std::vector<std::string> names;
  std::vector<Variant> values;
  for (size_t r = first_pending_; r < rows_.size(); ++r) {
    names.clear();
    values.clear();
    for (size_t c = 0; c < columns_.size(); ++c) {
      if (rows_[r][c].IsEmpty()) continue;  // unassigned: the column's default
      names.push_back(columns_[c].name);
      values.push_back(rows_[r][c]);
    }
    connection_->InsertRow(table_, names, values);
  }
  first_pending_ = rows_.size();
}

const std::vector<size_t>& Recordset::IndexFor(int column, const std::string& key) {
  static const std::vector<size_t> kNone;
  if (indexed_rows_ != rows_.size()) {
    indexes_.clear();
    indexed_rows_ = rows_.size();
  }
  const size_t c = static_cast<size_t>(column);
  auto [it, fresh] = indexes_.try_emplace(column);
  ColumnIndex& index = it->second;
  if (fresh) {
    index.numeric = !rows_.empty();
    for (const auto& row : rows_) {
      VarType t = row[c].Type();
      if (t != VarType::Long && t != VarType::Integer) {
        index.numeric = false;
        break;
      }
    }
    for (size_t r = 0; r < rows_.size(); ++r) {
      if (index.numeric)
        index.by_number[rows_[r][c].ToLong()].push_back(r);
      else
        index.by_text[IndexText(rows_[r][c])].push_back(r);
    }
  }
  if (index.numeric) {
    char* end = nullptr;
    long long n = std::strtoll(key.c_str(), &end, 10);
    if (key.empty() || *end != '\0') return kNone;
    auto hit = index.by_number.find(n);
    return hit == index.by_number.end() ? kNone : hit->second;
  }
  auto hit = index.by_text.find(key);
  return hit == index.by_text.end() ? kNone : hit->second;
}

void Recordset::SetFilter(std::string_view filter) {
  std::string text(filter);
  if (Trim(text).empty()) {
    filtered_ = false;
    visible_.clear();
    filter_text_.clear();
    pos_ = 0;
    return;
  }
  std::vector<Condition> conds;
  if (!ParseFilter(text, &conds))
    throw Error(eErr_RecordsetArgument, "ADODB.Recordset", "Arguments are of the wrong type, are out of acceptable range, or are in conflict with one another: filter " + text);
  std::vector<size_t> rows;
  bool first = true;
  for (const auto& c : conds) {
    int col = FieldIndex(c.column);
    if (col < 0) NoField(c.column);
    const auto& hits = IndexFor(col, c.value);
    if (first) {
      rows = hits;
      first = false;
    } else {
      std::vector<size_t> both;
      std::set_intersection(rows.begin(), rows.end(), hits.begin(), hits.end(),
                            std::back_inserter(both));
      rows.swap(both);
    }
  }
  visible_ = std::move(rows);
  filtered_ = true;
  filter_text_ = text;
  pos_ = 0;
}

Recordset::Bookmark Recordset::GetBookmark() const { return row_index(); }

void Recordset::SetBookmark(Bookmark b) {
  if (!filtered_) {
    pos_ = static_cast<long>(b);
    return;
  }
  auto it = std::lower_bound(visible_.begin(), visible_.end(), b);
  if (it == visible_.end() || *it != b)
    throw Error(eErr_RecordsetArgument, "ADODB.Recordset", "Bookmark is not in the filtered rows");
  pos_ = static_cast<long>(it - visible_.begin());
}

}  // namespace qmxml
