#include "engine/engine_binding.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fake_engine.h"
#include "support/standin_log.h"

namespace saori {
namespace {

using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::IsEmpty;
using testing_support::FakeLibraries;

bool all_empty(const EngineBinding& b) {
  return b.synthesis_library == nullptr && b.playback_library == nullptr &&
         b.AquesTalk_Synthe == nullptr && b.AquesTalk_FreeWave == nullptr &&
         b.AquesTalkDa_PlaySync == nullptr;
}

bool all_set(const EngineBinding& b) {
  return b.synthesis_library != nullptr && b.playback_library != nullptr &&
         b.AquesTalk_Synthe != nullptr && b.AquesTalk_FreeWave != nullptr &&
         b.AquesTalkDa_PlaySync != nullptr;
}

// The calls after the two conversion calls.
std::vector<std::string> loader_calls(const FakeLibraries& libraries) {
  std::vector<std::string> calls;
  for (const std::string& call : libraries.calls) {
    if (call.rfind("to_wide", 0) != 0) calls.push_back(call);
  }
  return calls;
}

struct FailureCase {
  const char* name;
  bool synthesis_library, synthe, free_wave, playback_library, play_sync;
  bool bound;
  std::vector<std::string> calls;
};

class BindEngineTest : public testing::TestWithParam<FailureCase> {};

TEST_P(BindEngineTest, LoadsInOrderAndGivesBackWhatItTookOnFailure) {
  const FailureCase& c = GetParam();
  FakeLibraries libraries;
  FakeLibraries::Exports synthesis, playback;
  if (c.synthe) synthesis["AquesTalk_Synthe"] = testing_support::fake_synthe_entry();
  if (c.free_wave) synthesis["AquesTalk_FreeWave"] = testing_support::fake_free_wave_entry();
  if (c.play_sync) playback["AquesTalkDa_PlaySync"] = testing_support::fake_play_sync_entry();
  if (c.synthesis_library) libraries.add(u"D\\AquesTalk.dll", synthesis);
  if (c.playback_library) libraries.add(u"D\\AquesTalkDa.dll", playback);

  EngineBinding binding;
  EXPECT_EQ(bind_engine(binding, libraries, "D\\"), c.bound);
  EXPECT_THAT(loader_calls(libraries), ElementsAreArray(c.calls));
  if (c.bound) {
    EXPECT_TRUE(all_set(binding));
  } else {
    EXPECT_TRUE(all_empty(binding));
    for (const auto& [path, count] : libraries.open_counts) {
      EXPECT_EQ(count, 0) << testing_support::narrow(path);
    }
  }
}

const std::string open_synthesis = "open D\\AquesTalk.dll";
const std::string open_playback = "open D\\AquesTalkDa.dll";
const std::string resolve_synthe = "resolve D\\AquesTalk.dll AquesTalk_Synthe";
const std::string resolve_free = "resolve D\\AquesTalk.dll AquesTalk_FreeWave";
const std::string resolve_play = "resolve D\\AquesTalkDa.dll AquesTalkDa_PlaySync";
const std::string close_synthesis = "close D\\AquesTalk.dll";
const std::string close_playback = "close D\\AquesTalkDa.dll";

INSTANTIATE_TEST_SUITE_P(
    Cases, BindEngineTest,
    testing::Values(
        FailureCase{"Complete", true, true, true, true, true, true,
                    {open_synthesis, resolve_synthe, resolve_free, open_playback, resolve_play}},
        FailureCase{"NoSynthesisLibrary", false, true, true, true, true, false, {open_synthesis}},
        FailureCase{"NoSynthe", true, false, true, true, true, false,
                    {open_synthesis, resolve_synthe, close_synthesis}},
        FailureCase{"NoFreeWave", true, true, false, true, true, false,
                    {open_synthesis, resolve_synthe, resolve_free, close_synthesis}},
        FailureCase{"NoPlaybackLibrary", true, true, true, false, true, false,
                    {open_synthesis, resolve_synthe, resolve_free, open_playback, close_synthesis}},
        FailureCase{"NoPlaySync", true, true, true, true, false, false,
                    {open_synthesis, resolve_synthe, resolve_free, open_playback, resolve_play,
                     close_synthesis, close_playback}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReleaseEngineTest, GivesEachLibraryBackOnceInLoadOrder) {
  FakeLibraries libraries;
  libraries.add_complete_engine(u"D\\");
  EngineBinding binding;
  ASSERT_TRUE(bind_engine(binding, libraries, "D\\"));
  libraries.calls.clear();

  release_engine(binding, libraries);
  release_engine(binding, libraries);
  EXPECT_THAT(libraries.calls, ElementsAre(close_synthesis, close_playback));
  EXPECT_TRUE(all_empty(binding));
}

TEST(ReleaseEngineTest, EmptyBindingDoesNothing) {
  FakeLibraries libraries;
  EngineBinding binding;
  release_engine(binding, libraries);
  EXPECT_THAT(libraries.calls, IsEmpty());
}

TEST(BindEngineTest, BindingAgainReleasesTheHeldLibrariesFirst) {
  FakeLibraries libraries;
  libraries.add_complete_engine(u"A\\");
  libraries.add_complete_engine(u"B\\");
  EngineBinding binding;
  ASSERT_TRUE(bind_engine(binding, libraries, "A\\"));
  libraries.calls.clear();
  ASSERT_TRUE(bind_engine(binding, libraries, "B\\"));
  const std::vector<std::string> calls = loader_calls(libraries);
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(calls[0], "close A\\AquesTalk.dll");
  EXPECT_EQ(calls[1], "close A\\AquesTalkDa.dll");
  EXPECT_EQ(calls[2], "open B\\AquesTalk.dll");
  EXPECT_EQ(libraries.open_counts[u"A\\AquesTalk.dll"], 0);
  EXPECT_EQ(libraries.open_counts[u"B\\AquesTalk.dll"], 1);
}

struct PathCase {
  const char* name;
  std::string directory;
  int failing_conversion_call;
  int written_units_cap;
  std::string expected_open;  // the first library path asked for
};

class LibraryPathTest : public testing::TestWithParam<PathCase> {};

TEST_P(LibraryPathTest, DirectoryIsJoinedWithoutSeparator) {
  FakeLibraries libraries;
  libraries.failing_conversion_call = GetParam().failing_conversion_call;
  libraries.written_units_cap = GetParam().written_units_cap;
  EngineBinding binding;
  EXPECT_FALSE(bind_engine(binding, libraries, GetParam().directory));
  EXPECT_THAT(loader_calls(libraries), ElementsAre("open " + GetParam().expected_open));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LibraryPathTest,
    testing::Values(
        PathCase{"TrailingSeparator", "C:\\voice\\", 0, -1, "C:\\voice\\AquesTalk.dll"},
        PathCase{"NoSeparator", "C:\\voice", 0, -1, "C:\\voiceAquesTalk.dll"},
        PathCase{"Empty", "", 0, -1, "AquesTalk.dll"},
        PathCase{"SizingCallFails", "C:\\voice\\", 1, -1, "AquesTalk.dll"},
        PathCase{"FillingCallFails", "C:\\voice\\", 2, -1, "AquesTalk.dll"},
        PathCase{"FewerUnitsWritten", "C:\\voice\\", 0, 4, "C:\\vAquesTalk.dll"},
        // A host that counts the terminator: the zero stays in the path and
        // the loader stops reading there, so it never sees the file name.
        PathCase{"CountedZeroByte", std::string("C:\\voice\\\0", 10), 0, -1, "C:\\voice\\"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ToWideDirectoryTest, ConvertsEveryCountedByteInTwoCalls) {
  FakeLibraries libraries;
  const std::u16string wide = to_wide_directory(libraries, std::string("ab\0c", 4));
  EXPECT_EQ(wide, std::u16string(u"ab\0c", 4));
  EXPECT_THAT(libraries.calls, ElementsAre("to_wide 4 0", "to_wide 4 4"));
}

TEST(ToWideDirectoryTest, EmptyDirectoryAsksOnceAndGivesEmpty) {
  FakeLibraries libraries;
  EXPECT_TRUE(to_wide_directory(libraries, "").empty());
  EXPECT_THAT(libraries.calls, ElementsAre("to_wide 0 0"));
}

// The same binding code against the real loader and the stand-in engine,
// whose load and unload notifications show what the process really holds.
struct StandinCase {
  const char* variant;
  bool bound;
  std::vector<std::string> log;
};

class StandinBindingTest : public testing::TestWithParam<StandinCase> {};

TEST_P(StandinBindingTest, EachLoadIsGivenBackOnce) {
  StandinLog log;
  EngineBinding binding;
  const std::string directory = std::string(SAORI_STANDIN_DIR) + GetParam().variant + "/";
  EXPECT_EQ(bind_engine(binding, system_libraries(), directory), GetParam().bound);
  release_engine(binding, system_libraries());
  release_engine(binding, system_libraries());
  EXPECT_THAT(log.lines(), ElementsAreArray(GetParam().log));
}

const std::string attach_synthesis = "attach AquesTalk.dll";
const std::string attach_playback = "attach AquesTalkDa.dll";
const std::string detach_synthesis = "detach AquesTalk.dll";
const std::string detach_playback = "detach AquesTalkDa.dll";

INSTANTIATE_TEST_SUITE_P(
    Variants, StandinBindingTest,
    testing::Values(
        StandinCase{"complete", true,
                    {attach_synthesis, attach_playback, detach_synthesis, detach_playback}},
        StandinCase{"no-synthesis-library", false, {}},
        StandinCase{"no-synthe", false, {attach_synthesis, detach_synthesis}},
        StandinCase{"no-freewave", false, {attach_synthesis, detach_synthesis}},
        StandinCase{"no-playback-library", false, {attach_synthesis, detach_synthesis}},
        StandinCase{"no-playsync", false,
                    {attach_synthesis, attach_playback, detach_synthesis, detach_playback}}),
    [](const auto& info) {
      std::string name = info.param.variant;
      for (char& c : name) {
        if (c == '-') c = '_';
      }
      return name;
    });

TEST(StandinBindingTest, DirectoryWithoutSeparatorFindsNothing) {
  StandinLog log;
  EngineBinding binding;
  std::string directory = std::string(SAORI_STANDIN_DIR) + "complete";
  EXPECT_FALSE(bind_engine(binding, system_libraries(), directory));
  EXPECT_THAT(log.lines(), IsEmpty());
}

}  // namespace
}  // namespace saori
