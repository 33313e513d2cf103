#include "engine/speech_commands.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/fake_engine.h"
#include "support/shift_jis.h"
#include "support/standin_log.h"

namespace saori {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;
using testing_support::fake_binding;
using testing_support::fake_engine;

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Whether this process holds a descriptor on the file at `path`: an open
// stream, flushed or not, shows here until it is closed.
bool file_is_open(const std::string& path) {
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) == nullptr) return false;
  bool open = false;
  if (DIR* fds = opendir("/proc/self/fd")) {
    while (const dirent* entry = readdir(fds)) {
      char target[PATH_MAX];
      const std::string link = std::string("/proc/self/fd/") + entry->d_name;
      const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
      if (n > 0 && std::string(target, static_cast<std::size_t>(n)) == resolved) open = true;
    }
    closedir(fds);
  }
  return open;
}

bool file_exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

// Owns the strings an ArgumentList points into.
struct Arguments {
  std::vector<std::string> texts;
  ArgumentList list() const {
    ArgumentList list;
    for (const std::string& text : texts) list.emplace_back(text);
    return list;
  }
};

class SpeechCommandsTest : public testing::Test {
 protected:
  void SetUp() override {
    testing_support::reset_fake_engine();
    char name[] = "/tmp/speech-commands-XXXXXX";
    directory_ = mkdtemp(name);
    wav_ = directory_ + "/out.wav";
  }
  void TearDown() override {
    std::remove(wav_.c_str());
    rmdir(directory_.c_str());
    testing_support::reset_fake_engine();
  }

  CommandOutcome run(std::vector<std::string> texts) {
    Arguments arguments{std::move(texts)};
    VoiceFolder voice{directory_, voice_files_, system_files()};
    return execute_command(arguments.list(), binding_, voice);
  }

  EngineBinding binding_ = fake_binding();
  VoiceFiles voice_files_;
  std::string directory_;
  std::string wav_;
};

struct MessageCase {
  const char* name;
  std::vector<std::string> arguments;
  StatusCode status;
  const char* utf8_message;  // checked through iconv's CP932 encoder
};

class CommandMessageTest : public SpeechCommandsTest,
                           public testing::WithParamInterface<MessageCase> {};

