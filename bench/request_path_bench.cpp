// Speed of the whole native request path: a host block holding the request
// goes into plugin_request, which copies and frees it, parses, runs the
// command against the engine and hands back a new block with the response,
// which the "host" then frees.
//
// The engine is bound to in-process fakes: PlaySync returns 0 at once and
// Synthe returns a small static buffer, so what is measured is the plug-in's
// own work plus two host-block allocations and frees (malloc on POSIX).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench/collecting_reporter.h"
#include "bench/typical_request.h"
#include "plugin/plugin.h"
#include "plugin/request_memory.h"

namespace {

using saori::ByteString;
using saori::ByteView;

constexpr int repetitions = 5;
constexpr double target_nanoseconds = 1000;

unsigned char fake_wave[44] = {'R', 'I', 'F', 'F'};

std::int32_t SAORI_ENGINE_CALL fake_play_sync(const char* text, std::int32_t speed) {
  benchmark::DoNotOptimize(text);
  benchmark::DoNotOptimize(speed);
  return 0;
}

unsigned char* SAORI_ENGINE_CALL fake_synthe(const char* text, std::int32_t speed,
                                             std::int32_t* size) {
  benchmark::DoNotOptimize(text);
  benchmark::DoNotOptimize(speed);
  *size = static_cast<std::int32_t>(sizeof fake_wave);
  return fake_wave;
}

void SAORI_ENGINE_CALL fake_free_wave(unsigned char* wave) { benchmark::DoNotOptimize(wave); }

// A state bound to the fakes; the library handles only have to be non-null,
// as nothing in the request path gives them back.
saori::PluginState fake_bound_state() {
  static int synthesis_library;
  static int playback_library;
  saori::PluginState state;
  state.engine.synthesis_library = &synthesis_library;
  state.engine.playback_library = &playback_library;
  state.engine.AquesTalk_Synthe = fake_synthe;
  state.engine.AquesTalk_FreeWave = fake_free_wave;
  state.engine.AquesTalkDa_PlaySync = fake_play_sync;
  return state;
}

// One round trip as the host makes it; returns the response text.
std::string round_trip(saori::PluginState& state, const saori::Platform& platform,
                       ByteView request) {
  saori::HostBlock block = platform.memory.allocate(request.size());
  std::memcpy(block, request.data(), request.size());
  std::int32_t length = static_cast<std::int32_t>(request.size());
  saori::HostBlock answer = saori::plugin_request(state, platform, block, &length);
  std::string response;
  if (answer != nullptr) response.assign(static_cast<const char*>(answer), static_cast<std::size_t>(length));
  platform.memory.release(answer);
  return response;
}

void request_path_benchmark(benchmark::State& state, ByteView request) {
  saori::PluginState plugin = fake_bound_state();
  const saori::Platform platform{saori::system_libraries(), saori::system_host_memory(),
                                 saori::system_files()};

  // Measure only a path that answers as expected.
  const std::string response = round_trip(plugin, platform, request);
  if (response.rfind("SAORI/1.0 200 OK\r\n", 0) != 0) {
    state.SkipWithError(("unexpected response: " + response).c_str());
    return;
  }

  for (auto _ : state) {
    saori::HostBlock block = platform.memory.allocate(request.size());
    std::memcpy(block, request.data(), request.size());
    std::int32_t length = static_cast<std::int32_t>(request.size());
    saori::HostBlock answer = saori::plugin_request(plugin, platform, block, &length);
    benchmark::DoNotOptimize(answer);
    benchmark::DoNotOptimize(length);
    platform.memory.release(answer);
  }
}

// The same request answered from a string, without host blocks: the share
// of the path that is parsing, the command and writing.
void answer_benchmark(benchmark::State& state, ByteView request) {
  saori::PluginState plugin = fake_bound_state();
  for (auto _ : state) {
    saori::RequestMemory memory;  // as plugin_request has it
    ByteString response(memory.allocator());
    const bool answered = saori::answer_request(plugin, saori::system_files(), request, response);
    benchmark::DoNotOptimize(answered);
    benchmark::DoNotOptimize(response.data());
  }
}

void print_line(const CollectingReporter& reporter, const char* name, const char* label,
                bool with_target) {
  const double time = reporter.median(name);
  if (time < 0) return;
  if (with_target) {
    std::printf("%s: %.0f ns (target < %.0f ns)%s\n", label, time, target_nanoseconds,
                time < target_nanoseconds ? "" : "  MISSED");
  } else {
    std::printf("%s: %.0f ns\n", label, time);
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  const ByteView typical(typical_request, sizeof typical_request - 1);
  const ByteView version(version_request, sizeof version_request - 1);
  benchmark::RegisterBenchmark("request_path/execute_playsync", request_path_benchmark, typical)
      ->Repetitions(repetitions);
  benchmark::RegisterBenchmark("request_path/get_version", request_path_benchmark, version)
      ->Repetitions(repetitions);
  benchmark::RegisterBenchmark("answer_request/execute_playsync", answer_benchmark, typical)
      ->Repetitions(repetitions);
  benchmark::RegisterBenchmark("answer_request/get_version", answer_benchmark, version)
      ->Repetitions(repetitions);

  CollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  std::printf("\n---- request path summary (medians of %d repetitions) ----\n", repetitions);
  print_line(reporter, "request_path/execute_playsync",
             "whole request path, EXECUTE PLAYSYNC (host block in, block out)", true);
  print_line(reporter, "request_path/get_version", "whole request path, GET Version", true);
  print_line(reporter, "answer_request/execute_playsync",
             "  of which answer_request, EXECUTE PLAYSYNC", false);
  print_line(reporter, "answer_request/get_version", "  of which answer_request, GET Version",
             false);
  benchmark::Shutdown();
  return 0;
}
