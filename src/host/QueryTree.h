// The tree of a parsed query, shared by the query engine that builds and
// prints it and the evaluator that turns it into SQL. Names in it are
// resolved: every condition carries the keys (and GUIDs) of what it names.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/HostServices.h"

namespace qmxml {

// What a condition compares against.
enum class ValueKind {
  Number,
  Text,
  Date,
  ReqTypeRef,
  UserRef,
  DocumentRef,
  ListItemRef,
  State
};

struct ParsedQuery::Node {
  enum Kind { Or, And, Not, Group, Condition } kind = Condition;
  std::vector<std::shared_ptr<Node>> children;
  // Condition: what is compared ...
  enum Subject { ReqType, Author, Location, Attr } subject = Attr;
  int32_t attr_key = 0;   // Attr: the attribute's key (negative: built-in)
  std::string attr_guid;  // Attr: its GUID
  std::string op;
  // ... and with what.
  enum Value { Literal, Ref, NoRef, Empty } value = Literal;
  ValueKind type = ValueKind::Number;
  std::string literal;  // number or date text, decoded text
  int32_t ref_key = 0;
  std::string ref_guid;
};

}  // namespace qmxml
