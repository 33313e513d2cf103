#include "protocol/text_rules.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>

namespace saori {
namespace {

struct DecimalCase {
  const char* name;
  std::string text;
  std::int32_t expected;
};

class ParseDecimalTest : public testing::TestWithParam<DecimalCase> {};

TEST_P(ParseDecimalTest, ReadsLikeAtoi) {
  EXPECT_EQ(parse_decimal(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseDecimalTest,
    testing::Values(
        DecimalCase{"Empty", "", 0}, DecimalCase{"NoDigits", "abc", 0},
        DecimalCase{"Plain", "120", 120}, DecimalCase{"Plus", "+7", 7},
        DecimalCase{"Minus", "-7", -7}, DecimalCase{"SignOnly", "-", 0},
        DecimalCase{"TwoSigns", "+-1", 0}, DecimalCase{"LeadingZeros", "00042", 42},
        DecimalCase{"StopsAtOtherByte", "150x9", 150},
        DecimalCase{"SixWhiteSpaceBytes", std::string(" \t\n\v\f\r12"), 12},
        DecimalCase{"SpaceAfterSign", "- 5", 0},
        DecimalCase{"NoOtherWhiteSpace", "\xa0" "5", 0},
        DecimalCase{"FullWidthSpaceIsNotSpace", "\x81\x40" "5", 0},
        DecimalCase{"ZeroByteStops", std::string("1\0" "2", 3), 1},
        DecimalCase{"Max", "2147483647", INT_MAX},
        DecimalCase{"JustAboveMaxSaturates", "2147483648", INT_MAX},
        DecimalCase{"Min", "-2147483648", INT_MIN},
        DecimalCase{"JustBelowMinSaturates", "-2147483649", INT_MIN},
        DecimalCase{"WouldWrapIntoRange", "4294967396", INT_MAX},
        DecimalCase{"FarAbove", "99999999999999999999999999", INT_MAX},
        DecimalCase{"FarBelow", "-99999999999999999999999999", INT_MIN}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ParseDecimalTest, AgreesWithStrtolClampedOnDigitRuns) {
  // strtol is an independent reference where long is wide enough.
  for (const char* text : {"0", "1", "-1", "300", "2147483646", "-2147483647", "  +99"}) {
    const long reference = std::strtol(text, nullptr, 10);
    EXPECT_EQ(parse_decimal(text), static_cast<std::int32_t>(reference)) << text;
  }
}

TEST(FindBytesTest, AgreesWithStringViewFind) {
  const std::pair<std::string, std::string> cases[] = {
      {"EXECUTE SAORI/1.0", " SAORI/1."}, {"GET Version SAORI/1.0", " SAORI/1."},
      {"A SAORI SAORI/1.", " SAORI/1."},  {"x SAORI/1", " SAORI/1."},
      {"xxPLAYSYNCyy", "PLAYSYNC"},       {"PLAYSYN", "PLAYSYNC"},
      {"", ""},                           {"abc", ""},
      {std::string("Lo\0cal", 6), std::string(1, '\0')}, {"Local", std::string(1, '\0')},
      {"\x82\x50\x82\x51", "\x82\x51"},  {"aab", "ab"}};
  for (const auto& [text, needle] : cases) {
    EXPECT_EQ(find_bytes(text, needle), ByteView(text).find(needle)) << text << " / " << needle;
  }
}

TEST(EqualIgnoringAsciiCaseTest, FoldsOnlyAsciiLetters) {
  EXPECT_TRUE(equal_ignoring_ascii_case("LoCaL", "local"));
  EXPECT_TRUE(equal_ignoring_ascii_case("", ""));
  EXPECT_FALSE(equal_ignoring_ascii_case("local ", "local"));
  EXPECT_FALSE(equal_ignoring_ascii_case("[", "{"));  // 0x5b vs 0x7b: not letters
  EXPECT_FALSE(equal_ignoring_ascii_case("@", "`"));
  // Shift_JIS full-width Ａ (82 60) and ａ (82 81) differ in their second byte.
  EXPECT_FALSE(equal_ignoring_ascii_case("\x82\x60", "\x82\x81"));
  EXPECT_FALSE(equal_ignoring_ascii_case("\xc1", "\xe1"));  // Latin-1 Á/á stay apart
}

TEST(AppendDecimalTest, WritesSignedDecimal) {
  for (const auto& [value, text] : {std::pair<std::int64_t, const char*>{0, "0"},
                                    {7, "7"},
                                    {-1, "-1"},
                                    {INT_MAX, "2147483647"},
                                    {INT_MIN, "-2147483648"},
                                    {INT64_MIN, "-9223372036854775808"}}) {
    ByteString out = "x";
    append_decimal(out, value);
    EXPECT_EQ(ByteView(out), std::string("x") + text);
  }
}

}  // namespace
}  // namespace saori
