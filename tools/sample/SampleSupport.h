// SampleSupport: what the units of the sample-project generator share: a
// deterministic random source (splitmix64, so the same seed gives the same
// project on every platform and library version), GUIDs, time stamps and
// texts derived from it, prepared inserts on the raw SQLite handle, and the
// model that remembers the keys of the rows written so far, so that later
// rows refer only to rows that exist.
//
// The generator runs in three jobs, one unit each: definitions (project
// and its history, security, structure, rights), content (packages,
// documents and their history, requirements with their values, history
// and resources, traces) and activity (queries, views, discussions,
// external projects).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "sample/SampleProject.h"

#include "qmxml/Connection.h"
#include "qmxml/Variant.h"

namespace qmxml::sample {

// ---- random source ----
//
// Function arguments and the operands of "+" are evaluated in an order the
// language leaves open, so every draw is made in a statement of its own
// (or in a braced initialiser, which runs left to right); otherwise
// another compiler could build another project from the same seed.

class Rng {
 public:
  // An independent stream for one job of the generator: jobs draw from
  // their own stream, so adding rows to one job leaves the others as
  // they were.
  Rng(uint32_t seed, uint32_t stream);

  uint64_t Next();
  // A number in [0, n); 0 when n is 0.
  uint32_t Below(uint32_t n);
  // A number in [lo, hi].
  int Between(int lo, int hi);
  // A time span of |lo| to |hi| days and up to |seconds| more, in seconds.
  int64_t Days(int lo, int hi, int seconds);
  // True in |percent| cases out of 100.
  bool Percent(int percent) { return Below(100) < static_cast<uint32_t>(percent); }
  template <class T, size_t N>
  const T& Pick(const T (&items)[N]) {
    return items[Below(N)];
  }
  template <class T>
  const T& Pick(const std::vector<T>& items) {
    return items[Below(static_cast<uint32_t>(items.size()))];
  }

 private:
  uint64_t state_;
};

// A GUID in the stored form: braced, upper case, "{8-4-4-4-12}" (version 4
// layout).
std::string MakeGuid(Rng& rng);

// ---- time ----

// Time is counted in seconds from 2009-01-01 00:00:00.
inline constexpr int64_t kDay = 86400;
// "YYYY-MM-DD HH:MM:SS".
std::string Stamp(int64_t seconds);
// "YYYY-MM-DD".
std::string DayText(int64_t seconds);
// "HH:MM:SS" of the time of day.
std::string ClockText(int64_t seconds);
// Days since 1899-12-30, the host's date serial number.
int32_t DateSerial(int64_t seconds);

// ---- text ----

// |text| with every "|" replaced by the character with code 26, the form in
// which the host stores texts that travel as SQL text.
std::string BarsStored(std::string text);
// Length in UTF-16 code units, the host's character count.
size_t Units(std::string_view text);
// The first |units| UTF-16 code units of |text|.
std::string Head(std::string_view text, size_t units);

// In-row capacities of the host's text columns: requirement texts whose
// code-page form exceeds 254 bytes keep 127 characters in the row, attribute
// values and version reasons keep 255 characters.
inline constexpr size_t kTextBytes = 254;
inline constexpr size_t kTextHead = 127;
inline constexpr size_t kValueUnits = 255;

// ---- inserts ----

struct Null {};
using Bytes = std::vector<uint8_t>;

// One INSERT into |table| with |columns|, run once per row through the
// connection (which prepares it once). Text is bound as UTF-8, integral
// values as integers, Null as NULL.
class Insert {
 public:
  Insert(Connection* db, const char* table, std::initializer_list<const char*> columns);
  Insert(const Insert&) = delete;
  Insert& operator=(const Insert&) = delete;

  template <class... A>
  void Row(const A&... values) {
    values_.clear();
    (Bind(values), ...);
    Step();
  }

 private:
  template <class T>
  requires std::is_integral_v<T>
  void Bind(T v) { values_.emplace_back(static_cast<int64_t>(v)); }
  void Bind(double v) { values_.emplace_back(v); }
  void Bind(std::string_view v) { values_.emplace_back(std::string(v)); }
  void Bind(const std::string& v) { values_.emplace_back(v); }
  void Bind(const char* v) { values_.emplace_back(std::string(v)); }
  void Bind(Null) { values_.push_back(Variant::Null()); }
  void Bind(const Bytes& v) { values_.emplace_back(v); }
  template <class T>
  void Bind(const std::optional<T>& v) {
    if (v)
      Bind(*v);
    else
      Bind(Null{});
  }
  void Step();

