// The query evaluator against a second, plain evaluator: the test loads
// the project's rows and evaluates the parsed tree in memory, reading
// docs/query-language.md ("What a query selects") directly, and both must
// select the same requirements for the sample's saved queries and for a
// few hundred generated queries over every subject and operator, on a
// SQLite file and on PostgreSQL. Then queries that must fail.
#include "host/QueryEvaluator.h"

#include <strings.h>

#include <cmath>
#include <map>
#include <random>
#include <regex>
#include <set>

#include "TestSupport.h"
#include "host/QueryTree.h"
#include "qmxml/Error.h"
#include "qmxml/Query.h"
#include "sample/SampleProject.h"

namespace qmxml::testing {
namespace {

using Node = ParsedQuery::Node;

// One value of a subject: |num| for numbers and dates (seconds), |text|
// folded for texts and stored date-times, |ref| for references; |literal|
// is how a query writes it (a text unquoted).
struct Value {
  double num = 0;
  std::string text;
  int64_t ref = 0;
  std::string literal;
};

// A key or number column, NULL read as 0.
int64_t L(const Variant& v) { return v.IsNull() || v.IsEmpty() ? 0 : v.ToLong(); }

std::string Fold(std::string s) {
  for (char& c : s) {
    if (c == 26) c = '|';
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return s;
}

std::optional<double> NumberText(const std::string& s) {
  static const std::regex number("[0-9]+(\\.[0-9]+)?");
  if (!std::regex_match(s, number)) return std::nullopt;
  return std::stod(s);
}

double Seconds(const std::string& date) {
  DateValue d;
  EXPECT_TRUE(ParseDate(date, &d)) << date;
  return std::round(d.days * 86400);
}

std::string Quote(const std::string& t) {
  std::string out = "\"";
  for (char c : t)
    out += (c == '"' || c == '\\') ? std::string("\\") + c : std::string(1, c);
  return out + "\"";
}

enum class Kind { Number, Text, Date, Time, DateText, User, Document, Type, Item, State };

// The project's rows, as plain maps.
struct Project {
  // Column names as either database answers them (the server in lower case).
  struct NoCase {
    bool operator()(const std::string& a, const std::string& b) const {
      return strcasecmp(a.c_str(), b.c_str()) < 0;
    }
  };
  using Row = std::map<std::string, Variant, NoCase>;
  std::map<int64_t, Row> reqs;  // not deleted, of the project
  std::map<int64_t, bool> deleted;
  std::map<int64_t, std::string> users, documents, overflow_text;
  std::map<int64_t, int> field_type;
  std::map<int64_t, std::vector<int64_t>> items;  // list field -> items
  std::multimap<int64_t, Row> values, lists, discussions, packages;  // by requirement
  std::vector<Row> traces;
  std::set<int64_t> indirect;

  static std::vector<Row> Rows(Connection& c, const std::string& sql) {
    std::vector<Row> out;
    for (auto rs = c.Query(sql); !rs->IsEOF(); rs->MoveNext()) {
      Row r;
      for (size_t i = 0; i < rs->Columns().size(); ++i)
        r[rs->Columns()[i].name] = rs->ValueAt(static_cast<int>(i));
      out.push_back(r);
    }
    return out;
  }

  Project(Connection& c, int64_t project) {
    const std::string p = std::to_string(project);
    for (auto& r :
         Rows(c,
              "SELECT q.* FROM qmRequirements q JOIN qmProjectRequirements pr ON "
              "pr.RequirementID = q.ID WHERE pr.ProjectID = " +
                  p)) {
      const int64_t id = L(r["ID"]);
      deleted[id] = L(r["Deleted"]) != 0;
      if (!deleted[id]) reqs[id] = r;
    }
    for (auto& r : Rows(c, "SELECT ID, FullName FROM qmUsers"))
      users[L(r["ID"])] = r["FullName"].ToText();
    for (auto& r : Rows(c, "SELECT ID, Name FROM qmDocuments"))
      documents[L(r["ID"])] = r["Name"].ToText();
    for (auto& r : Rows(c, "SELECT * FROM QmOverflowText"))
      overflow_text[L(r["OverFlowID"])] = r["OverflowText"].ToText();
    for (auto& r :
         Rows(c,
              "SELECT DISTINCT f.ID, f.DataType FROM qmUserDefinedFields f JOIN "
              "qmRequirementTypeFields tf ON tf.USERDEFINEDFIELDID = f.ID JOIN "
              "qmProjectRequirementTypes pt ON pt.REQUIREMENTTYPEID = "
              "tf.REQUIREMENTTYPEID "
              "WHERE pt.PROJECTID = " +
                  p))
      field_type[L(r["ID"])] = static_cast<int>(L(r["DataType"]));
    for (auto& r :
         Rows(c, "SELECT FIELDID, ITEMID FROM qmUserDefinedListItems ORDER BY ITEMID"))
      items[L(r["FIELDID"])].push_back(L(r["ITEMID"]));
    auto by = [&](std::multimap<int64_t, Row>& into, const std::string& col,
                  const std::string& sql) {
      for (auto& r : Rows(c, sql)) into.emplace(r[col].ToLong(), r);
    };
    by(values, "REQUIREMENTID",
       "SELECT v.*, ov.OverflowFieldValue FROM qmUserDefinedFieldValues v LEFT JOIN "
       "QmOverflowValues ov "
       "ON ov.OverFlowRequirementID = v.REQUIREMENTID AND ov.OverFlowFieldID = "
       "v.FIELDID");
    by(lists, "RequirementID", "SELECT * FROM qmUserDefinedListValues");
    by(discussions, "RequirementID",
       "SELECT dr.RequirementID, dr.DiscussionID, ds.Status FROM "
       "QmDiscussionRequirements dr "
       "JOIN QmDiscussions ds ON ds.ID = dr.DiscussionID");
    by(packages, "REQUIREMENTID",
       "SELECT e.REQUIREMENTID, e.PACKAGEID, p.NAME FROM QmPackageElements e JOIN "
       "QmPackages p "
       "ON p.ID = e.PACKAGEID WHERE e.REQUIREMENTID IS NOT NULL");
    traces = Rows(c, "SELECT * FROM QmToRelationships");
    for (auto& r : Rows(c, "SELECT RequirementID, ToID FROM QmTraceTableIndir")) {
      indirect.insert(L(r["RequirementID"]));
      indirect.insert(L(r["ToID"]));
    }
  }

  static Value Text(const std::string& t) { return {0, Fold(t), 0, t}; }
  static Value Num(double d, const std::string& literal) { return {d, "", 0, literal}; }
  static Value Ref(int64_t k) { return {0, "", k, std::to_string(k)}; }

  // The values of |kind| subject |member|/|attr| of requirement |r|.
  std::vector<Value> Of(const Row& r, int attr, Kind* kind) const {
    const int64_t id = L(r.at("ID"));
    std::vector<Value> out;
    auto text = [&](const Variant& v) {
      *kind = Kind::Text;
      if (!v.IsNull() && !v.ToText().empty()) out.push_back(Text(v.ToText()));
    };
    auto num = [&](std::optional<double> d) {
      *kind = Kind::Number;
      if (d) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.0f", *d);
        out.push_back(Num(*d, *d == std::floor(*d) && *d >= 0 ? buf : "0"));
      }
    };
    auto ref = [&](const Variant& v, Kind k) {
      *kind = k;
      if (!v.IsNull() && v.ToLong() != 0) out.push_back(Ref(v.ToLong()));
    };
    auto date_text = [&](const Variant& v) {
      *kind = Kind::DateText;
      if (!v.IsNull() && !v.ToText().empty())
        out.push_back({0, v.ToText(), 0, "#" + v.ToText() + "#"});
    };
    auto opt = [](const Variant& v) -> std::optional<double> {
      if (v.IsNull()) return std::nullopt;
      return v.ToDouble();
    };
    const std::string long_tag = r.at("LongTagNumber").ToText();
    auto traced = [&](bool to, auto&& each) {
      for (const Row& t : traces) {
        if (t.at(to ? "RequirementID" : "ToID").ToLong() != id) continue;
        if (L(t.at("ExternalProjectID")) != 0 || L(t.at("ExternalProjectToID")) != 0)
          continue;
        const int64_t other = t.at(to ? "ToID" : "RequirementID").ToLong();
        auto d = deleted.find(other);
        if (d == deleted.end() || d->second) continue;
        each(t, reqs.at(other));
      }
    };
    switch (attr) {
      case -1:
      case -13:
        num(opt(r.at("ID")));
        break;
      case -2:
        text(Variant(r.at("RequirementPrefix").ToText() +
                     (r.at("Tag").IsNull() ? "" : std::to_string(L(r.at("Tag"))))));
        break;
      case -3:
        num(NumberText(long_tag.substr(0, long_tag.find('.'))));
        break;
      case -4: {
        auto o = overflow_text.find(id);
        const bool over =
            L(r.at("OverflowIND")) != 0 && o != overflow_text.end() && !o->second.empty();
        text(over ? Variant(o->second) : r.at("RequirementText"));
        break;
      }
      case -5: {
        auto u = users.find(L(r.at("VersionUserID")));
        text(u == users.end() ? Variant() : Variant(u->second));
        break;
      }
      case -6:
        ref(r.at("VersionUserID"), Kind::User);
        break;
      case -7: {
        auto d = documents.find(L(r.at("BookmarkDocumentID")));
        text(d == documents.end() ? Variant() : Variant(d->second));
        break;
      }
      case -8:
        ref(r.at("BookmarkDocumentID"), Kind::Document);
        break;
      case -9:
        num(NumberText(r.at("VersionNumber").ToText()));
        break;
      case -10:
        text(r.at("VersionReason"));
        break;
      case -11:
      case -12:
        for (auto [a, b] = discussions.equal_range(id); a != b; ++a) {
          if (attr == -11)
            num(a->second.at("DiscussionID").ToDouble());
          else
            text(a->second.at("Status").IsNull()
                     ? Variant()
                     : Variant(std::to_string(L(a->second.at("Status")))));
        }
        *kind = attr == -11 ? Kind::Number : Kind::Text;
        break;
      case -14:
        num(long_tag.empty()
                ? std::nullopt
                : std::optional<double>(
                      std::count(long_tag.begin(), long_tag.end(), '.') + 1));
        break;
      case -15:
        date_text(r.at("VersionDateTime"));
        break;
      case -16:
        text(r.at("BookmarkName"));
        break;
      case -17:
        num(L(r.at("LastDocText")) != 0 ? 1 : 0);
        break;
      case -18:
        text(r.at("RequirementName"));
        break;
      case -19:
        num(opt(r.at("DocumentPosition")));
        break;
      case -20:
      case -21:
        traced(attr == -20, [&](const Row&, const Row& other) {
          ref(other.at("RequirementTypeID"), Kind::Type);
        });
        *kind = Kind::Type;
        break;
      case -22:
        for (bool to : {true, false})
          traced(to, [&](const Row& t, const Row&) { num(opt(t.at("State"))); });
        *kind = Kind::State;
        break;
      case -23:
        num(indirect.count(id) ? 0 : 1);
        break;
      case -24:
      case -25:
        for (auto [a, b] = packages.equal_range(id); a != b; ++a) {
          if (attr == -24)
            num(a->second.at("PACKAGEID").ToDouble());
          else
            text(a->second.at("NAME"));
        }
        *kind = attr == -24 ? Kind::Number : Kind::Text;
        break;
      case -26:
        date_text(r.at("SuspectDateTime"));
        break;
      default:
        return Field(id, attr, kind);
    }
    return out;
  }

  std::vector<Value> Field(int64_t id, int attr, Kind* kind) const {
    std::vector<Value> out;
    const int type = field_type.at(attr);
    if (type == 0 || type == 10) {
      *kind = Kind::Item;
      for (auto [a, b] = lists.equal_range(id); a != b; ++a)
        if (L(a->second.at("FieldID")) == attr && L(a->second.at("ListItemID")) != 0)
          out.push_back(Ref(L(a->second.at("ListItemID"))));
      return out;
    }
    *kind = type == 2 || type == 3 ? Kind::Number
            : type == 4            ? Kind::Date
            : type == 5            ? Kind::Time
                                   : Kind::Text;
    for (auto [a, b] = values.equal_range(id); a != b; ++a) {
      const Row& v = a->second;
      if (L(v.at("FIELDID")) != attr) continue;
      if (*kind == Kind::Text) {
        const std::string over = v.at("OverflowFieldValue").ToText();
        const std::string t = L(v.at("OVERFLOWIND")) != 0 && !over.empty()
                                  ? over
                                  : v.at("FieldValue").ToText();
        if (!t.empty()) out.push_back(Text(t));
      } else if (!v.at("NumericValue").IsNull()) {
        const double n = v.at("NumericValue").ToDouble();
        if (*kind == Kind::Number)
          out.push_back(Num(n, v.at("FieldValue").ToText()));
        else
          out.push_back(
              Num(std::round(n * 86400), "#" + v.at("FieldValue").ToText() + "#"));
      }
    }
    return out;
  }

  // The condition |n| for requirement |r|, read from the document's rules.
  bool Holds(const Row& r, const Node& n) const {
    switch (n.kind) {
      case Node::Or:
        return std::any_of(n.children.begin(), n.children.end(),
                           [&](auto& c) { return Holds(r, *c); });
      case Node::And:
        return std::all_of(n.children.begin(), n.children.end(),
                           [&](auto& c) { return Holds(r, *c); });
      case Node::Not:
        return !Holds(r, *n.children[0]);
      case Node::Group:
        return Holds(r, *n.children[0]);
      case Node::Condition:
        break;
    }
    Kind kind;
    std::vector<Value> vs;
    switch (n.subject) {
      case Node::ReqType:
        kind = Kind::Type;
        vs = {Ref(L(r.at("RequirementTypeID")))};
        break;
      case Node::Author:
        vs = Of(r, -6, &kind);
        break;
      case Node::Location:
        vs = Of(r, -8, &kind);
        break;
      case Node::Attr:
        vs = Of(r, n.attr_key, &kind);
        break;
    }
    if (n.value == Node::Empty || n.value == Node::NoRef)
      return vs.empty() == (n.op == "=");
    if (n.op == "<>") {
      Node eq = n;
      eq.op = "=";
      return !Holds(r, eq);
    }
    auto cmp = [&](auto a, auto b) {
      return n.op == "="    ? a == b
             : n.op == "<"  ? a < b
             : n.op == "<=" ? a <= b
             : n.op == ">"  ? a > b
                            : a >= b;
    };
    if (kind == Kind::Item) {
      const bool has = std::any_of(vs.begin(), vs.end(),
                                   [&](const Value& v) { return v.ref == n.ref_key; });
      if (n.op == "CONTAINS") return has;
      return has && std::all_of(vs.begin(), vs.end(),
                                [&](const Value& v) { return v.ref == n.ref_key; });
    }
    return std::any_of(vs.begin(), vs.end(), [&](const Value& v) {
      switch (kind) {
        case Kind::Text:
          return n.op == "CONTAINS" ? v.text.find(Fold(n.literal)) != std::string::npos
                                    : v.text == Fold(n.literal);
        case Kind::DateText: {
          DateValue d;
          ParseDate(n.literal, &d);
          return cmp(v.text, FormatDate(d));
        }
        case Kind::Date:
          return cmp(v.num, Seconds(n.literal));
        case Kind::Time:
          return cmp(v.num, std::fmod(Seconds(n.literal) + 86400.0 * 1e6, 86400.0));
        case Kind::User:
        case Kind::Document:
        case Kind::Type:
          return v.ref == n.ref_key;
        default:
          return cmp(v.num, std::stod(n.literal));
      }
    });
  }

  std::vector<int32_t> Select(const ParsedQuery& q) const {
    std::vector<int32_t> out;
    for (const auto& [id, r] : reqs)
      if (Holds(r, q.Root())) out.push_back(static_cast<int32_t>(id));
    return out;
  }
};

std::vector<int32_t> Sorted(std::vector<int32_t> v) {
  std::sort(v.begin(), v.end());
  return v;
}

// Writes random conditions over every subject, taking the values from
// random requirements so that many of them select something.
class Generator {
 public:
  Generator(const Project& p, uint32_t seed) : p_(p), rng_(seed) {
    for (const auto& [id, r] : p.reqs) ids_.push_back(id);
    for (const auto& [id, t] : p.field_type) attrs_.push_back(static_cast<int>(id));
    for (int k = -1; k >= -26; --k) attrs_.push_back(k);
  }

