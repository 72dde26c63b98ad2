// The SQL literal routine and the GUID providers.
#include "sql/SqlText.h"

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "frame/Guid.h"
#include "qmxml/Services.h"

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

// The value a reader binds is the value its literal text stores: both
// ways into one text column (SQLite keeps the type each value came with).
TEST(SqlLiteral, BoundValuesStoreWhatTheLiteralTextStores) {
  testing::TempDir dir;
  auto conn = Connection::Open(dir.File("v.db"), true);
  conn->ExecuteScript("CREATE TABLE t (n INTEGER, v)");
  const Variant cases[][3] = {
      {Variant("it''s |x| O'Brien"), Variant(false), Variant(int32_t{0})},
      {Variant("   "), Variant(true), Variant(int32_t{0})},
      {Variant(""), Variant(true), Variant(int32_t{0})},
      {Variant(2.5), Variant(false), Variant(int32_t{0})},
      {Variant(4.0), Variant(false), Variant(int32_t{0})},
      {Variant("7.25"), Variant(false), Variant(int32_t{5})},
      {Variant(int32_t{-12}), Variant(true), Variant(int32_t{0})},
      {Variant(true), Variant(false), Variant(int32_t{0})},
      {Variant("2009-03-01 14:05:00"), Variant(false), Variant(int32_t{7})},
      {Variant("17"), Variant(true), Variant(int32_t{3})},
      {Variant(), Variant(false), Variant(int32_t{8})},
  };
  int32_t n = 0;
  for (const auto& c : cases) {
    const bool null_if_empty = c[1].ToBool();
    const int forced = c[2].ToLong();
    conn->Execute("INSERT INTO t VALUES (" + std::to_string(++n) + ", " +
                  SqlLiteral(c[0], null_if_empty, forced) + ")");
    conn->InsertRow("t", {"n", "v"}, {Variant(-n), SqlValue(c[0], null_if_empty, forced)});
  }
  const char* q = "SELECT group_concat(typeof(v) || ':' || COALESCE(v, '-'), ';') FROM "
                  "(SELECT v FROM t WHERE n %s 0 ORDER BY abs(n))";
  char text[160], bound[160];
  std::snprintf(text, sizeof text, q, ">");
  std::snprintf(bound, sizeof bound, q, "<");
  EXPECT_EQ(conn->Scalar(bound, {}).ToText(), conn->Scalar(text, {}).ToText());
  EXPECT_EQ(conn->Scalar(bound, {}).ToText(),
            "text:it's \x1ax\x1a O'Brien;text:;null:-;real:2.5;integer:4;real:7.25;integer:-12;"
            "integer:1;text:2009-03-01 14:05:00;integer:17;text:");
}

}  // namespace
}  // namespace qmxml::sql