  Connection* db_;
  std::string table_;
  std::string sql_;
  std::vector<Variant> values_;
};

// Runs one statement without results.
void Exec(Connection* db, const std::string& sql);

// ---- the model ----

// Requirement types, in key order (key = index + 1).
enum TypeId { kFeature, kUserNeed, kSoftware, kUseCase, kTestCase, kTerm, kTypeCount };

// Attributes, in key order (key = index + 1).
enum FieldId {
  kPriority,
  kStatus,
  kDifficulty,
  kRelease,
  kVerification,
  kPlatforms,
  kComponents,
  kRationale,
  kSource,
  kOwner,
  kEffort,
  kStoryPoints,
  kCost,
  kRisk,
  kTargetDate,
  kReviewTime,
  kModelItem,
  kTrackerIssue,
  kFieldCount
};

// Attribute data-type codes.
enum DataType {
  kList = 0,
  kText = 1,
  kInteger = 2,
  kReal = 3,
  kDate = 4,
  kTime = 5,
  kMulti = 10
};

struct User {
  int32_t key;
  std::string guid, login, full_name;
  int group;  // index into Model::groups
};
struct Group {
  int32_t key;
  std::string guid, name;
};
struct Field {
  int32_t key;
  std::string guid, label;
  int data_type;
  bool values;                 // requirements carry values of it
  std::vector<int32_t> items;  // list item keys
  std::vector<std::string> item_texts;
};
struct ReqType {
  int32_t key;
  std::string guid, name, prefix;
  std::vector<int> fields;  // FieldId of the linked attributes
  int32_t last_tag = 0;
};
struct DocType {
  int32_t key;
  std::string guid, name, extension;
  int req_type;  // TypeId of its default requirement type
};
struct Document {
  int32_t key;
  int doc_type;  // index into Model::doc_types
  int package;   // index into Model::packages
  int32_t positions = 0;
};
struct Package {
  int32_t key;
  std::string guid, name;
  int parent = -1;  // index, -1 for a top-level package
  int depth = 0;
  int document = -1;  // index of its document, -1 when it has none
  int32_t first_req = 0, req_count = 0;
};

struct Model {
  Connection* db = nullptr;
  uint32_t seed = 1;
  int32_t requirements = 0;
  std::function<void(const std::string&)> progress;
  std::string key_file;  // of the password cipher

  int32_t project_key = 1;
  std::string project_guid;
  int64_t project_start = 0;  // time the project was created

  std::vector<Group> groups;
  std::vector<User> users;
  std::vector<Field> fields;
  std::vector<ReqType> types;
  std::vector<DocType> doc_types;
  std::vector<Document> documents;
  std::vector<Package> packages;
  std::vector<int32_t> queries;  // query keys
  // Per query (same index): the requirement type it selects, 0 when it
  // names none.
  std::vector<int32_t> query_types;
  // Per requirement (index = key - 1): its type and package.
  std::vector<uint8_t> req_type;
  std::vector<int32_t> req_package;

  int32_t last_resource = 0;
  int32_t last_view = 0;

  void Tell(const std::string& what) const {
    if (progress) progress(what);
  }
  const User& AnyUser(Rng& rng) const {
    return users[rng.Below(static_cast<uint32_t>(users.size()))];
  }
};

// The three jobs, in the order they run.
void FillDefinitions(Model& m);
void FillContent(Model& m);
void FillActivity(Model& m);

// ---- phrases shared by the jobs ----

// A sentence about the ground-station software the sample describes, ending
// in ".", with no line break.
std::string Sentence(Rng& rng);
// A short title (a few words, no line break, no blank at either end).
std::string Title(Rng& rng);
// |paragraphs| sentences groups joined by CR LF.
std::string Paragraphs(Rng& rng, int paragraphs);
// A long text of at least |units| UTF-16 code units, with CR LF paragraph
// breaks, quotes, a "|" and non-ASCII letters.
std::string LongText(Rng& rng, size_t units);

}  // namespace qmxml::sample