TEST_P(CommandMessageTest, AnswersStatusAndShiftJisMessage) {
  const CommandOutcome outcome = run(GetParam().arguments);
  EXPECT_EQ(outcome.status, GetParam().status);
  EXPECT_EQ(ByteView(outcome.result), to_shift_jis(GetParam().utf8_message));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandMessageTest,
    testing::Values(
        MessageCase{"EmptyList", {}, 500, "エラー：引数がありません"},
        MessageCase{"LowerCaseWord", {"playsync", "a"}, 500, "エラー：不明な命令です"},
        MessageCase{"EmptyWord", {"", "a"}, 500, "エラー：不明な命令です"},
        MessageCase{"PlaySyncAlone", {"PLAYSYNC"}, 500,
                    "エラー：PLAYSYNC：PLAYSYNCには１つか２つの引数を指定してください"},
        MessageCase{"CreateWavAlone", {"CREATEWAV"}, 500,
                    "エラー：CREATEWAV：２つか３つの引数を指定してください"},
        MessageCase{"CreateWavPathOnly", {"CREATEWAV", "/tmp/x.wav"}, 500,
                    "エラー：CREATEWAV：２つか３つの引数を指定してください"},
        MessageCase{"OpenFails", {"CREATEWAV", "/nonexistent-dir/x.wav", "a"}, 400,
                    "エラー：CREATEWAV：ファイルを開くのに失敗しました"},
        MessageCase{"WriteFails", {"CREATEWAV", "/dev/full", "a"}, 400,
                    "エラー：CREATEWAV：ファイルの書き込みに失敗しました"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SpeechCommandsTest, FailuresBeforeTheEngineCallNothing) {
  for (const auto& arguments : std::vector<std::vector<std::string>>{
           {}, {"PLAYSYNC"}, {"CREATEWAV", wav_}, {"nothing", "a"},
           {"CREATEWAV", directory_ + "/missing/x.wav", "a"}}) {
    run(arguments);
  }
  EXPECT_THAT(fake_engine().events, IsEmpty());
  EXPECT_FALSE(file_exists(wav_));
}

TEST_F(SpeechCommandsTest, CommandWordIsFoundAnywhereAndPlaySyncWins) {
  for (const char* word : {"PLAYSYNC", "xxPLAYSYNCyy", "CREATEWAV PLAYSYNC", "PLAYSYNCREATEWAV"}) {
    testing_support::reset_fake_engine();
    const CommandOutcome outcome = run({word, "text"});
    EXPECT_EQ(outcome.status, 200u) << word;
    EXPECT_THAT(fake_engine().events, ElementsAre("play")) << word;
  }
  const CommandOutcome outcome = run({"--CREATEWAV--", wav_, "text"});
  EXPECT_EQ(outcome.status, 200u);
  EXPECT_EQ(fake_engine().synthe_calls, 1);
}

struct SpeedCase {
  const char* name;
  std::vector<std::string> extra;  // entries after the text
  std::int32_t speed;
};

class SpeedTest : public SpeechCommandsTest, public testing::WithParamInterface<SpeedCase> {};

TEST_P(SpeedTest, PlaySyncReadsEntryTwo) {
  std::vector<std::string> arguments{"PLAYSYNC", "text"};
  arguments.insert(arguments.end(), GetParam().extra.begin(), GetParam().extra.end());
  EXPECT_EQ(run(arguments).status, 200u);
  EXPECT_EQ(fake_engine().last_speed, GetParam().speed);
}

TEST_P(SpeedTest, CreateWavReadsEntryThree) {
  std::vector<std::string> arguments{"CREATEWAV", wav_, "text"};
  arguments.insert(arguments.end(), GetParam().extra.begin(), GetParam().extra.end());
  EXPECT_EQ(run(arguments).status, 200u);
  EXPECT_EQ(fake_engine().last_speed, GetParam().speed);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SpeedTest,
    testing::Values(SpeedCase{"Absent", {}, 100}, SpeedCase{"Typical", {"120"}, 120},
                    SpeedCase{"Below", {"49"}, 100}, SpeedCase{"LowEdge", {"50"}, 50},
                    SpeedCase{"HighEdge", {"300"}, 300}, SpeedCase{"Above", {"301"}, 100},
                    SpeedCase{"Empty", {""}, 100}, SpeedCase{"NoDigits", {"abc"}, 100},
                    SpeedCase{"Negative", {"-120"}, 100},
                    SpeedCase{"SpaceAndTrailingText", {" 150x"}, 150},
                    SpeedCase{"TabAndPlus", {"\t+200"}, 200},
                    // 4294967446 would wrap to 150; it saturates instead.
                    SpeedCase{"WouldWrapIntoRange", {"4294967446"}, 100},
                    SpeedCase{"FarAbove", {"99999999999999999999"}, 100},
                    SpeedCase{"LaterEntriesIgnored", {"250", "77", "88"}, 250}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SpeechCommandsTest, PlaySyncHandsOverTheTextUpToItsFirstZeroByte) {
  const std::string text = to_shift_jis("こんにちは");
  EXPECT_EQ(run({"PLAYSYNC", text + std::string("\0tail", 5), "200", "x", "y"}).status, 200u);
  EXPECT_EQ(fake_engine().last_text, text);
  EXPECT_EQ(fake_engine().last_speed, 200);
}

TEST_F(SpeechCommandsTest, PlaySyncErrorCarriesTheEngineNumber) {
  for (const auto& [number, digits] : {std::pair<std::int32_t, const char*>{7, "7"},
                                       {-5, "-5"},
                                       {INT32_MIN, "-2147483648"}}) {
    fake_engine().play_result = number;
    const CommandOutcome outcome = run({"PLAYSYNC", "text"});
    EXPECT_EQ(outcome.status, 400u);
    EXPECT_EQ(ByteView(outcome.result),
              to_shift_jis(std::string("エラー：PLAYSYNC：PlaySyncのエラー(") + digits + ")"));
  }
}

TEST_F(SpeechCommandsTest, CreateWavWritesExactlyTheEngineBytes) {
  // Binary mode: CR, LF, CR LF, 0x1A and zero bytes must survive unchanged.
  fake_engine().wave = std::string("\r\n\x1a\0\nA\r\0\xff", 9);
  const CommandOutcome outcome = run({"CREATEWAV", wav_, "text"});
  EXPECT_EQ(outcome.status, 200u);
  EXPECT_TRUE(outcome.result.empty());
  EXPECT_EQ(read_file(wav_), fake_engine().wave);
  EXPECT_THAT(fake_engine().events, ElementsAre("synthe", "free"));
  EXPECT_EQ(fake_engine().free_of_unknown_buffer, 0);
}

TEST_F(SpeechCommandsTest, CreateWavFreesTheBufferAfterTheFileIsClosed) {
  fake_engine().wave = std::string(100, 'w');
  std::string seen_at_free;
  bool open_at_free = true;
  fake_engine().on_free = [&] {
    seen_at_free = read_file(wav_);
    open_at_free = file_is_open(wav_);
  };
  EXPECT_EQ(run({"CREATEWAV", wav_, "text"}).status, 200u);
  // Still buffered in the stream unless the file was closed before the free.
  EXPECT_EQ(seen_at_free, fake_engine().wave);
  // Flushed is not enough: the file is closed before the buffer goes back.
  EXPECT_FALSE(open_at_free);
  EXPECT_EQ(fake_engine().free_calls, 1);
}

TEST_F(SpeechCommandsTest, CreateWavReplacesAnExistingFile) {
  std::ofstream(wav_, std::ios::binary) << std::string(5000, 'o');
  fake_engine().wave = "new";
  EXPECT_EQ(run({"CREATEWAV", wav_, "text"}).status, 200u);
  EXPECT_EQ(read_file(wav_), "new");
}

TEST_F(SpeechCommandsTest, CreateWavWithZeroSizeLeavesAnEmptyFile) {
  std::ofstream(wav_, std::ios::binary) << "old";
  fake_engine().wave = "";
  EXPECT_EQ(run({"CREATEWAV", wav_, "text"}).status, 200u);
  EXPECT_TRUE(file_exists(wav_));
  EXPECT_EQ(read_file(wav_), "");
  EXPECT_EQ(fake_engine().free_calls, 1);
}

struct SyntheFailureCase {
  const char* name;
  bool null_buffer;
  bool engine_writes_size;
  std::int32_t size;
  const char* digits;
  int frees;
};

class SyntheFailureTest : public SpeechCommandsTest,
                          public testing::WithParamInterface<SyntheFailureCase> {};

TEST_P(SyntheFailureTest, LeavesAnEmptyClosedFileAndReportsTheSize) {
  std::ofstream(wav_, std::ios::binary) << "old contents";
  const SyntheFailureCase& c = GetParam();
  if (c.null_buffer) {
    fake_engine().synthe_fails = true;
    fake_engine().write_size_on_failure = c.engine_writes_size;
    fake_engine().size_on_failure = c.size;
  } else {
    fake_engine().override_size = true;
    fake_engine().reported_size = c.size;
  }
  const CommandOutcome outcome = run({"CREATEWAV", wav_, "text", "120"});
  EXPECT_EQ(outcome.status, 400u);
  EXPECT_EQ(ByteView(outcome.result),
            to_shift_jis(std::string("エラー：CREATEWAV：Syntheのエラー(") + c.digits + ")"));
  EXPECT_TRUE(file_exists(wav_));
  EXPECT_EQ(read_file(wav_), "");
  EXPECT_EQ(fake_engine().free_calls, c.frees);
  EXPECT_FALSE(file_is_open(wav_));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SyntheFailureTest,
    testing::Values(SyntheFailureCase{"NullWithNumber", true, true, 321, "321", 0},
                    SyntheFailureCase{"NullWithoutNumber", true, false, 0, "0", 0},
                    SyntheFailureCase{"NullWithNegativeNumber", true, true, -2, "-2", 0},
                    SyntheFailureCase{"NegativeSizeBuffer", false, true, -7, "-7", 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SpeechCommandsTest, WriteFailureStillFreesTheBufferOnce) {
  fake_engine().wave = std::string(70000, 'x');  // more than one stream buffer
  EXPECT_EQ(run({"CREATEWAV", "/dev/full", "text"}).status, 400u);
  EXPECT_EQ(fake_engine().free_calls, 1);
  EXPECT_EQ(fake_engine().free_of_unknown_buffer, 0);
}

TEST_F(SpeechCommandsTest, PathAndTextEndAtTheirFirstZeroByte) {
  EXPECT_EQ(run({"CREATEWAV", wav_ + std::string("\0.junk", 6), std::string("ab\0cd", 5)}).status,
            200u);
  EXPECT_TRUE(file_exists(wav_));
  EXPECT_EQ(fake_engine().last_text, "ab");
}

TEST_F(SpeechCommandsTest, UnboundEngineIsNeverCalled) {
  binding_ = EngineBinding{};
  std::ofstream(wav_, std::ios::binary) << "keep me";

  CommandOutcome outcome = run({"PLAYSYNC", "text"});
  EXPECT_EQ(outcome.status, 400u);
  EXPECT_EQ(ByteView(outcome.result), to_shift_jis("エラー：PLAYSYNC：音声エンジンが読み込まれていません"));

  outcome = run({"CREATEWAV", wav_, "text"});
  EXPECT_EQ(outcome.status, 400u);
  EXPECT_EQ(ByteView(outcome.result), to_shift_jis("エラー：CREATEWAV：音声エンジンが読み込まれていません"));
  EXPECT_EQ(read_file(wav_), "keep me");

  // The argument counts are still checked first.
  EXPECT_EQ(run({"PLAYSYNC"}).status, 500u);
  EXPECT_EQ(run({"CREATEWAV", wav_}).status, 500u);
  EXPECT_THAT(fake_engine().events, IsEmpty());
}

// Against the stand-in engine through the real loader: the file is the
// engine's waveform, byte for byte, and it is a playable RIFF/WAVE file.
TEST_F(SpeechCommandsTest, StandinEngineWaveReachesTheFileUnchanged) {
  StandinLog log;
  EngineBinding binding;
  ASSERT_TRUE(bind_engine(binding, system_libraries(),
                          std::string(SAORI_STANDIN_DIR) + "complete/"));
  const std::string text = to_shift_jis("こんにちは、世界");
  Arguments arguments{{"CREATEWAV", wav_, text, "150"}};
  VoiceFolder voice{directory_, voice_files_, system_files()};
  EXPECT_EQ(execute_command(arguments.list(), binding, voice).status, 200u);
  release_engine(binding, system_libraries());

  const std::string wave = read_file(wav_);
  ASSERT_GE(wave.size(), 44u);
  EXPECT_EQ(wave.substr(0, 4), "RIFF");
  EXPECT_EQ(wave.substr(8, 8), "WAVEfmt ");
  std::uint32_t fnv = 2166136261u;
  for (unsigned char byte : wave) fnv = (fnv ^ byte) * 16777619u;
  char expected[128];
  std::snprintf(expected, sizeof expected, "synthe speed=150 size=%zu fnv=%08x text=", wave.size(),
                fnv);
  const auto synthe = log.lines_starting("synthe");
  ASSERT_EQ(synthe.size(), 1u);
  EXPECT_EQ(synthe[0].substr(0, std::strlen(expected)), expected);
  EXPECT_EQ(log.lines_starting("freewave"), std::vector<std::string>{"freewave"});
}

// VOICE on the real file system: the folder made beside the plug-in's, the
// stand-in's wave in the file the tag names, an existing name passed over.
TEST_F(SpeechCommandsTest, VoiceWritesTheStandinWaveIntoItsOwnFolder) {
  StandinLog log;
  ASSERT_TRUE(bind_engine(binding_, system_libraries(), std::string(SAORI_STANDIN_DIR) + "complete/"));
  const std::string folder = directory_ + "/voice/";
  Arguments arguments{{"VOICE", to_shift_jis("こんにちは")}};
  const std::string plugin_directory = directory_ + "/";
  VoiceFolder voice{plugin_directory, voice_files_, system_files()};
  CommandOutcome first = execute_command(arguments.list(), binding_, voice);
  EXPECT_EQ(std::string(first.result), "\\_v[" + folder + "speech_1.wav]");
  std::ofstream(folder + "speech_2.wav") << "not ours to replace";
  CommandOutcome second = execute_command(arguments.list(), binding_, voice);
  EXPECT_EQ(std::string(second.result), "\\_v[" + folder + "speech_3.wav]");
  release_engine(binding_, system_libraries());

  EXPECT_EQ(read_file(folder + "speech_2.wav"), "not ours to replace");
  const std::string wave = read_file(folder + "speech_3.wav");
  ASSERT_EQ(read_file(folder + "speech_1.wav"), wave);
  std::uint32_t fnv = 2166136261u;
  for (unsigned char byte : wave) fnv = (fnv ^ byte) * 16777619u;
  char expected[64];
  std::snprintf(expected, sizeof expected, " size=%zu fnv=%08x ", wave.size(), fnv);
  EXPECT_THAT(log.lines_starting("synthe"), testing::Each(testing::HasSubstr(expected)));
  for (const char* name : {"speech_1.wav", "speech_2.wav", "speech_3.wav"}) {
    std::remove((folder + name).c_str());
  }
  rmdir(folder.c_str());
}

}  // namespace
}  // namespace saori