  std::string Query(int depth = 0) {
    const int roll = Below(depth < 2 ? 10 : 6);
    if (roll < 6) return Condition();
    if (roll == 6) return "NOT " + Query(depth + 1);
    if (roll == 7) return "(" + Query(depth + 1) + ")";
    return Query(depth + 1) + (roll == 8 ? " AND " : " OR ") + Query(depth + 1);
  }

  std::string Condition() {
    const auto& r = p_.reqs.at(ids_[Below(ids_.size())]);
    const int which = Below(10);
    if (which == 0)
      return "ReqType.Key " + Pick({"=", "<>"}) + " " +
             std::to_string(L(r.at("RequirementTypeID")));
    if (which == 1 || which == 2) {
      Kind kind;
      auto vs = p_.Of(r, which == 1 ? -6 : -8, &kind);
      return std::string(which == 1 ? "Req.Author " : "Req.Location ") +
             Pick({"=", "<>"}) + " " +
             (vs.empty() || Below(4) == 0 ? "0" : vs[0].literal);
    }
    const int attr = attrs_[Below(attrs_.size())];
    Kind kind;
    auto vs = p_.Of(r, attr, &kind);
    const std::string subject = "Attr[" + std::to_string(attr) + "] ";
    if (vs.empty() || Below(8) == 0) {
      if (kind == Kind::User || kind == Kind::Document || kind == Kind::Item ||
          kind == Kind::Type)
        return subject + (Below(2) ? Pick({"=", "<>"}) + " 0" : "= \"<no entry>\"");
      return subject + "= \"<no entry>\"";
    }
    const Value& v = vs[Below(vs.size())];
    switch (kind) {
      case Kind::Text: {
        const std::string& t = v.literal;
        const bool contains = Below(2) == 0;
        if (contains) {
          // An ASCII piece, its letters in a random case.
          std::string piece;
          const size_t from = Below(t.size() + 1);
          for (size_t i = from; i < t.size() && piece.size() < 5 &&
                                static_cast<unsigned char>(t[i]) < 0x80;
               ++i)
            piece += Below(2) ? static_cast<char>(std::toupper(t[i])) : t[i];
          return subject + "CONTAINS " + Quote(piece);
        }
        return subject + Pick({"=", "<>"}) + " " + Quote(t);
      }
      case Kind::Item:
        return subject + Pick({"=", "<>", "CONTAINS"}) + " " + v.literal;
      case Kind::User:
      case Kind::Document:
      case Kind::Type:
        return subject + Pick({"=", "<>"}) + " " + v.literal;
      default:
        return subject + Pick({"=", "<>", "<", "<=", ">", ">="}) + " " + v.literal;
    }
  }

