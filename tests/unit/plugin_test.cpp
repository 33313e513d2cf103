#include "plugin/plugin.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "support/counting_memory.h"
#include "support/fake_engine.h"
#include "support/shift_jis.h"

namespace saori {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;
using testing_support::CountingMemory;
using testing_support::FakeLibraries;
using testing_support::fake_engine;

class PluginTest : public testing::Test {
 protected:
  void SetUp() override {
    testing_support::reset_fake_engine();
    libraries_.add_complete_engine(u"C:\\ghost\\");
  }
  void TearDown() override {
    plugin_unload(state_, platform_);
    EXPECT_EQ(memory_.live_blocks(), 0u);
    EXPECT_EQ(memory_.bad_releases, 0);
    for (const auto& [path, count] : libraries_.open_counts) {
      EXPECT_EQ(count, 0) << testing_support::narrow(path);
    }
  }

  int load(const std::string& directory) {
    return plugin_load(state_, platform_, memory_.block_of(directory),
                       static_cast<std::int32_t>(directory.size()));
  }

  // Sends `text` as the host would and takes the response back: its bytes,
  // or nothing for a null handle. `length` receives the length set.
  std::optional<std::string> request(const std::string& text, std::int32_t* length = nullptr,
                                     const std::string& extra = "") {
    std::int32_t count = static_cast<std::int32_t>(text.size());
    HostBlock response = plugin_request(state_, platform_, memory_.block_of(text, extra), &count);
    if (length != nullptr) *length = count;
    if (response == nullptr) return std::nullopt;
    // Exactly the response bytes, in a block of that size.
    EXPECT_EQ(memory_.size_of(response), static_cast<std::size_t>(count));
    std::string bytes(static_cast<const char*>(response), static_cast<std::size_t>(count));
    memory_.release(response);
    return bytes;
  }

