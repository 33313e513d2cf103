#include "protocol/request_parser.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace saori {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;
using testing::Pair;

// Splits text into its lines by read_line, as owned strings.
std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t position = 0;
  do {
    const Line line = read_line(text, position);
    lines.emplace_back(line.text);
    position = line.next;
  } while (position != no_line);
  return lines;
}

struct LineCase {
  const char* name;
  std::string text;
  std::vector<std::string> lines;
};

class ReadLineTest : public testing::TestWithParam<LineCase> {};

TEST_P(ReadLineTest, SplitsByTerminators) { EXPECT_EQ(lines_of(GetParam().text), GetParam().lines); }

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadLineTest,
    testing::Values(
        LineCase{"Empty", "", {""}},
        LineCase{"NoTerminator", "abc", {"abc"}},
        LineCase{"CrLf", "a\r\nb\r\n", {"a", "b"}},
        LineCase{"Lf", "a\nb\n", {"a", "b"}},
        LineCase{"Cr", "a\rb\r", {"a", "b"}},
        LineCase{"Mixed", "a\r\nb\nc\rd", {"a", "b", "c", "d"}},
        LineCase{"LfCrIsTwoTerminators", "a\n\rb", {"a", "", "b"}},
        LineCase{"CrCrLf", "a\r\r\nb", {"a", "", "b"}},
        LineCase{"EmptyLineInside", "a\r\n\r\nb", {"a", "", "b"}},
        LineCase{"TerminatorAloneAtEnd", "\r\n", {""}},
        LineCase{"LoneTerminator", "\n", {""}},
        LineCase{"TwoTerminatorsAtEnd", "a\r\n\r\n", {"a", ""}},
        LineCase{"ZeroBytesAreText", std::string("a\0b\nc", 5), {std::string("a\0b", 3), "c"}},
        // Long enough for the sixteen-byte scan, with the terminator at each
        // position of a block.
        LineCase{"LongLine", std::string(37, 'x') + "\r\n" + std::string(16, 'y') + "\n" +
                                 std::string(15, 'z'),
                 {std::string(37, 'x'), std::string(16, 'y'), std::string(15, 'z')}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReadLineTest, PositionPastTheEndOrNoneGivesNothing) {
  for (std::size_t position : {std::size_t{3}, std::size_t{100}, no_line}) {
    const Line line = read_line("abc", position);
    EXPECT_TRUE(line.text.empty());
    EXPECT_EQ(line.next, no_line);
  }
}

TEST(ReadLineTest, EveryTerminatorPositionInALongLineIsFound) {
  for (std::size_t at = 0; at < 40; ++at) {
    for (char terminator : {'\r', '\n'}) {
      std::string text(40, 'a');
      text[at] = terminator;
      text += "tail";
      const Line line = read_line(text, 0);
      EXPECT_EQ(line.text.size(), at);
      EXPECT_EQ(line.next, at + 1);
    }
  }
}

// The outcome of one parse, with owned copies for easy comparison.
struct Parsed {
  int count = 0;
  std::string method;
  std::vector<std::string> arguments;
  std::vector<std::pair<std::string, std::string>> headers;
};

Parsed parse(const std::string& text, HeaderMap headers = {}) {
  Parsed parsed;
  ByteView method;
  ArgumentList arguments;
  parsed.count = parse_request(text, headers, method, arguments);
  parsed.method = std::string(method);
  for (ByteView argument : arguments) parsed.arguments.emplace_back(argument);
  for (const auto& [name, value] : headers) parsed.headers.emplace_back(name, value);
  return parsed;
}

TEST(ParseRequestTest, TypicalRequest) {
  const Parsed parsed = parse(
      "EXECUTE SAORI/1.0\r\nSecurityLevel: Local\r\nArgument0: PLAYSYNC\r\n"
      "Argument1: \x82\xb1\x82\xf1\r\nArgument2: 120\r\n\r\n");
  EXPECT_EQ(parsed.count, 3);
  EXPECT_EQ(parsed.method, "EXECUTE");
  EXPECT_THAT(parsed.arguments, ElementsAre("PLAYSYNC", "\x82\xb1\x82\xf1", "120"));
  EXPECT_THAT(parsed.headers, ElementsAre(Pair("SecurityLevel", "Local")));
}

TEST(ParseRequestTest, VersionProbeWithoutTerminator) {
  const Parsed parsed = parse("GET Version SAORI/1.0");
  EXPECT_EQ(parsed.count, 0);
  EXPECT_EQ(parsed.method, "GET Version");
  EXPECT_THAT(parsed.arguments, IsEmpty());
  EXPECT_THAT(parsed.headers, IsEmpty());
}

struct TokenCase {
  const char* name;
  std::string first_line;
  int count;  // -1: malformed
  std::string method;
};

class ProtocolTokenTest : public testing::TestWithParam<TokenCase> {};

TEST_P(ProtocolTokenTest, OnlyTheFirstLineCarriesTheToken) {
  const Parsed parsed = parse(GetParam().first_line + "\r\nArgument0: x\r\n");
  if (GetParam().count < 0) {
    EXPECT_EQ(parsed.count, -1);
  } else {
    EXPECT_EQ(parsed.count, 1);
    EXPECT_EQ(parsed.method, GetParam().method);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProtocolTokenTest,
    testing::Values(TokenCase{"Version10", "EXECUTE SAORI/1.0", 1, "EXECUTE"},
                    TokenCase{"MinorDigitIgnored", "EXECUTE SAORI/1.9", 1, "EXECUTE"},
                    TokenCase{"TrailingTextIgnored", "EXECUTE SAORI/1.x junk", 1, "EXECUTE"},
                    TokenCase{"FirstOccurrenceCuts", "A SAORI/1.0 B SAORI/1.0", 1, "A"},
                    TokenCase{"EmptyMethod", " SAORI/1.0", 1, ""},
                    TokenCase{"MajorVersion2", "EXECUTE SAORI/2.0", -1, ""},
                    TokenCase{"NoSpace", "EXECUTESAORI/1.0", -1, ""},
                    TokenCase{"LowerCaseToken", "EXECUTE saori/1.0", -1, ""},
                    TokenCase{"TokenCutShort", "EXECUTE SAORI/1", -1, ""},
                    TokenCase{"EmptyFirstLine", "", -1, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ParseRequestTest, MalformedWhenTextIsEmptyOrStartsWithATerminator) {
  EXPECT_EQ(parse("").count, -1);
  EXPECT_EQ(parse("\r\nEXECUTE SAORI/1.0\r\n").count, -1);
  EXPECT_EQ(parse("\nEXECUTE SAORI/1.0").count, -1);
}

TEST(ParseRequestTest, LineTerminatorsAllParseAlike) {
  for (const char* terminator : {"\r\n", "\n", "\r"}) {
    const std::string t = terminator;
    const Parsed parsed = parse("EXECUTE SAORI/1.0" + t + "Argument0: a" + t + "Sender: host" + t +
                                "Argument1: b");  // last line without terminator
    EXPECT_EQ(parsed.count, 2) << testing::PrintToString(t);
    EXPECT_THAT(parsed.arguments, ElementsAre("a", "b"));
    EXPECT_THAT(parsed.headers, ElementsAre(Pair("Sender", "host")));
  }
}

struct ArgumentCase {
  const char* name;
  std::vector<std::string> lines;
  std::vector<std::string> arguments;
};

class ArgumentLinesTest : public testing::TestWithParam<ArgumentCase> {};

TEST_P(ArgumentLinesTest, BuildsTheList) {
  std::string text = "EXECUTE SAORI/1.0\r\n";
  for (const std::string& line : GetParam().lines) text += line + "\r\n";
  const Parsed parsed = parse(text);
  EXPECT_EQ(parsed.arguments, GetParam().arguments);
  EXPECT_EQ(parsed.count, static_cast<int>(parsed.arguments.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ArgumentLinesTest,
    testing::Values(
        ArgumentCase{"Ascending", {"Argument0: a", "Argument1: b", "Argument2: c"}, {"a", "b", "c"}},
        ArgumentCase{"GapIsPadded", {"Argument0: a", "Argument2: c"}, {"a", "", "c"}},
        ArgumentCase{"CoveredIndexIsAppended",
                     {"Argument0: a", "Argument3: d", "Argument1: b"},
                     {"a", "", "", "d", "b"}},
        ArgumentCase{"RepeatIsAppended", {"Argument0: a", "Argument0: again"}, {"a", "again"}},
        ArgumentCase{"FirstIndexAboveZeroPads", {"Argument2: c"}, {"", "", "c"}},
        ArgumentCase{"LowerCasePrefix", {"argument0: a", "ARGUMENT1: b"}, {"a", "b"}},
        ArgumentCase{"LeadingZerosInIndex", {"Argument00: a", "Argument01: b"}, {"a", "b"}},
        ArgumentCase{"NonDigitNinthByteDropped", {"ArgumentX: x", "Argument0: a"}, {"a"}},
        ArgumentCase{"MinusZeroDropped", {"Argument-0: x", "Argument0: a"}, {"a"}},
        ArgumentCase{"NegativeDropped", {"Argument-1: x", "Argument0: a"}, {"a"}},
        ArgumentCase{"SpaceBeforeNonZeroIndex", {"Argument0: a", "Argument 1: b"}, {"a", "b"}},
        ArgumentCase{"SpaceBeforeZeroDropped", {"Argument 0: x"}, {}},
        ArgumentCase{"DigitsThenJunk", {"Argument0x: a", "Argument1y: b"}, {"a", "b"}},
        ArgumentCase{"SaturatedIndexDropped", {"Argument0: a", "Argument99999999999: x"}, {"a"}},
        ArgumentCase{"IndexAboveCapDropped", {"Argument0: a", "Argument65536: x"}, {"a"}},
        ArgumentCase{"EmptyValue", {"Argument0: a", "Argument1: "}, {"a", ""}},
        ArgumentCase{"ValueKeepsSeparators", {"Argument0: a: b: c"}, {"a: b: c"}},
        ArgumentCase{"ValueUntrimmed", {"Argument0:  two spaces  "}, {" two spaces  "}},
        ArgumentCase{"ColonWithoutSpaceSkipped", {"Argument0:a", "Argument0: b"}, {"b"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ParseRequestTest, IndexAtTheCapPadsToExactlyTheCapacity) {
  const Parsed parsed = parse("EXECUTE SAORI/1.0\r\nArgument65535: z\r\nArgument70000: x\r\n");
  ASSERT_EQ(parsed.arguments.size(), 65536u);
  EXPECT_EQ(parsed.count, 65536);
  EXPECT_EQ(parsed.arguments.back(), "z");
  EXPECT_EQ(parsed.arguments[0], "");
}

TEST(ParseRequestTest, CountIsTakenAfterTheLastArgumentLine) {
  // Headers after the last argument do not change the count; no arguments give 0.
  EXPECT_EQ(parse("EXECUTE SAORI/1.0\r\nArgument1: a\r\nSender: s\r\n").count, 2);
  EXPECT_EQ(parse("EXECUTE SAORI/1.0\r\nSender: s\r\n").count, 0);
}

TEST(ParseRequestTest, HeadersAddToDefaultsAndOverwrite) {
  const Parsed parsed = parse(
      "EXECUTE SAORI/1.0\r\nSecurityLevel: External\r\nSender: a\r\nSender: b\r\n"
      "securitylevel: x\r\nArgument: bare\r\n: no name\r\nNoSeparator\r\n\r\nAfterEmpty: yes\r\n",
      HeaderMap{{"SecurityLevel", "Local"}, {"Charset", "UTF-8"}});
  // Byte order puts upper case before lower case; the bare name "Argument" is
  // an ordinary header; the empty line does not end the request.
  EXPECT_THAT(parsed.headers,
              ElementsAre(Pair("AfterEmpty", "yes"), Pair("Argument", "bare"),
                          Pair("Charset", "UTF-8"), Pair("SecurityLevel", "External"),
                          Pair("Sender", "b"), Pair("securitylevel", "x")));
  EXPECT_THAT(parsed.arguments, IsEmpty());
}

TEST(ParseRequestTest, HeaderOrderIsUnsignedByteWise) {
  const Parsed parsed = parse(
      "EXECUTE SAORI/1.0\r\n\x82\xa0: sjis\r\nab: 2\r\na: 1\r\nB: 0\r\n\x7f: del\r\n");
  EXPECT_THAT(parsed.headers, ElementsAre(Pair("B", "0"), Pair("a", "1"), Pair("ab", "2"),
                                          Pair("\x7f", "del"), Pair("\x82\xa0", "sjis")));
}

TEST(ParseRequestTest, ValuesAreViewsOfTheRequestText) {
  const std::string text = "EXECUTE SAORI/1.0\r\nArgument0: PLAYSYNC\r\n";
  HeaderMap headers;
  ByteView method;
  ArgumentList arguments;
  ASSERT_EQ(parse_request(text, headers, method, arguments), 1);
  EXPECT_EQ(method.data(), text.data());
  EXPECT_EQ(arguments[0].data(), text.data() + text.find("PLAYSYNC"));
}

TEST(ParseRequestTest, OutputsAreResetFirst) {
  HeaderMap headers;
  ByteView method = "stale";
  ArgumentList arguments{"stale"};
  EXPECT_EQ(parse_request("GET Version SAORI/1.0", headers, method, arguments), 0);
  EXPECT_EQ(method, "GET Version");
  EXPECT_THAT(arguments, IsEmpty());
}

}  // namespace
}  // namespace saori

namespace saori {
namespace {

// The parser scans the text in blocks; separators and terminators that fall
// on or across any block boundary must be found all the same.
TEST(ParseRequestTest, SeparatorsAndTerminatorsAtEveryOffset) {
  for (std::size_t pad = 0; pad < 140; ++pad) {
    for (const char* terminator : {"\r\n", "\n", "\r"}) {
      const std::string name = "X" + std::string(pad, 'n');
      const std::string text = "EXECUTE SAORI/1.0\r\n" + name + ":x: " + std::string(pad % 7, ':') +
                               "v" + terminator + "Argument0: a:" + std::string(pad, 'b') +
                               terminator + "Argument1: c";
      const Parsed parsed = parse(text);
      ASSERT_EQ(parsed.count, 2) << pad;
      EXPECT_THAT(parsed.headers,
                  ElementsAre(Pair(name + ":x", std::string(pad % 7, ':') + "v")))
          << pad;
      EXPECT_THAT(parsed.arguments, ElementsAre("a:" + std::string(pad, 'b'), "c")) << pad;
    }
  }
}

}  // namespace
}  // namespace saori

namespace saori {
namespace {

// Many header lines, names repeating in a shifting order and some alike but
// for their case or length: the last value of each name wins, whatever the
// parser does to find names quickly.
TEST(ParseRequestTest, ManyRepeatedHeadersKeepTheLastValueOfEachName) {
  std::string text = "EXECUTE SAORI/1.0\r\n";
  std::map<std::string, std::string> expected{{"SecurityLevel", "Local"}};
  for (int round = 0; round < 5; ++round) {
    for (int i = 0; i < 600; ++i) {
      const int n = (i * 7 + round * 13) % 600;
      std::string name = (n % 3 == 0 ? "x-" : "X-") + std::to_string(n % 300);
      if (n % 5 == 0) name += "-";
      const std::string value = std::to_string(round) + "/" + std::to_string(i);
      text += name + ": " + value + "\r\n";
      expected[name] = value;
    }
  }
  const Parsed parsed = parse(text, HeaderMap{{"SecurityLevel", "Local"}});
  ASSERT_EQ(parsed.headers.size(), expected.size());
  auto want = expected.begin();
  for (const auto& [name, value] : parsed.headers) {
    EXPECT_EQ(name, want->first);
    EXPECT_EQ(value, want->second) << name;
    ++want;
  }
}

}  // namespace
}  // namespace saori
