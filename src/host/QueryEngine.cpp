// The query engine stand-in: a parser for the host's query language (see
// docs/query-language.md) that resolves every name against an open host
// project, and a printer that writes a parsed query in key form or GUID
// form.
//
// The two forms are printed with one layout and differ only where the
// component's own GUID-to-key rewrite (used when a project is copied with
// new GUIDs) expects them to: "ReqType.Guid" against "ReqType.Key", a GUID
// against the decimal key, "<NO ENTRY>" against "0" (no item), "suspect"
// against "1". Text values are printed so that nothing inside them can be
// taken for one of those: braces, "<", ">", "#", "@" and control characters
// are written as \xHH, and so is one letter of every "suspect" and the dot
// of every "ReqType.Guid". Rewriting a GUID-form query by text therefore
// gives exactly the key form this engine prints for the same objects.
#include <cctype>
#include <cstdio>
#include <vector>

#include "frame/Text.h"
#include "host/HostServices.h"
#include "host/QueryTree.h"
#include "qmxml/Collection.h"
#include "qmxml/Error.h"
#include "frame/Guid.h"

namespace qmxml {
namespace {

const char* const kMembers[] = {"key",
                                "Tag",
                                "RootTagNumber",
                                "Text",
                                "AuthorName",
                                "AuthorKey",
                                "LocationName",
                                "LocationKey",
                                "Revision",
                                "reason",
                                "DiscussionKey",
                                "DiscussionStatus",
                                "KeyScalar",
                                "HierarchyLevel",
                                "DateTime",
                                "BookmarkName",
                                "IsDocTextCurrent",
                                "Name",
                                "DocumentPosition",
                                "TracedTo",
                                "TracedFrom",
                                "Status",
                                "DirectOnly",
                                "PackageKey",
                                "PackageName",
                                "SuspectDateTime"};

ValueKind KindOfMember(std::string_view member) {
  struct M {
    const char* name;
    ValueKind kind;
  };
  static const M kKinds[] = {{"Tag", ValueKind::Text},
                             {"Text", ValueKind::Text},
                             {"AuthorName", ValueKind::Text},
                             {"LocationName", ValueKind::Text},
                             {"reason", ValueKind::Text},
                             {"DiscussionStatus", ValueKind::Text},
                             {"BookmarkName", ValueKind::Text},
                             {"Name", ValueKind::Text},
                             {"PackageName", ValueKind::Text},
                             {"DateTime", ValueKind::Date},
                             {"SuspectDateTime", ValueKind::Date},
                             {"AuthorKey", ValueKind::UserRef},
                             {"LocationKey", ValueKind::DocumentRef},
                             {"TracedTo", ValueKind::ReqTypeRef},
                             {"TracedFrom", ValueKind::ReqTypeRef},
                             {"Status", ValueKind::State}};
  for (const M& m : kKinds)
    if (m.name == member) return m.kind;
  return ValueKind::Number;
}

bool IsRef(ValueKind k) {
  return k == ValueKind::ReqTypeRef || k == ValueKind::UserRef ||
         k == ValueKind::DocumentRef || k == ValueKind::ListItemRef;
}

HostItem ItemOf(ValueKind k) {
  switch (k) {
    case ValueKind::ReqTypeRef:
      return HostItem::RequirementType;
    case ValueKind::UserRef:
      return HostItem::User;
    case ValueKind::DocumentRef:
      return HostItem::Document;
    default:
      return HostItem::ListItem;
  }
}

const char* ItemWord(HostItem item) {
  switch (item) {
    case HostItem::RequirementType:
      return "requirement type";
    case HostItem::Attribute:
      return "attribute";
    case HostItem::ListItem:
      return "list item";
    case HostItem::User:
      return "user";
    case HostItem::Document:
      return "document";
  }
  return "item";
}

// ---- tokens ----

enum class Tok {
  End,
  LParen,
  RParen,
  LBracket,
  RBracket,
  Op,
  Word,
  Number,
  Text,
  Date,
  Guid,
  NoRef,
  Empty
};

struct Token {
  Tok type = Tok::End;
  std::string text;  // operator, word, number, date text, decoded text, GUID
  size_t pos = 0;    // 1-based
};

struct Failure {
  int32_t code;
  std::string message;
};

[[noreturn]] void Fail(int32_t code, size_t pos, const std::string& why) {
  throw Failure{code, "position " + std::to_string(pos) + ": " + why};
}

std::vector<Token> Lex(const std::string& q) {
  std::vector<Token> out;
  size_t i = 0;
  auto starts = [&](std::string_view s) {
    return q.size() - i >= s.size() &&
           frame::StartsWithNoCase(std::string_view(q).substr(i), s);
  };
  while (true) {
    while (i < q.size() && std::isspace(static_cast<unsigned char>(q[i]))) ++i;
    Token t;
    t.pos = i + 1;
    if (i >= q.size()) {
      out.push_back(t);
      return out;
    }
    const char c = q[i];
    if (c == '(' || c == ')' || c == '[' || c == ']') {
      t.type = c == '('   ? Tok::LParen
               : c == ')' ? Tok::RParen
               : c == '[' ? Tok::LBracket
                          : Tok::RBracket;
      ++i;
    } else if (starts("\"<no entry>\"")) {
      t.type = Tok::Empty;
      i += 12;
    } else if (starts("<no entry>")) {
      t.type = Tok::NoRef;
      i += 10;
    } else if (starts("<>") || starts("<=") || starts(">=")) {
      t.type = Tok::Op;
      t.text = q.substr(i, 2);
      i += 2;
    } else if (c == '=' || c == '<' || c == '>') {
      t.type = Tok::Op;
      t.text = std::string(1, c);
      ++i;
    } else if (c == '"') {
      t.type = Tok::Text;
      for (++i;; ++i) {
        if (i >= q.size()) Fail(1, t.pos, "the text is not closed with \"");
        if (q[i] == '"') break;
        if (q[i] != '\\') {
          t.text += q[i];
          continue;
        }
        if (++i >= q.size()) Fail(1, t.pos, "the text is not closed with \"");
        if (q[i] == 'x' && i + 2 < q.size() &&
            std::isxdigit(static_cast<unsigned char>(q[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(q[i + 2]))) {
          t.text += static_cast<char>(std::stoi(q.substr(i + 1, 2), nullptr, 16));
          i += 2;
        } else {
          t.text += q[i];
        }
      }
      ++i;
    } else if (c == '#') {
      size_t end = q.find('#', i + 1);
      if (end == std::string::npos) Fail(1, t.pos, "the date is not closed with #");
      t.type = Tok::Date;
      t.text = q.substr(i + 1, end - i - 1);
      DateValue d;
      if (!ParseDate(t.text, &d))
        Fail(1, t.pos, "\"" + t.text + "\" is not a date (YYYY-MM-DD [HH:MM:SS])");
      i = end + 1;
    } else if (c == '{') {
      size_t end = q.find('}', i);
      t.type = Tok::Guid;
      t.text = q.substr(i, end == std::string::npos ? std::string::npos : end - i + 1);
      if (end == std::string::npos || !frame::IsGuidShaped(t.text))
        Fail(1, t.pos, "a GUID must have the form {8-4-4-4-12 hexadecimal digits}");
      i = end + 1;
    } else if (std::isdigit(static_cast<unsigned char>(c)) ||
               (c == '-' && i + 1 < q.size() &&
                std::isdigit(static_cast<unsigned char>(q[i + 1])))) {
      size_t from = i++;
      while (i < q.size() &&
             (std::isdigit(static_cast<unsigned char>(q[i])) || q[i] == '.'))
        ++i;
      t.type = Tok::Number;
      t.text = q.substr(from, i - from);
      if (!Variant(t.text).IsNumeric())
        Fail(1, t.pos, "\"" + t.text + "\" is not a number");
    } else if (std::isalpha(static_cast<unsigned char>(c))) {
      size_t from = i;
      while (i < q.size() && (std::isalnum(static_cast<unsigned char>(q[i])) ||
                              q[i] == '.' || q[i] == '_'))
        ++i;
      t.type = Tok::Word;
      t.text = q.substr(from, i - from);
    } else {
      Fail(1, t.pos, std::string("unexpected character '") + c + "'");
    }
    out.push_back(std::move(t));
  }
}

// ---- the parsed query (its tree is in QueryTree.h) ----

using Node = ParsedQuery::Node;

std::string EscapeText(const std::string& text) {
  std::vector<bool> hex(text.size(), false);
  for (size_t at = 0; (at = frame::FindNoCase(text, "suspect", at)) != std::string::npos;
       ++at)
    hex[at + 3] = true;
  for (size_t at = 0;
       (at = frame::FindNoCase(text, "reqtype.guid", at)) != std::string::npos; ++at)
    hex[at + 7] = true;
  std::string out = "\"";
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (hex[i] || c < 0x20 || c == '{' || c == '}' || c == '<' || c == '>' ||
               c == '#' || c == '@') {
      char buf[5];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string Print(const Node& n, int32_t form) {
  const bool keys = form == kKeyForm;
  switch (n.kind) {
    case Node::Or:
    case Node::And: {
      std::string out;
      for (size_t i = 0; i < n.children.size(); ++i)
        out += (i ? (n.kind == Node::Or ? " OR " : " AND ") : "") +
               Print(*n.children[i], form);
      return out;
    }
    case Node::Not:
      return std::string("NOT ").append(Print(*n.children[0], form));
    case Node::Group:
      return std::string("(").append(Print(*n.children[0], form)).append(")");
    case Node::Condition:
      break;
  }
  std::string out;
  switch (n.subject) {
    case Node::ReqType:
      out = keys ? "ReqType.Key" : "ReqType.Guid";
      break;
    case Node::Author:
      out = "Req.Author";
      break;
    case Node::Location:
      out = "Req.Location";
      break;
    case Node::Attr:
      out = "Attr[" + (keys ? std::to_string(n.attr_key) : n.attr_guid) + "]";
      break;
  }
  out += " " + n.op + " ";
  switch (n.value) {
    case Node::Empty:
      return out + "\"<no entry>\"";
    case Node::NoRef:
      return out + (keys ? "0" : "<NO ENTRY>");
    case Node::Ref:
      return out + (keys ? std::to_string(n.ref_key) : n.ref_guid);
    case Node::Literal:
      break;
  }
  switch (n.type) {
    case ValueKind::Text:
      return out + EscapeText(n.literal);
    case ValueKind::Date:
      return out + "#" + n.literal + "#";
    case ValueKind::State:
      return out + (!keys && n.literal == "1" ? "suspect" : n.literal);
    default:
      return out + n.literal;
  }
}

// Recursive descent over the tokens, resolving names as it goes. Groups
// and NOTs nest at most kMaxNesting deep: a query from a file could
// otherwise nest deep enough to exhaust the stack, here and in every walk
// over the tree it builds (printing, freeing).
constexpr int kMaxNesting = 200;

class Parser {
 public:
  Parser(std::vector<Token> tokens, int32_t form, const HostProject& project,
         const SystemAttributes& system)
      : t_(std::move(tokens)), form_(form), project_(project), system_(system) {}

  std::shared_ptr<Node> Query() {
    auto root = Or();
    if (Peek().type != Tok::End)
      Fail(1, Peek().pos, "unexpected \"" + Describe(Peek()) + "\"");
    return root;
  }

 private:
  const Token& Peek() const { return t_[i_]; }
  const Token& Next() { return t_[i_ < t_.size() - 1 ? i_++ : i_]; }
  bool IsWord(const char* w) const {
    return Peek().type == Tok::Word && EqualsNoCase(Peek().text, w);
  }
  static std::string Describe(const Token& t) {
    switch (t.type) {
      case Tok::End:
        return "end of query";
      case Tok::LParen:
        return "(";
      case Tok::RParen:
        return ")";
      case Tok::LBracket:
        return "[";
      case Tok::RBracket:
        return "]";
      case Tok::NoRef:
        return "<no entry>";
      case Tok::Empty:
        return "\"<no entry>\"";
      default:
        return t.text;
    }
  }
  void Expect(Tok type, const char* what) {
    if (Peek().type != type)
      Fail(1, Peek().pos,
           std::string("expected ") + what + ", found \"" + Describe(Peek()) + "\"");
    Next();
  }

  std::shared_ptr<Node> Chain(Node::Kind kind, const char* word,
                              std::shared_ptr<Node> (Parser::*sub)()) {
    auto first = (this->*sub)();
    if (!IsWord(word)) return first;
    auto n = std::make_shared<Node>();
    n->kind = kind;
    n->children.push_back(first);
    while (IsWord(word)) {
      Next();
      n->children.push_back((this->*sub)());
    }
    return n;
  }
  std::shared_ptr<Node> Or() { return Chain(Node::Or, "OR", &Parser::And); }
  std::shared_ptr<Node> And() { return Chain(Node::And, "AND", &Parser::Not); }
  // One more level of group or NOT, opened at the current token; the
  // level ends with the object.
  class Nested {
   public:
    explicit Nested(Parser& p) : p_(p) {
      if (++p_.depth_ > kMaxNesting)
        Fail(1, p_.Peek().pos,
             "groups and NOTs nest more than " + std::to_string(kMaxNesting) + " deep");
    }
    ~Nested() { --p_.depth_; }
    Nested(const Nested&) = delete;
    Nested& operator=(const Nested&) = delete;

   private:
    Parser& p_;
  };

  std::shared_ptr<Node> Not() {
    if (!IsWord("NOT")) return Primary();
    Nested level(*this);
    Next();
    auto n = std::make_shared<Node>();
    n->kind = Node::Not;
    n->children.push_back(Not());
    return n;
  }
  std::shared_ptr<Node> Primary() {
    if (Peek().type == Tok::LParen) {
      Nested level(*this);
      Next();
      auto n = std::make_shared<Node>();
      n->kind = Node::Group;
      n->children.push_back(Or());
      Expect(Tok::RParen, ")");
      return n;
    }
    return Condition();
  }

  std::shared_ptr<Node> Condition() {
    auto n = std::make_shared<Node>();
    const Token subject = Next();
    const bool keys = form_ == kKeyForm;
    if (subject.type != Tok::Word)
      Fail(1, subject.pos, "expected a condition, found \"" + Describe(subject) + "\"");
    if (EqualsNoCase(subject.text, "ReqType.Key") ||
        EqualsNoCase(subject.text, "ReqType.Guid")) {
      if (EqualsNoCase(subject.text, "ReqType.Key") != keys)
        Fail(1, subject.pos,
             subject.text + " does not belong in a query of " + (keys ? "key" : "GUID") +
                 " form");
      n->subject = Node::ReqType;
      n->type = ValueKind::ReqTypeRef;
    } else if (EqualsNoCase(subject.text, "Req.Author")) {
      n->subject = Node::Author;
      n->type = ValueKind::UserRef;
    } else if (EqualsNoCase(subject.text, "Req.Location")) {
      n->subject = Node::Location;
      n->type = ValueKind::DocumentRef;
    } else if (EqualsNoCase(subject.text, "Attr")) {
      n->subject = Node::Attr;
      Attribute(*n);
    } else {
      Fail(1, subject.pos, "unknown name \"" + subject.text + "\"");
    }
    Operator(*n);
    Value(*n);
    return n;
  }

  // "[" key or GUID "]": a built-in attribute or one of the project's.
  // The key a number token names; a number no key can be (too large, or
  // not whole enough to round) fails the query like any other wrong token.
  static int32_t Key(const Token& t) {
    try {
      return Variant(t.text).ToLong();
    } catch (const Error&) {
      Fail(1, t.pos, "the key " + t.text + " is out of range");
    }
  }

  void Attribute(Node& n) {
    Expect(Tok::LBracket, "[ after Attr");
    const Token name = Next();
    const bool keys = form_ == kKeyForm;
    if (name.type != (keys ? Tok::Number : Tok::Guid))
      Fail(1, name.pos,
           std::string("expected an attribute ") + (keys ? "key" : "GUID") +
               ", found \"" + Describe(name) + "\"");
    Expect(Tok::RBracket, "]");
    for (const SystemAttributeGuid& s : SystemAttributeGuids()) {
      const int32_t key = system_.Get(s.member, 1);
      if (keys ? Key(name) != key : !EqualsNoCase(name.text, s.guid))
        continue;
      n.attr_key = key;
      n.attr_guid = FirstGuidOf(s.member);
      n.type = KindOfMember(s.member);
      return;
    }
    if (keys) {
      n.attr_key = Key(name);
      n.attr_guid = project_.GuidOf(HostItem::Attribute, n.attr_key);
    } else {
      n.attr_guid = name.text;
      n.attr_key = project_.KeyOf(HostItem::Attribute, name.text);
      n.attr_guid = project_.GuidOf(HostItem::Attribute, n.attr_key);
    }
    std::optional<int32_t> type = project_.AttributeType(n.attr_key);
    if (n.attr_guid.empty() || !type)
      Fail(2, name.pos,
           "the attribute " + name.text + " is not an attribute of the project" +
               (keys && type ? " with a GUID" : ""));
    switch (*type) {
      case 0:
      case 10:
        n.type = ValueKind::ListItemRef;
        break;
      case 2:
      case 3:
        n.type = ValueKind::Number;
        break;
      case 4:
      case 5:
        n.type = ValueKind::Date;
        break;
      default:
        n.type = ValueKind::Text;
        break;
    }
  }

  static std::string FirstGuidOf(const char* member) {
    for (const SystemAttributeGuid& s : SystemAttributeGuids())
      if (std::string_view(s.member) == member) return s.guid;
    return "";
  }

  void Operator(Node& n) {
    const Token op = Next();
    std::string text = op.type == Tok::Op     ? op.text
                       : op.type == Tok::Word ? FoldCase(op.text)
                                              : "";
    if (text == "contains") text = "CONTAINS";
    const bool ordered = n.type == ValueKind::Number || n.type == ValueKind::Date ||
                         n.type == ValueKind::State;
    const bool contains = n.type == ValueKind::Text || n.type == ValueKind::ListItemRef;
    const bool ok =
        text == "=" || text == "<>" ||
        (ordered && (text == "<" || text == "<=" || text == ">" || text == ">=")) ||
        (contains && text == "CONTAINS");
    if (!ok) Fail(1, op.pos, "the operator \"" + Describe(op) + "\" does not apply here");
    n.op = text;
  }

  void Value(Node& n) {
    const Token v = Next();
    const bool keys = form_ == kKeyForm;
    if (v.type == Tok::Empty) {
      if (n.op != "=" || n.subject == Node::ReqType)
        Fail(1, v.pos, "\"<no entry>\" only follows = in a condition on an attribute");
      n.value = Node::Empty;
      return;
    }
    if (IsRef(n.type)) {
      if (v.type == Tok::NoRef && n.subject != Node::ReqType &&
          (n.op == "=" || n.op == "<>")) {
        n.value = Node::NoRef;
        return;
      }
      if (keys && v.type == Tok::Number && Key(v) == 0 &&
          n.subject != Node::ReqType && (n.op == "=" || n.op == "<>")) {
        n.value = Node::NoRef;
        return;
      }
      if (v.type != (keys ? Tok::Number : Tok::Guid))
        Fail(1, v.pos,
             std::string("expected a ") + (keys ? "key" : "GUID") + ", found \"" +
                 Describe(v) + "\"");
      const HostItem item =
          n.subject == Node::ReqType ? HostItem::RequirementType : ItemOf(n.type);
      const int32_t owner = n.attr_key;
      n.value = Node::Ref;
      n.ref_key = keys ? Key(v) : project_.KeyOf(item, v.text, owner);
      n.ref_guid = project_.GuidOf(item, n.ref_key, owner);
      if (n.ref_key <= 0 || n.ref_guid.empty())
        Fail(2, v.pos,
             std::string("the ") + ItemWord(item) + " " + v.text +
                 " is not known to the project" +
                 (item == HostItem::ListItem ? " as an item of this attribute" : ""));
      return;
    }
    n.value = Node::Literal;
    switch (n.type) {
      case ValueKind::Text:
        if (v.type != Tok::Text) Fail(1, v.pos, "expected a text in double quotes");
        break;
      case ValueKind::Date:
        if (v.type != Tok::Date) Fail(1, v.pos, "expected a date between # signs");
        break;
      case ValueKind::State:
        if (v.type == Tok::Word && EqualsNoCase(v.text, "suspect")) {
          n.literal.assign(1, '1');
          return;
        }
        [[fallthrough]];
      default:
        if (v.type != Tok::Number)
          Fail(1, v.pos, "expected a number, found \"" + Describe(v) + "\"");
        break;
    }
    n.literal = v.text;
  }

  std::vector<Token> t_;
  size_t i_ = 0;
  int depth_ = 0;  // groups and NOTs open at the current token
  int32_t form_;
  const HostProject& project_;
  const SystemAttributes& system_;
};

}  // namespace

const std::vector<SystemAttributeGuid>& SystemAttributeGuids() {
  static const std::vector<SystemAttributeGuid> table = {
      {"{B9FA1571-4209-11D4-9A75-0010A4F40007}", "key"},
      {"{B9FA1572-4209-11D4-9A75-0010A4F40007}", "Tag"},
      {"{B9FA1573-4209-11D4-9A75-0010A4F40007}", "RootTagNumber"},
      {"{B9FA1574-4209-11D4-9A75-0010A4F40007}", "Text"},
      {"{B9FA1575-4209-11D4-9A75-0010A4F40007}", "AuthorName"},
      {"{B9FA1576-4209-11D4-9A75-0010A4F40007}", "AuthorKey"},
      {"{B9FA1577-4209-11D4-9A75-0010A4F40007}", "AuthorKey"},
      {"{B9FA1578-4209-11D4-9A75-0010A4F40007}", "LocationName"},
      {"{B9FA1579-4209-11D4-9A75-0010A4F40007}", "LocationKey"},
      {"{B9FA157A-4209-11D4-9A75-0010A4F40007}", "LocationKey"},
      {"{B9FA157B-4209-11D4-9A75-0010A4F40007}", "Revision"},
      {"{B9FA157C-4209-11D4-9A75-0010A4F40007}", "reason"},
      {"{B9FA157D-4209-11D4-9A75-0010A4F40007}", "DiscussionKey"},
      {"{B9FA157E-4209-11D4-9A75-0010A4F40007}", "DiscussionStatus"},
      {"{B9FA157F-4209-11D4-9A75-0010A4F40007}", "KeyScalar"},
      {"{B9FA1580-4209-11D4-9A75-0010A4F40007}", "HierarchyLevel"},
      {"{B9FA1581-4209-11D4-9A75-0010A4F40007}", "DateTime"},
      {"{B9FA1582-4209-11D4-9A75-0010A4F40007}", "BookmarkName"},
      {"{B9FA1583-4209-11D4-9A75-0010A4F40007}", "IsDocTextCurrent"},
      {"{B9FA1584-4209-11D4-9A75-0010A4F40007}", "Name"},
      {"{B9FA1585-4209-11D4-9A75-0010A4F40007}", "DocumentPosition"},
      {"{B9FA1586-4209-11D4-9A75-0010A4F40007}", "TracedTo"},
      {"{B9FA1587-4209-11D4-9A75-0010A4F40007}", "TracedFrom"},
      {"{B9FA1588-4209-11D4-9A75-0010A4F40007}", "Status"},
      {"{B9FA1589-4209-11D4-9A75-0010A4F40007}", "DirectOnly"},
      {"{B9FA1590-4209-11D4-9A75-0010A4F40007}", "PackageKey"},
      {"{B9FA1591-4209-11D4-9A75-0010A4F40007}", "PackageName"},
      {"{B9FA1592-4209-11D4-9A75-0010A4F40007}", "SuspectDateTime"},
  };
  return table;
}

int32_t SystemAttributes::Get(std::string_view name, int32_t argument) const {
  if (argument == 1)
    for (size_t i = 0; i < std::size(kMembers); ++i)
      if (EqualsNoCase(kMembers[i], name)) return -static_cast<int32_t>(i + 1);
  throw Error(eErr_NoProperty, "QmQueryEngine.SystemAttributes",
              "Object doesn't support this property or method: " + std::string(name));
}

int32_t QueryEngine::Validate2(int32_t, int32_t form, HostProject* project,
                               const std::string& query, std::string& message,
                               std::shared_ptr<ParsedQuery>& parsed) {
  parsed.reset();
  message.clear();
  if (project == nullptr || !project->IsOpen()) {
    message = "no open project";
    return 3;
  }
  if (form != kKeyForm && form != kGuidForm) {
    message = "unknown query form " + std::to_string(form);
    return 1;
  }
  try {
    SystemAttributes system;
    Parser parser(Lex(query), form, *project, system);
    parsed = std::make_shared<ParsedQuery>(parser.Query());
    return 0;
  } catch (const Failure& f) {
    message = f.message;
    return f.code;
  }
}

std::string ParsedQuery::QueryString(int32_t form) const { return Print(*root_, form); }

}  // namespace qmxml
