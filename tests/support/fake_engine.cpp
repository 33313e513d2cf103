#include "support/fake_engine.h"

#include <cstdlib>
#include <cstring>
#include <set>

namespace saori::testing_support {

namespace {

FakeEngine engine_state;
std::set<unsigned char*> live_buffers;

unsigned char* SAORI_ENGINE_CALL fake_synthe(const char* text, std::int32_t speed,
                                             std::int32_t* size) {
  FakeEngine& engine = engine_state;
  ++engine.synthe_calls;
  engine.events.push_back("synthe");
  engine.last_text = text;
  engine.last_speed = speed;
  if (engine.synthe_fails) {
    if (engine.write_size_on_failure) *size = engine.size_on_failure;
    return nullptr;
  }
  auto* buffer = static_cast<unsigned char*>(std::malloc(engine.wave.size() + 1));
  std::memcpy(buffer, engine.wave.data(), engine.wave.size());
  live_buffers.insert(buffer);
  *size = engine.override_size ? engine.reported_size
                               : static_cast<std::int32_t>(engine.wave.size());
  return buffer;
}

void SAORI_ENGINE_CALL fake_free_wave(unsigned char* wave) {
  FakeEngine& engine = engine_state;
  if (engine.on_free) engine.on_free();
  engine.events.push_back("free");
  ++engine.free_calls;
  if (live_buffers.erase(wave) == 0) {
    ++engine.free_of_unknown_buffer;
    return;
  }
  std::free(wave);
}

std::int32_t SAORI_ENGINE_CALL fake_play_sync(const char* text, std::int32_t speed) {
  FakeEngine& engine = engine_state;
  ++engine.play_calls;
  engine.events.push_back("play");
  engine.last_text = text;
  engine.last_speed = speed;
  return engine.play_result;
}

int dummy_libraries[2];

}  // namespace

FakeEngine& fake_engine() { return engine_state; }

void reset_fake_engine() {
  for (unsigned char* buffer : live_buffers) std::free(buffer);
  live_buffers.clear();
  engine_state = FakeEngine{};
}

EngineBinding fake_binding() {
  EngineBinding binding;
  binding.synthesis_library = &dummy_libraries[0];
  binding.playback_library = &dummy_libraries[1];
  binding.AquesTalk_Synthe = fake_synthe;
  binding.AquesTalk_FreeWave = fake_free_wave;
  binding.AquesTalkDa_PlaySync = fake_play_sync;
  return binding;
}

EntryPoint fake_synthe_entry() { return reinterpret_cast<EntryPoint>(fake_synthe); }
EntryPoint fake_free_wave_entry() { return reinterpret_cast<EntryPoint>(fake_free_wave); }
EntryPoint fake_play_sync_entry() { return reinterpret_cast<EntryPoint>(fake_play_sync); }

std::string narrow(const std::u16string& text) {
  std::string out;
  for (char16_t unit : text) out.push_back(static_cast<char>(unit));
  return out;
}

std::u16string widen(const std::string& text) {
  std::u16string out;
  for (char byte : text) out.push_back(static_cast<unsigned char>(byte));
  return out;
}

void FakeLibraries::add(const std::u16string& path, Exports exports) {
  libraries_.push_back(Library{path, std::move(exports)});
}

void FakeLibraries::add_complete_engine(const std::u16string& directory) {
  add(directory + u"AquesTalk.dll", {{"AquesTalk_Synthe", fake_synthe_entry()},
                                     {"AquesTalk_FreeWave", fake_free_wave_entry()}});
  add(directory + u"AquesTalkDa.dll", {{"AquesTalkDa_PlaySync", fake_play_sync_entry()}});
}

int FakeLibraries::to_wide(const char* bytes, int length, char16_t* out, int capacity) {
  ++conversions_;
  calls.push_back("to_wide " + std::to_string(length) + " " + std::to_string(capacity));
  if (conversions_ == failing_conversion_call || length <= 0) return 0;
  if (capacity == 0) return length;
  int units = length < capacity ? length : capacity;
  if (written_units_cap >= 0 && units > written_units_cap) units = written_units_cap;
  for (int i = 0; i < units; ++i) out[i] = static_cast<unsigned char>(bytes[i]);
  return units;
}

LibraryHandle FakeLibraries::open(const char16_t* path) {
  const std::u16string text(path);  // read up to the first zero, as the loader does
  calls.push_back("open " + narrow(text));
  for (std::size_t i = 0; i < libraries_.size(); ++i) {
    if (libraries_[i].path == text) {
      ++open_counts[text];
      return reinterpret_cast<LibraryHandle>(i + 1);
    }
  }
  return nullptr;
}

EntryPoint FakeLibraries::resolve(LibraryHandle library, const char* name) {
  Library& entry = libraries_.at(reinterpret_cast<std::size_t>(library) - 1);
  calls.push_back("resolve " + narrow(entry.path) + " " + name);
  const auto found = entry.exports.find(name);
  return found == entry.exports.end() ? nullptr : found->second;
}

void FakeLibraries::close(LibraryHandle library) {
  Library& entry = libraries_.at(reinterpret_cast<std::size_t>(library) - 1);
  calls.push_back("close " + narrow(entry.path));
  --open_counts[entry.path];
}

}  // namespace saori::testing_support