 private:
  size_t Below(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng_); }
  std::string Pick(std::initializer_list<const char*> ops) {
    return *(ops.begin() + Below(ops.size()));
  }
  const Project& p_;
  std::mt19937 rng_;
  std::vector<int64_t> ids_;
  std::vector<int> attrs_;
};

class QueryEvaluatorTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    db_ = dbs_.New("sample.db");
    conn_ = CreateProjectDatabase(db_);
    SampleOptions o;
    o.requirements = 500;
    o.seed = 7;
    o.key_file = dir_.File("k.key");
    project_ = FillSampleProject(*conn_, o).project_key;
    // A name with a stored "|" (code 26) and capitals, for the text rule,
    // and an empty one, which is no entry.
    conn_->Run("UPDATE qmRequirements SET Deleted = 0 WHERE ID IN (5, 6, 7)", {});
    conn_->Run("UPDATE qmRequirements SET RequirementName = ? WHERE ID = 5",
               {Variant(std::string("Pipe\x1A"
                                    "Case NAME"))});
    conn_->Run("UPDATE qmRequirements SET RequirementName = '' WHERE ID = 7", {});
  }
  TempDir dir_;
  TestDatabases dbs_{GetParam(), dir_};
  std::string db_;
  std::shared_ptr<Connection> conn_;
  int32_t project_ = 0;
};

