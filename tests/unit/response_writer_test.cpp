#include "protocol/response_writer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace saori {
namespace {

TEST(ReasonPhraseTest, FullTable) {
  const std::pair<StatusCode, const char*> table[] = {
      {200, "OK"},           {204, "No Content"},         {210, "Break"},
      {300, "Communicate"},  {311, "Not Enough"},         {312, "Advice"},
      {400, "Bad Request"},  {401, "Unauthorized"},       {403, "Forbidden"},
      {404, "Not Found"},    {405, "Method Not Allowed"}, {406, "Not Acceptable"},
      {408, "Request Timeout"}, {409, "Conflict"},        {420, "Refuse"},
      {500, "Internal Server Error"}, {501, "Not Implemented"},
      {503, "Service Unavailable"},   {510, "Not Local IP"},
      {511, "In Black List"},         {512, "Invisible"}};
  for (const auto& [code, phrase] : table) {
    EXPECT_EQ(reason_phrase(code), phrase) << code;
    EXPECT_EQ(ByteView(write_response(nullptr, nullptr, code, {})),
              "SAORI/1.0 " + std::to_string(code) + " " + phrase + "\r\n\r\n");
  }
  for (StatusCode code : {0u, 1u, 100u, 201u, 402u, 502u, 999u, 4294967295u}) {
    EXPECT_EQ(reason_phrase(code), "") << code;
  }
}

struct ResponseCase {
  const char* name;
  StatusCode code;
  std::string result;
  std::string expected;
};

class WriteResponseTest : public testing::TestWithParam<ResponseCase> {};

TEST_P(WriteResponseTest, StatusAndResultLines) {
  const ResponseCase& c = GetParam();
  EXPECT_EQ(ByteView(write_response(nullptr, nullptr, c.code, c.result)), c.expected);
  // The same, straight into a block of exactly its length.
  ASSERT_EQ(response_length(c.code, c.result), c.expected.size());
  const std::unique_ptr<char[]> block(new char[c.expected.size()]);
  write_response(block.get(), c.code, c.result);
  EXPECT_EQ(ByteView(block.get(), c.expected.size()), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WriteResponseTest,
    testing::Values(
        ResponseCase{"Ok", 200, "", "SAORI/1.0 200 OK\r\n\r\n"},
        ResponseCase{"BadRequest", 400, "", "SAORI/1.0 400 Bad Request\r\n\r\n"},
        ResponseCase{"ErrorWithResult", 500, "oops",
                     "SAORI/1.0 500 Internal Server Error\r\nResult: oops\r\n\r\n"},
        ResponseCase{"UnknownCode", 999, "", "SAORI/1.0 999 Unknown Error\r\n\r\n"},
        ResponseCase{"ZeroCode", 0, "", "SAORI/1.0 0 Unknown Error\r\n\r\n"},
        ResponseCase{"LargestCode", 4294967295u, "", "SAORI/1.0 4294967295 Unknown Error\r\n\r\n"},
        ResponseCase{"ResultWrittenUnchanged", 200, "a\r\nb\0c",
                     "SAORI/1.0 200 OK\r\nResult: a\r\nb\r\n\r\n"},
        ResponseCase{"ShiftJisResult", 400, "\x83\x47\x83\x89\x81\x5b",
                     "SAORI/1.0 400 Bad Request\r\nResult: \x83\x47\x83\x89\x81\x5b\r\n\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WriteResponseTest, ResultWithZeroByteKeepsItsLength) {
  const std::string result("a\0b", 3);
  EXPECT_EQ(ByteView(write_response(nullptr, nullptr, 200, result)),
            std::string("SAORI/1.0 200 OK\r\nResult: a\0b\r\n\r\n", 33));
}

TEST(WriteResponseTest, ValuesThenHeadersInOrder) {
  const ValueList values{"first", ""};
  const HeaderMap headers{{"Zeta", "z"}, {"Charset", "Shift_JIS"}, {"Char", "c"}};
  EXPECT_EQ(write_response(&values, &headers, 204, "r"),
            "SAORI/1.0 204 No Content\r\nResult: r\r\nValue0: first\r\nValue1: \r\n"
            "Char: c\r\nCharset: Shift_JIS\r\nZeta: z\r\n\r\n");
}

TEST(WriteResponseTest, ElevenValuesCountInDecimal) {
  ValueList values(11, "v");
  const ByteString response = write_response(&values, nullptr, 200, {});
  EXPECT_NE(response.find("\r\nValue10: v\r\n\r\n"), ByteString::npos);
  EXPECT_NE(response.find("\r\nValue9: v\r\n"), ByteString::npos);
}

TEST(WriteResponseTest, EmptyListAndMapWriteNothing) {
  const ValueList values;
  const HeaderMap headers;
  EXPECT_EQ(write_response(&values, &headers, 200, {}), "SAORI/1.0 200 OK\r\n\r\n");
}

}  // namespace
}  // namespace saori
