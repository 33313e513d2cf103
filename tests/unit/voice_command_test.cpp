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
  std::set<std::string> folders;
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
    const std::string f = folder;
    for (const auto& [path, contents] : files) {
      if (path.compare(0, f.size(), f) == 0) visitor.visit(ByteView(path).substr(f.size()));
    }
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

const std::string ghost = "/ghost/";
const std::string folder = ghost + "voice/";
std::string name(int n) { return "speech_" + std::to_string(n) + ".wav"; }
std::string tag_of(int n) { return "\\_v[" + folder + name(n) + "]"; }

struct Answer {
  StatusCode status;
  std::string result;
};

class VoiceTest : public testing::Test {
 protected:
  void SetUp() override {
    testing_support::reset_fake_engine();
    files_.folders.insert(ghost);
  }

  // One VOICE whose wave is `wave`.
  Answer voice(const std::string& wave, std::vector<std::string> extra = {},
               const std::string& directory = ghost) {
    fake_engine().wave = wave;
    std::vector<std::string> texts{"VOICE", "text " + wave};
    texts.insert(texts.end(), extra.begin(), extra.end());
    ArgumentList arguments(texts.begin(), texts.end());
    VoiceFolder target{directory, voice_files_, files_};
    const CommandOutcome outcome = execute_command(arguments, binding_, target);
    return Answer{outcome.status, std::string(outcome.result)};
  }

  // A new load: the folder is read again at its first VOICE.
  void reload() { voice_files_ = VoiceFiles{}; }

  FakeFiles files_;
  VoiceFiles voice_files_;
  EngineBinding binding_ = testing_support::fake_binding();
};

