// Every prefix of a few requests, read from a heap block of exactly its
// length, so that AddressSanitizer reports a read one byte past the end on
// every run. (A std::string's own terminating zero would hide it.)
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "plugin/plugin.h"
#include "plugin/request_memory.h"
#include "protocol/request_parser.h"

namespace saori {
namespace {

using namespace std::string_literals;

const std::string long_value(70, 'v');  // spans more than one scan block

const std::string requests[] = {
    "EXECUTE SAORI/1.0\r\nSecurityLevel: Local\r\nArgument0: PLAYSYNC\r\n"
    "Argument1: \x82\xb1\x82\xf1\x82\xc9\x82\xbf\x82\xcd\r\nArgument2: 120\r\n\r\n",
    "GET Version SAORI/1.9\nargument00: x\rArgument 1: y\r\n\n: empty\nX:Y\nA: b: c\n\r",
    "EXECUTE SAORI/1.0\r\nX-Long: " + long_value + "\r\nArgument0: CREATEWAV\r\nArgument3: 50\r" +
        "Argument65535: z\r\nSecurityLevel: lOcAl\0tail\r\nName:: "s + long_value + ":",
    "EXECUTE SAORI/1.0\r\rSecurityLevel: External\n\rArgumentX: 1\r\nArgument-1: 2\r\nArgument",
    // Names that only begin or end like SecurityLevel, or differ in case,
    // between lines that set it.
    "EXECUTE SAORI/1.0\nSecurityLevel: Local\nSecurityLevelX: External\nsecuritylevel: External\n"
    "SecurityLeve: External\nXSecurityLevel: External\nSecurityLevel: LOCAL\nSecurityLevel: Ext",
};

TEST(ExactSizeBuffers, EveryPrefixIsReadInsideItsBlock) {
  PluginState state;  // no engine: commands answer without calling one
  for (const std::string& request : requests) {
    for (std::size_t length = 0; length <= request.size(); ++length) {
      SCOPED_TRACE(testing::Message() << "prefix of " << length << " bytes of " << request);
      const std::unique_ptr<char[]> block(new char[length]);
      if (length > 0) std::memcpy(block.get(), request.data(), length);
      const ByteView text(block.get(), length);

      for (std::size_t position = 0; position < length; ++position) read_line(text, position);

      HeaderMap headers{{"SecurityLevel", "Local"}};
      ByteView method;
      ArgumentList arguments;
      const int count = parse_request(text, headers, method, arguments);

      // Keeping one header finds what the map holds for it, and the same
      // arguments.
      std::size_t next = 0;
      ASSERT_EQ(parse_request_line(text, method, next), count >= 0);
      if (count >= 0) {
        ByteView level = "Local";
        ArgumentList kept;
        EXPECT_EQ(parse_header_lines(text, next, "SecurityLevel", level, kept), count);
        EXPECT_EQ(level, headers.at("SecurityLevel"));
        EXPECT_EQ(kept, arguments);
      }

      RequestMemory memory;
      ByteString response(memory.allocator());
      EXPECT_EQ(answer_request(state, text, response), count >= 0);
    }
  }
}

}  // namespace
}  // namespace saori
