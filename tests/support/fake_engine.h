// Test doubles for the engine: in-process engine entry points that record
// their calls and can be steered, and a library loader that records every
// open, resolve and close against a table of libraries it pretends to have.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/engine_binding.h"
#include "platform/dynamic_library.h"

namespace saori::testing_support {

// What the fake entry points do and what they saw. One instance, reset by
// each test through reset_fake_engine().
struct FakeEngine {
  // Steering.
  std::int32_t play_result = 0;
  bool synthe_fails = false;              // return null
  std::int32_t size_on_failure = 0;       // written to the size on failure
  bool write_size_on_failure = true;
  std::string wave = "RIFF-fake-wave";    // bytes a successful synthesis returns
  bool override_size = false;             // report `reported_size` instead
  std::int32_t reported_size = 0;
  std::function<void()> on_free;          // runs inside FreeWave, before counting

  // Recording.
  int play_calls = 0;
  int synthe_calls = 0;
  int free_calls = 0;
  int free_of_unknown_buffer = 0;
  std::string last_text;
  std::int32_t last_speed = 0;
  std::vector<std::string> events;        // "play", "synthe", "free"
};

FakeEngine& fake_engine();
void reset_fake_engine();

// A bound binding whose entry points are the fake ones.
EngineBinding fake_binding();

// The fake entry points, for tables of exports.
EntryPoint fake_synthe_entry();
EntryPoint fake_free_wave_entry();
EntryPoint fake_play_sync_entry();

// A loader that knows some libraries by path (UTF-16) and their exports.
class FakeLibraries final : public DynamicLibraries {
 public:
  using Exports = std::map<std::string, EntryPoint>;

  // Adds a library at `path` exporting `exports`.
  void add(const std::u16string& path, Exports exports);
  // The complete engine in `directory` (joined without separator).
  void add_complete_engine(const std::u16string& directory);

  int to_wide(const char* bytes, int length, char16_t* out, int capacity) override;
  LibraryHandle open(const char16_t* path) override;
  EntryPoint resolve(LibraryHandle library, const char* name) override;
  void close(LibraryHandle library) override;

  // Conversion steering: make call n (1-based) of to_wide answer 0, or cap
  // how many units the filling call writes.
  int failing_conversion_call = 0;
  int written_units_cap = -1;

  // Every call as text: "open AquesTalk.dll", "resolve AquesTalk.dll
  // AquesTalk_Synthe", "close AquesTalk.dll", "to_wide 5 0".
  std::vector<std::string> calls;
  // Loads not yet given back, by path.
  std::map<std::u16string, int> open_counts;

 private:
  struct Library {
    std::u16string path;
    Exports exports;
  };
  std::vector<Library> libraries_;  // handle = index + 1
  int conversions_ = 0;
};

// UTF-16 to the bytes of its low halves, for readable call records.
std::string narrow(const std::u16string& text);
std::u16string widen(const std::string& text);

}  // namespace saori::testing_support