TEST_F(VoiceTest, EveryVoiceGetsANewNameAndOnlyTheNewestFilesStay) {
  std::vector<std::string> kept;
  for (int n = 1; n <= 200; ++n) {
    const Answer outcome = voice("wave " + std::to_string(n), {"130"});
    ASSERT_EQ(outcome.status, 200u);
    ASSERT_EQ(outcome.result, tag_of(n));
    EXPECT_EQ(fake_engine().last_speed, 130);
    if (n > 200 - 64) kept.push_back(name(n));
  }
  std::sort(kept.begin(), kept.end());
  EXPECT_THAT(files_.names_in(folder), ElementsAreArray(kept));
  for (const std::string& n : kept) {
    EXPECT_EQ(files_.files[folder + n], "wave " + n.substr(7, n.size() - 11));
  }
  EXPECT_EQ(fake_engine().free_calls, 200);
  // The next load goes on after the highest number there.
  reload();
  EXPECT_EQ(voice("again").result, tag_of(201));
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
  EXPECT_EQ(voice("new").result, tag_of(GetParam().first));
  EXPECT_THAT(files_.names_in(folder), ElementsAreArray(GetParam().after));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VoiceFolderTest,
    testing::Values(
        FolderCase{"Empty", {}, 1, {"speech_1.wav"}},
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
  files_.folders.insert(folder);
  // Made after the folder was read, as a baseware may still play a name.
  EXPECT_EQ(voice("first").result, tag_of(1));
  files_.files[folder + name(2)] = "playing";
  files_.held.insert(folder + name(2));
  EXPECT_EQ(voice("second").result, tag_of(3));
  EXPECT_EQ(files_.files[folder + name(2)], "playing");
  for (int n = 4; n <= 66; ++n) ASSERT_EQ(voice("more").result, tag_of(n));
  // speech_2.wav was due to go with speech_66.wav, but stays while held.
  EXPECT_EQ(files_.files.count(folder + name(1)), 0u);
  EXPECT_EQ(files_.files.count(folder + name(2)), 1u);
  files_.held.clear();
  voice("later");
  EXPECT_EQ(files_.files.count(folder + name(2)), 0u);
}

TEST_F(VoiceTest, TheFolderIsMadeAndMadeAgainWhenItHasGone) {
  EXPECT_EQ(voice("one").result, tag_of(1));
  EXPECT_EQ(files_.files[folder + name(1)], "one");
  files_.folders.erase(folder);
  files_.files.clear();
  EXPECT_EQ(voice("two").result, tag_of(3));
  EXPECT_EQ(files_.files[folder + name(3)], "two");
}

TEST_F(VoiceTest, BracketsOfThePathAreEscapedButNotInsideTwoByteCharacters) {
  // "ゾ" is 83 5D in Shift_JIS: its second byte is the byte of "]".
  const std::string directory = "/gh]o]st" + to_shift_jis("ゾ") + "/";
  ASSERT_EQ(to_shift_jis("ゾ")[1], ']');
  files_.folders.insert(directory);
  EXPECT_EQ(voice("w", {}, directory).result,
            "\\_v[/gh\\]o\\]st" + to_shift_jis("ゾ") + "/voice/speech_1.wav]");
}

struct FailureCase {
  const char* name;
  void (*arrange)(FakeFiles&, EngineBinding&, VoiceFiles&);
  std::vector<std::string> arguments;  // after the command word
  StatusCode status;
  const char* utf8_message;            // through iconv's CP932 encoder
  int synthe_calls;
  int frees;
};

class VoiceFailureTest : public VoiceTest, public testing::WithParamInterface<FailureCase> {};

TEST_P(VoiceFailureTest, AnswersItsMessageAndLeavesNoFileBehind) {
  const FailureCase& c = GetParam();
  c.arrange(files_, binding_, voice_files_);
  std::vector<std::string> texts{"VOICE"};
  texts.insert(texts.end(), c.arguments.begin(), c.arguments.end());
  ArgumentList arguments(texts.begin(), texts.end());
  VoiceFolder target{ghost, voice_files_, files_};
  const CommandOutcome outcome = execute_command(arguments, binding_, target);
  EXPECT_EQ(outcome.status, c.status);
  EXPECT_EQ(std::string(outcome.result), to_shift_jis(c.utf8_message));
  EXPECT_EQ(fake_engine().synthe_calls, c.synthe_calls);
  EXPECT_EQ(fake_engine().free_calls, c.frees);
  for (const std::string& n : files_.names_in(folder)) EXPECT_EQ(files_.files[folder + n], "held");
}

// Names that turned up after the folder was read, as a baseware playing
// them holds them: sixteen of them, one after another.
void hold_sixteen(FakeFiles& files, EngineBinding&, VoiceFiles& voice) {
  files.folders.insert(folder);
  for (int n = 1; n <= 16; ++n) {
    files.files[folder + name(n)] = "held";
    files.held.insert(folder + name(n));
  }
  voice.prepared = true;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VoiceFailureTest,
    testing::Values(
        FailureCase{"NoText", [](FakeFiles&, EngineBinding&, VoiceFiles&) {}, {}, 500,
                    "エラー：VOICE：VOICEには１つか２つの引数を指定してください", 0, 0},
        FailureCase{"EngineNotBound", [](FakeFiles&, EngineBinding& e, VoiceFiles&) { e = EngineBinding{}; },
                    {"a"}, 400, "エラー：VOICE：音声エンジンが読み込まれていません", 0, 0},
        FailureCase{"FolderCannotBeMade", [](FakeFiles& f, EngineBinding&, VoiceFiles&) { f.folders_fail = true; },
                    {"a"}, 400, "エラー：VOICE：フォルダ「/ghost/voice/」を作るのに失敗しました", 0, 0},
        FailureCase{"SynthesisFails",
                    [](FakeFiles&, EngineBinding&, VoiceFiles&) {
                      fake_engine().synthe_fails = true;
                      fake_engine().size_on_failure = -9;
                    },
                    {"a", "120"}, 400, "エラー：VOICE：Syntheのエラー(-9)", 1, 0},
        FailureCase{"EveryNameHeld", hold_sixteen, {"a"}, 400,
                    "エラー：VOICE：フォルダ「/ghost/voice/」のファイルを開くのに失敗しました", 1, 1},
        FailureCase{"WriteFails", [](FakeFiles& f, EngineBinding&, VoiceFiles&) { f.write_fails = true; }, {"a"},
                    400, "エラー：VOICE：フォルダ「/ghost/voice/」のファイルの書き込みに失敗しました", 1, 1},
        FailureCase{"CloseFails", [](FakeFiles& f, EngineBinding&, VoiceFiles&) { f.close_fails = true; }, {"a"},
                    400, "エラー：VOICE：フォルダ「/ghost/voice/」のファイルの書き込みに失敗しました", 1, 1}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace saori
