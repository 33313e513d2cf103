// Every prefix of a few requests, read from a heap block of exactly its
// length, so that AddressSanitizer reports a read one byte past the end on
// every run (a std::string's own terminating zero would hide it); and blocks
// of request memory that end exactly at its buffer's end, or just before or
// after it.
#include <gtest/gtest.h>

#include <algorithm>
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
      EXPECT_EQ(answer_request(state, system_files(), text, response), count >= 0);
    }
  }
}

// Blocks of every size around the end of the request memory's buffer, after
// a first block that moves where they start. Each block is filled whole,
// with zero bytes, which would also clear any count of the buffer's use that
// a block reaching past the buffer overwrote; blocks must not overlap, and a
// block written past the memory itself is seen by AddressSanitizer.
TEST(ExactSizeBuffers, RequestMemoryBlocksStayInsideTheBuffer) {
  constexpr std::size_t end = RequestMemory::buffer_size;
  for (const std::size_t first : {0, 1, 24}) {
    for (std::size_t size = end - first - 16; size <= end - first + 16; ++size) {
      SCOPED_TRACE(testing::Message() << size << " bytes after " << first);
      RequestMemory memory;
      std::pmr::memory_resource& resource = *memory.allocator().resource();
      void* const before = first > 0 ? resource.allocate(first, 1) : nullptr;
      auto* const block = static_cast<unsigned char*>(resource.allocate(size, 1));
      std::memset(block, 0, size);
      auto* const next = static_cast<unsigned char*>(resource.allocate(16, 8));
      std::memset(next, 0xff, 16);
      EXPECT_EQ(std::count(block, block + size, 0), static_cast<std::ptrdiff_t>(size));
      resource.deallocate(next, 16, 8);
      resource.deallocate(block, size, 1);
      if (before != nullptr) resource.deallocate(before, first, 1);
    }
  }
}

}  // namespace
}  // namespace saori
