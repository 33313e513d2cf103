// VOICE through the file-system seam: an in-memory folder whose files can be
// held open by someone else, and whose operations can be made to fail.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/speech_commands.h"
#include "support/fake_engine.h"
#include "support/shift_jis.h"

namespace saori {
namespace {

using testing::ElementsAreArray;
using testing_support::fake_engine;

class FakeFiles final : public FileSystem {
 public:
  std::set<std::string> folders{"/ghost/"};
  std::map<std::string, std::string> files;  // path: contents
  std::set<std::string> held;                // open elsewhere, shared with no one
  bool folders_fail = false, write_fails = false, close_fails = false;

  bool make_folder(const char* path) override {
    if (!folders_fail) folders.insert(path);
    return !folders_fail;
  }
  File create_new(const char* path) override {
    const std::string p = path;
    if (folders.count(p.substr(0, p.rfind('/') + 1)) == 0 || files.count(p) != 0) return nullptr;
    files[p];
    return new std::string(p);
  }
  bool write(File file, const unsigned char* bytes, std::size_t size) override {
    files[*static_cast<std::string*>(file)].assign(reinterpret_cast<const char*>(bytes),
                                                   write_fails ? size / 2 : size);
    return !write_fails;
  }
  bool close(File file) override {
    delete static_cast<std::string*>(file);
    return !close_fails;
  }
  bool remove(const char* path) override {
    if (held.count(path) != 0) return false;
    files.erase(path);
    return true;
  }
  void list(const char* folder, Visitor& visitor) override {
    for (const std::string& name : names_in(folder)) visitor.visit(name);
  }
  // Shift_JIS: a second byte may be 0x5D, "]".
  bool is_lead_byte(unsigned char b) override { return (b >= 0x81 && b <= 0x9f) || b >= 0xe0; }

  std::vector<std::string> names_in(const std::string& folder) const {
    std::vector<std::string> names;
    for (const auto& [path, contents] : files) {
      if (path.compare(0, folder.size(), folder) == 0) names.push_back(path.substr(folder.size()));
    }
    return names;
  }
};

const std::string folder = "/ghost/voice/";
std::string name(int n) { return "speech_" + std::to_string(n) + ".wav"; }
std::string tag_of(int n) { return "\\_v[" + folder + name(n) + "]"; }

class VoiceTest : public testing::Test {
 protected:
  void SetUp() override { testing_support::reset_fake_engine(); }

  // The answer to VOICE with these arguments (after the command word), the
  // engine's wave being "wave <text>".
  std::string voice(std::vector<std::string> texts, const std::string& directory = "/ghost/") {
    if (!texts.empty()) fake_engine().wave = "wave " + texts[0];
    texts.insert(texts.begin(), "VOICE");
    const ArgumentList arguments(texts.begin(), texts.end());
    VoiceFolder target{directory, voice_files_, files_};
    const CommandOutcome outcome = execute_command(arguments, binding_, target);
    status_ = outcome.status;
    return std::string(outcome.result);
  }