TEST_P(QueryEvaluatorTest, SelectsWhatThePlainEvaluatorSelects) {
  const Project model(*conn_, project_);
  // Deleted requirements are left out of the model; the sample has some.
  ASSERT_LT(model.reqs.size(), model.deleted.size());
  std::vector<std::string> texts;
  for (auto rs = conn_->Query("SELECT QUERYSTRING FROM QmQueryDefinitions"); !rs->IsEOF();
       rs->MoveNext())
    texts.push_back(rs->Value("QUERYSTRING").ToText());
  texts.push_back("Attr[-18] CONTAINS \"pe|cASE\"");
  texts.push_back("Attr[-18] = \"pipe|case name\"");
  texts.push_back("Attr[-18] = \"<no entry>\"");
  Generator gen(model, 11);
  for (int i = 0; i < 300; ++i) texts.push_back(gen.Query());

  std::set<int> seen_attrs;
  std::set<std::string> seen_ops;
  int nonempty = 0;
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    auto parsed = ParseQueryText(*conn_, project_, text);
    const auto got = EvaluateQuery(*conn_, *parsed, project_);
    ASSERT_EQ(Sorted(got), model.Select(*parsed));
    nonempty += !got.empty() && got.size() < model.reqs.size();
    for (int32_t a : AttributesNamed(*parsed)) seen_attrs.insert(a);
    for (const char* op : {"=", "<>", "<=", ">=", "CONTAINS", "<no entry>", "NOT", "OR"})
      if (text.find(op) != std::string::npos) seen_ops.insert(op);
  }
  EXPECT_EQ(seen_attrs.size(), model.field_type.size() + 26)
      << "every attribute was asked";
  EXPECT_EQ(seen_ops.size(), 8u);
  EXPECT_GT(nonempty, 100) << "most queries select a real part";
  // The text rule: "|" stored as code 26 and letter case.
  auto pipe = ParseQueryText(*conn_, project_, "Attr[-18] CONTAINS \"pe|cASE\"");
  EXPECT_EQ(EvaluateQuery(*conn_, *pipe, project_), std::vector<int32_t>{5});
}

