// The automation conversions the movers rely on.
#include "qmxml/Variant.h"

#include <gtest/gtest.h>

#include "qmxml/Error.h"

namespace qmxml {
namespace {

TEST(Variant, LongConversionRoundsHalfToEvenAndReadsTexts) {
  struct Case {
    Variant in;
    int32_t out;
  } cases[] = {
      {Variant(2.5), 2},       {Variant(3.5), 4},        {Variant(-2.5), -2},
      {Variant(" 12 "), 12},   {Variant("7.5"), 8},      {Variant(true), -1},
      {Variant("True"), -1},   {Variant("false"), 0},    {Variant(int16_t{-3}), -3},
      {Variant(), 0},          {Variant("1e3"), 1000},
  };
  for (const auto& c : cases) EXPECT_EQ(c.in.ToLong(), c.out) << c.in.ToText();
}

TEST(Variant, NonNumericTextAndNullAreTypeMismatches) {
  for (const Variant& v : {Variant("12x"), Variant(""), Variant::Null(), Variant("inf")}) {
    EXPECT_FALSE(v.IsNumeric()) << v.ToText();
    try {
      v.ToLong();
      FAIL() << "converted " << v.ToText();
    } catch (const Error& e) {
      EXPECT_EQ(e.Number(), eErr_TypeMismatch);
    }
  }
}

TEST(Variant, DatesReadBackFromTheirText) {
  for (const char* text : {"2009-03-01 14:05:00", "1899-12-30 00:00:00", "2038-01-19 03:14:07",
                           "2000-02-29 23:59:59"}) {
    DateValue d;
    ASSERT_TRUE(ParseDate(text, &d)) << text;
    EXPECT_EQ(FormatDate(d), text);
  }
  DateValue d;
  EXPECT_TRUE(ParseDate("2009-03-01T14:05:00", &d));
  EXPECT_EQ(FormatDate(d), "2009-03-01 14:05:00");
  EXPECT_FALSE(ParseDate("2009-13-01", &d));
  EXPECT_FALSE(ParseDate("yesterday", &d));
}

TEST(Variant, Utf16CountsSurrogatePairsAsTwoAndNeverSplitsACharacter) {
  const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z";  // a é € 😀 z
  EXPECT_EQ(Utf16Length(text), 6u);
  EXPECT_EQ(Utf16Prefix(text, 3), "a\xC3\xA9\xE2\x82\xAC");
  EXPECT_EQ(Utf16Prefix(text, 4), "a\xC3\xA9\xE2\x82\xAC");  // the pair does not fit
  EXPECT_EQ(Utf16Prefix(text, 5), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf16Prefix(text, 3) + Utf16Suffix(text, 3), text);
}

}  // namespace
}  // namespace qmxml