  CountingMemory memory_;
  FakeLibraries libraries_;
  Platform platform_{libraries_, memory_, system_files()};
  PluginState state_;
};

std::string execute(const std::string& headers) {
  return "EXECUTE SAORI/1.0\r\n" + headers + "\r\n";
}

struct DispatchCase {
  const char* name;
  std::string request;
  std::string response;
  bool command_runs;
};

class DispatchTest : public PluginTest, public testing::WithParamInterface<DispatchCase> {};

TEST_P(DispatchTest, AnswersByMethodAndSecurityLevel) {
  ASSERT_EQ(load("C:\\ghost\\"), 1);
  std::int32_t length = -1;
  EXPECT_EQ(request(GetParam().request, &length), GetParam().response);
  EXPECT_EQ(length, static_cast<std::int32_t>(GetParam().response.size()));
  EXPECT_EQ(fake_engine().play_calls, GetParam().command_runs ? 1 : 0);
}

const std::string ok = "SAORI/1.0 200 OK\r\n\r\n";
const std::string bad_request = "SAORI/1.0 400 Bad Request\r\n\r\n";
const std::string not_local = "SAORI/1.0 500 Internal Server Error\r\n\r\n";
const std::string play = "Argument0: PLAYSYNC\r\nArgument1: text\r\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, DispatchTest,
    testing::Values(
        DispatchCase{"Version", "GET Version SAORI/1.0\r\n\r\n", ok, false},
        DispatchCase{"VersionWithArguments", "GET Version SAORI/1.0\r\n" + play + "\r\n", ok, false},
        DispatchCase{"VersionMinor9", "GET Version SAORI/1.9\r\n", ok, false},
        DispatchCase{"VersionWithExtraLetter", "GET Versionx SAORI/1.0\r\n\r\n", bad_request,
                     false},
        DispatchCase{"VersionWithTrailingSpace", "GET Version  SAORI/1.0\r\n\r\n", bad_request,
                     false},
        DispatchCase{"VersionCut", "GET Versio SAORI/1.0\r\n\r\n", bad_request, false},
        DispatchCase{"ExecuteWithExtraLetter", "EXECUTEx SAORI/1.0\r\n" + play, bad_request, false},
        DispatchCase{"LowerCaseMethod", "execute SAORI/1.0\r\n" + play + "\r\n", bad_request, false},
        DispatchCase{"OtherMethod", "NOTIFY SAORI/1.0\r\n\r\n", bad_request, false},
        DispatchCase{"MethodWithTrailingSpace", "EXECUTE  SAORI/1.0\r\n" + play, bad_request, false},
        DispatchCase{"DefaultIsLocal", execute(play), ok, true},
        DispatchCase{"Local", execute("SecurityLevel: Local\r\n" + play), ok, true},
        DispatchCase{"LowerCaseLocal", execute("SecurityLevel: local\r\n" + play), ok, true},
        DispatchCase{"UpperCaseLocal", execute(play + "SecurityLevel: LOCAL\r\n"), ok, true},
        DispatchCase{"LocalThenZeroByte",
                     execute(std::string("SecurityLevel: Local\0junk\r\n", 27) + play), ok, true},
        DispatchCase{"ZeroByteBeforeLocal",
                     execute(std::string("SecurityLevel: \0Local\r\n", 22) + play), not_local,
                     false},
        DispatchCase{"LocalWithExtraLetter", execute("SecurityLevel: Locals\r\n" + play), not_local,
                     false},
        DispatchCase{"External", execute("SecurityLevel: External\r\n" + play), not_local, false},
        DispatchCase{"TrailingSpace", execute("SecurityLevel: Local \r\n" + play), not_local, false},
        DispatchCase{"EmptyLevel", execute("SecurityLevel: \r\n" + play), not_local, false},
        DispatchCase{"LastLevelWins",
                     execute("SecurityLevel: Local\r\nSecurityLevel: External\r\n" + play),
                     not_local, false},
        DispatchCase{"OtherCaseNameIsAnotherHeader",
                     execute("securitylevel: External\r\n" + play), ok, true},
        DispatchCase{"LongerNameIsAnotherHeader",
                     execute("SecurityLevelX: External\r\n" + play), ok, true},
        DispatchCase{"ShorterNameIsAnotherHeader",
                     execute("SecurityLeve: External\r\n" + play), ok, true},
        DispatchCase{"HostHeaders",
                     execute("Charset: Shift_JIS\r\nSender: host\r\n" + play), ok, true},
        DispatchCase{"LoneLfLines", "EXECUTE SAORI/1.0\nArgument0: PLAYSYNC\nArgument1: t\n", ok,
                     true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PluginTest, AnswersWithoutResultHaveTheirFixedLengths) {
  ASSERT_EQ(load("C:\\ghost\\"), 1);
  std::int32_t length = 0;
  request("GET Version SAORI/1.0\r\n\r\n", &length);
  EXPECT_EQ(length, 20);
  request("execute SAORI/1.0\r\n\r\n", &length);
  EXPECT_EQ(length, 29);
  request(execute("SecurityLevel: External\r\n"), &length);
  EXPECT_EQ(length, 39);
}

TEST_F(PluginTest, CommandFailureCarriesItsResultLine) {
  ASSERT_EQ(load("C:\\ghost\\"), 1);
  EXPECT_EQ(request(execute("Argument0: SING\r\n")),
            "SAORI/1.0 500 Internal Server Error\r\nResult: " +
                to_shift_jis("エラー：不明な命令です") + "\r\n\r\n");
}

TEST_F(PluginTest, ArgumentsReachTheEngine) {
  ASSERT_EQ(load("C:\\ghost\\"), 1);
  const std::string text = to_shift_jis("おはよう");
  // Out of order: index 2 pads entries 0 and 1 with empty texts and the
  // later lines are appended, so entry 0 names no command.
  EXPECT_EQ(request(execute("Argument2: 180\r\nArgument0: PLAYSYNC\r\nArgument1: " + text + "\r\n")),
            "SAORI/1.0 500 Internal Server Error\r\nResult: " +
                to_shift_jis("エラー：不明な命令です") + "\r\n\r\n");
  EXPECT_EQ(fake_engine().play_calls, 0);
  EXPECT_EQ(request(execute("Argument0: PLAYSYNC\r\nArgument1: " + text + "\r\nArgument2: 180\r\n")),
            ok);
  EXPECT_EQ(fake_engine().last_text, text);
  EXPECT_EQ(fake_engine().last_speed, 180);
}

struct MalformedCase {
  const char* name;
  std::string request;
};

class MalformedTest : public PluginTest, public testing::WithParamInterface<MalformedCase> {};

TEST_P(MalformedTest, NullHandleAndLengthZero) {
  std::int32_t length = -1;
  EXPECT_EQ(request(GetParam().request, &length), std::nullopt);
  EXPECT_EQ(length, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MalformedTest,
    testing::Values(MalformedCase{"Empty", ""}, MalformedCase{"NoToken", "EXECUTE\r\n\r\n"},
                    MalformedCase{"Version2", "GET Version SAORI/2.0\r\n"},
                    MalformedCase{"LeadingEmptyLine", "\r\nGET Version SAORI/1.0\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// What the plug-in takes from a host's block holding `text` and then `rest`
// (or from an empty block): through load, the directory it keeps; through
// request, the text that reaches the engine. Never more than the stated
// length, nor than the block holds where the allocator can tell
// (AddressSanitizer sees any byte read past the block); nothing for a
// negative length.
struct BlockCase {
  const char* name;
  std::string rest;
  std::int32_t length;
  bool size_known;
  bool taken;  // the whole text, or nothing
  bool empty_block = false;
};

TEST_F(PluginTest, TakesTheStatedBytesThatTheBlockHolds) {
  const std::string text = "EXECUTE SAORI/1.0\r\nArgument0: PLAYSYNC\r\nArgument1: abc";
  const auto size = static_cast<std::int32_t>(text.size());
  const BlockCase cases[] = {
      {"a zero byte after the stated bytes", std::string(1, '\0'), size, true, true},
      {"more lines after the stated bytes", "def\r\nArgument2: 200\r\n", size, true, true},
      {"a length one byte beyond the block", "", size + 1, true, true},
      {"a length megabytes beyond the block", "", size + (64 << 20), true, true},
      {"a block whose size cannot be told", "def", size, false, true},
      {"a negative length", "", -1, true, false},
      {"a length of zero", "", 0, true, false},
      // A size of 0 is a size told, not one that cannot be.
      {"a zero-byte block with a length", "", size, true, false, true},
  };
  for (const BlockCase& c : cases) {
    SCOPED_TRACE(c.name);
    memory_.sizes_known = c.size_known;
    const auto block = [&] { return c.empty_block ? memory_.block_of("") : memory_.block_of(text, c.rest); };
    plugin_load(state_, platform_, block(), c.length);
    EXPECT_EQ(state_.directory, c.taken ? text : "");

    ASSERT_EQ(load("C:\\ghost\\"), 1);
    testing_support::reset_fake_engine();
    std::int32_t length = c.length;
    HostBlock answer = plugin_request(state_, platform_, block(), &length);
    EXPECT_EQ(answer != nullptr, c.taken);
    EXPECT_EQ(fake_engine().last_text, c.taken ? "abc" : "");
    if (answer != nullptr) memory_.release(answer);
  }
}

TEST_F(PluginTest, UnusableBlocksAndLengths) {
  // A null block with a length is an empty request: malformed.
  std::int32_t length = 25;
  EXPECT_EQ(plugin_request(state_, platform_, nullptr, &length), nullptr);
  EXPECT_EQ(length, 0);

  // No length pointer: the block is freed, nothing is answered.
  EXPECT_EQ(plugin_request(state_, platform_, memory_.block_of("GET Version SAORI/1.0"), nullptr),
            nullptr);
  EXPECT_EQ(plugin_request(state_, platform_, nullptr, nullptr), nullptr);
}

TEST_F(PluginTest, ResponseBlockThatCannotBeHadLeavesTheLengthSet) {
  HostBlock block = memory_.block_of("GET Version SAORI/1.0\r\n\r\n");
  std::int32_t length = 25;
  memory_.fail_allocations = true;
  EXPECT_EQ(plugin_request(state_, platform_, block, &length), nullptr);
  EXPECT_EQ(length, 20);
  memory_.fail_allocations = false;
}

TEST_F(PluginTest, LoadKeepsTheDirectoryAndBinds) {
  EXPECT_EQ(load("C:\\ghost\\"), 1);
  EXPECT_EQ(state_.directory, "C:\\ghost\\");
  EXPECT_TRUE(state_.engine.bound());
  // A null block keeps the directory; binding again releases the old one.
  EXPECT_EQ(plugin_load(state_, platform_, nullptr, 99), 1);
  EXPECT_EQ(state_.directory, "C:\\ghost\\");
  EXPECT_EQ(libraries_.open_counts[u"C:\\ghost\\AquesTalk.dll"], 1);
  EXPECT_EQ(plugin_unload(state_, platform_), 1);
  EXPECT_FALSE(state_.engine.bound());
  EXPECT_EQ(libraries_.open_counts[u"C:\\ghost\\AquesTalk.dll"], 0);
}

TEST_F(PluginTest, FirstLoadWithNullBlockUsesBareFileNames) {
  EXPECT_EQ(plugin_load(state_, platform_, nullptr, 0), 0);
  EXPECT_THAT(libraries_.calls, ElementsAre("to_wide 0 0", "open AquesTalk.dll"));
  libraries_.add_complete_engine(u"");
  EXPECT_EQ(plugin_load(state_, platform_, nullptr, 0), 1);
}

TEST_F(PluginTest, LoadCopiesExactlyTheCountedBytes) {
  // Counted zero byte: it stays in the directory, and binding then fails.
  const std::string counted("C:\\ghost\\\0", 10);
  EXPECT_EQ(plugin_load(state_, platform_, memory_.block_of(counted), 10), 0);
  EXPECT_EQ(state_.directory, counted);
  // A shorter count cuts the directory.
  EXPECT_EQ(plugin_load(state_, platform_, memory_.block_of("C:\\ghost\\more"), 9), 1);
}

TEST_F(PluginTest, LoadAnswersZeroWhenTheEngineIsIncomplete) {
  EXPECT_EQ(load("C:\\elsewhere\\"), 0);
  EXPECT_FALSE(state_.engine.bound());
  std::int32_t length = 0;
  const auto response = request(execute(play), &length);
  ASSERT_TRUE(response.has_value());
  EXPECT_EQ(*response, "SAORI/1.0 400 Bad Request\r\nResult: " +
                           to_shift_jis("エラー：PLAYSYNC：音声エンジンが読み込まれていません") +
                           "\r\n\r\n");
  EXPECT_THAT(fake_engine().events, IsEmpty());
}

TEST_F(PluginTest, UnloadTwiceReleasesOnce) {
  ASSERT_EQ(load("C:\\ghost\\"), 1);
  libraries_.calls.clear();
  EXPECT_EQ(plugin_unload(state_, platform_), 1);
  EXPECT_EQ(plugin_unload(state_, platform_), 1);
  EXPECT_THAT(libraries_.calls,
              ElementsAre("close C:\\ghost\\AquesTalk.dll", "close C:\\ghost\\AquesTalkDa.dll"));
}

}  // namespace
}  // namespace saori