TEST_P(QueryEvaluatorTest, BadQueriesFailWithTheEnginesPositionAndReason) {
  struct Case {
    const char* text;
    const char* says;
  } cases[] = {
      {"ReqType.Key = ", "position 15"},
      {"Attr[999] = 1", "the attribute 999 is not an attribute of the project"},
      {"ReqType.Key = 77", "the requirement type 77 is not known"},
      {"Attr[1] = 9999", "list item 9999"},
      {"Attr[11] CONTAINS 5", "the operator \"CONTAINS\" does not apply"},
      {"Attr[{00000000-0000-0000-0000-000000000000}] = 1",
       "is not an attribute of the project"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      ParseQueryText(*conn_, project_, c.text);
      ADD_FAILURE() << "accepted";
    } catch (const Error& e) {
      EXPECT_EQ(e.Number(), eErr_BadQuery);
      EXPECT_NE(e.Description().find(c.says), std::string::npos) << e.Description();
    }
  }
  // The command line: the engine's message and exit code 2, no file.
  if (dbs_.OnServer()) return;
  const std::string cli =
      std::string(QMXML_CLI) + " query " + db_ + " -o " + dir_.File("out.csv");
  const int status =
      std::system((cli + " --text 'Attr[999] = 1' 2>" + dir_.File("err.txt")).c_str());
  EXPECT_EQ(WEXITSTATUS(status), 2);
  EXPECT_NE(ReadFile(dir_.File("err.txt"))
                .find("error 23150: The query cannot be evaluated: "
                      "position 6: the attribute 999"),
            std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("out.csv")));
  EXPECT_EQ(WEXITSTATUS(std::system((cli + " --saved 1 --format csv").c_str())), 0);
  EXPECT_EQ(ReadFile(dir_.File("out.csv")).substr(0, 27), "Tag,Name,Type,Document,Prio");
}

TEST_P(QueryEvaluatorTest, ListingShowsTheAttributesTheQueryNames) {
  QueryOptions o;
  o.text = "Attr[-18] = \"pipe|case name\" OR Attr[-1] = 6";
  const QueryListing l = ListQuery(db_, o);
  ASSERT_EQ(l.columns, (std::vector<std::string>{"Tag", "Name", "Type", "Document",
                                                 "Req.Name", "Req.key"}));
  ASSERT_EQ(l.rows.size(), 2u);
  std::set<std::string> keys = {l.rows[0][5], l.rows[1][5]};
  EXPECT_EQ(keys, (std::set<std::string>{"5", "6"}));
  o.text.clear();
  o.saved = "1";
  auto parsed = ParseQueryText(
      *conn_, project_,
      conn_->Scalar("SELECT QUERYSTRING FROM QmQueryDefinitions WHERE ID = 1", {})
          .ToText());
  EXPECT_EQ(ListQuery(db_, o).rows.size(),
            EvaluateQuery(*conn_, *parsed, project_).size());
}

INSTANTIATE_TEST_SUITE_P(Databases, QueryEvaluatorTest, ::testing::ValuesIn(Backends()));

}  // namespace
}  // namespace qmxml::testing
