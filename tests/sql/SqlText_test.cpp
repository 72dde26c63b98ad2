// The SQL literal routine and the GUID providers.
#include "sql/SqlText.h"

#include <gtest/gtest.h>

#include "qmxml/Services.h"
#include "sql/Guid.h"

namespace qmxml::sql {
namespace {

TEST(SqlLiteral, Table) {
  struct Case {
    Variant v;
    bool null_if_empty;
    int forced;
    std::string out;
  } cases[] = {
      {Variant(""), true, 0, "NULL"},
      {Variant(""), false, 0, "''"},
      {Variant("   "), true, 0, "''"},
      {Variant("O'Brien"), false, 0, "'O''Brien'"},
      {Variant("it''s"), false, 0, "'it''s'"},
      {Variant("a'''b"), false, 0, "'a''''b'"},
      {Variant("a|b"), false, 0, "'a\x1a" "b'"},
      {Variant(int32_t{0}), true, 0, "NULL"},
      {Variant(int32_t{0}), false, 0, "0"},
      {Variant(int32_t{-12}), true, 0, "-12"},
      {Variant(2.5), false, 0, "2.5"},
      {Variant(true), false, 0, "1"},
      {Variant(false), true, 0, "0"},
      {Variant(MakeDate(2009, 3, 1, 14, 5, 0)), false, 0, "{ ts '2009-03-01 14:05:00'}"},
      {Variant("2009-03-01 14:05:00"), false, 7, "{ ts '2009-03-01 14:05:00'}"},
      {Variant("17"), true, 3, "17"},
      {Variant("x"), true, 3, "NULL"},
      {Variant::Null(), false, 0, "NULL"},
      {Variant(), false, 0, "NULL"},
      {Variant(ErrorValue{5}), false, 0, "NULL"},
      {Variant("ünï"), false, 0, "'ünï'"},
      {Variant("a\r\nb"), false, 0, "'a\r\nb'"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(SqlLiteral(c.v, c.null_if_empty, c.forced), c.out) << c.v.ToText();
}

}  // namespace
}  // namespace qmxml::sql