  FakeFiles files_;
  VoiceFiles voice_files_;
  EngineBinding binding_ = testing_support::fake_binding();
  StatusCode status_ = 0;
};

TEST_F(VoiceTest, EveryVoiceGetsANewNameAndOnlyTheNewestFilesStay) {
  std::vector<std::string> kept;
  for (int n = 1; n <= 200; ++n) {
    ASSERT_EQ(voice({std::to_string(n), "130"}), tag_of(n));
    ASSERT_EQ(status_, 200u);
    if (n > 200 - 64) kept.push_back(name(n));
  }
  EXPECT_EQ(fake_engine().last_speed, 130);
  std::sort(kept.begin(), kept.end());
  EXPECT_THAT(files_.names_in(folder), ElementsAreArray(kept));
  EXPECT_EQ(files_.files[folder + name(137)], "wave 137");
  EXPECT_EQ(fake_engine().free_calls, 200);
  // A new load reads the folder again and goes on after the highest there.
  voice_files_ = VoiceFiles{};
  EXPECT_EQ(voice({"again"}), tag_of(201));
}

struct FolderCase {
  const char* name;
  std::vector<std::string> there;  // files in the folder at the load
  int first;                       // number of the first name written
  std::vector<std::string> after;  // the folder after that VOICE
};

class VoiceFolderTest : public VoiceTest, public testing::WithParamInterface<FolderCase> {};

TEST_P(VoiceFolderTest, FirstVoiceOfALoadGoesOnAfterTheHighestAndRemovesOnlyItsOwnOld) {
  files_.folders.insert(folder);
  for (const std::string& n : GetParam().there) files_.files[folder + n] = "old";
  EXPECT_EQ(voice({"new"}), tag_of(GetParam().first));
  EXPECT_THAT(files_.names_in(folder), ElementsAreArray(GetParam().after));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VoiceFolderTest,
    testing::Values(
        FolderCase{"OthersNames",
                   {"notes.txt", "speech_01.wav", "speech_.wav", "speech_5.wav.bak", "voice1.wav",
                    "speech_1234567890.wav", "speech_1x.wav"},
                   1,
                   {"notes.txt", "speech_.wav", "speech_01.wav", "speech_1.wav",
                    "speech_1234567890.wav", "speech_1x.wav", "speech_5.wav.bak", "voice1.wav"}},
        FolderCase{"OwnNameInOtherCase", {"SPEECH_3.WAV", "speech_70.wav"}, 71,
                   {"speech_70.wav", "speech_71.wav"}},
        FolderCase{"NewestKept", {"speech_6.wav", "speech_7.wav", "speech_99.wav"}, 100,
                   {"speech_100.wav", "speech_99.wav"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(VoiceTest, AHeldFileIsPassedOverAndRemovedOnceLetGo) {
  EXPECT_EQ(voice({"first"}), tag_of(1));
  // Made after the folder was read, as a baseware may still play a name.
  files_.files[folder + name(2)] = "playing";
  files_.held.insert(folder + name(2));
  EXPECT_EQ(voice({"second"}), tag_of(3));
  for (int n = 4; n <= 66; ++n) ASSERT_EQ(voice({"more"}), tag_of(n));
  // speech_2.wav was due to go with speech_66.wav, but stays while held.
  EXPECT_EQ(files_.files.count(folder + name(1)), 0u);
  EXPECT_EQ(files_.files[folder + name(2)], "playing");
  files_.held.clear();
  voice({"later"});
  EXPECT_EQ(files_.files.count(folder + name(2)), 0u);
}

TEST_F(VoiceTest, TheFolderIsMadeAndMadeAgainWhenItHasGone) {
  EXPECT_EQ(voice({"one"}), tag_of(1));
  files_.folders.erase(folder);
  files_.files.clear();
  EXPECT_EQ(voice({"two"}), tag_of(3));
  EXPECT_EQ(files_.files[folder + name(3)], "wave two");
}

TEST_F(VoiceTest, BracketsOfThePathAreEscapedButNotInsideTwoByteCharacters) {
  // "ゾ" is 83 5D in Shift_JIS: its second byte is the byte of "]".
  const std::string zo = to_shift_jis("ゾ");
  ASSERT_EQ(zo[1], ']');
  files_.folders.insert("/gh]o]st" + zo + "/");
  EXPECT_EQ(voice({"w"}, "/gh]o]st" + zo + "/"), "\\_v[/gh\\]o\\]st" + zo + "/voice/speech_1.wav]");
}

struct FailureCase {
  const char* name;
  std::vector<std::string> arguments;  // after the command word
  StatusCode status;
  const char* utf8_message;            // through iconv's CP932 encoder
  int synthe_calls, frees;
};

class VoiceFailureTest : public VoiceTest, public testing::WithParamInterface<FailureCase> {
 protected:
  void arrange(const std::string& which) {
    if (which == "EngineNotBound") binding_ = EngineBinding{};
    files_.folders_fail = which == "FolderCannotBeMade";
    files_.write_fails = which == "WriteFails";
    files_.close_fails = which == "CloseFails";
    fake_engine().synthe_fails = which == "SynthesisFails";
    fake_engine().size_on_failure = -9;
    if (which == "EveryNameHeld") {
      // Sixteen names that turned up after the folder was read, held.
      files_.folders.insert(folder);
      for (int n = 1; n <= 16; ++n) files_.files[folder + name(n)] = "held";
      voice_files_.prepared = true;
    }
  }
};

TEST_P(VoiceFailureTest, AnswersItsMessageAndLeavesNoFileBehind) {
  const FailureCase& c = GetParam();
  arrange(c.name);
  EXPECT_EQ(voice(c.arguments), to_shift_jis(c.utf8_message));
  EXPECT_EQ(status_, c.status);
  EXPECT_EQ(fake_engine().synthe_calls, c.synthe_calls);
  EXPECT_EQ(fake_engine().free_calls, c.frees);
  for (const std::string& n : files_.names_in(folder)) EXPECT_EQ(files_.files[folder + n], "held");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VoiceFailureTest,
    testing::Values(
        FailureCase{"NoText", {}, 500, "エラー：VOICE：VOICEには１つか２つの引数を指定してください", 0, 0},
        FailureCase{"EngineNotBound", {"a"}, 400, "エラー：VOICE：音声エンジンが読み込まれていません", 0, 0},
        FailureCase{"FolderCannotBeMade", {"a"}, 400,
                    "エラー：VOICE：フォルダ「/ghost/voice/」を作るのに失敗しました", 0, 0},
        FailureCase{"SynthesisFails", {"a", "120"}, 400, "エラー：VOICE：Syntheのエラー(-9)", 1, 0},
        FailureCase{"EveryNameHeld", {"a"}, 400,
                    "エラー：VOICE：フォルダ「/ghost/voice/」のファイルを開くのに失敗しました", 1, 1},
        FailureCase{"WriteFails", {"a"}, 400,
                    "エラー：VOICE：フォルダ「/ghost/voice/」のファイルの書き込みに失敗しました", 1, 1},
        FailureCase{"CloseFails", {"a"}, 400,
                    "エラー：VOICE：フォルダ「/ghost/voice/」のファイルの書き込みに失敗しました", 1, 1}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace saori
