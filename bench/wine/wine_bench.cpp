// The plug-in DLL as ghost authors run it, timed under Wine against a floor.
//
// This host loads saori_speech.dll as built (bound to the quiet stand-in
// engine, whose playback answers at once and records nothing) and
// floor_plugin.dll, a plug-in that only copies the request, frees the block
// and answers a fixed "SAORI/1.0 200 OK". It times `request` on four
// requests: GET Version, the typical EXECUTE PLAYSYNC, and 1 MiB of header
// lines and of argument lines (bench/bulk_request.h, the same bytes the
// native codec benchmark parses).
//
// Two ways of timing a call are reported, each plug-in beside the floor:
//  - round trip: what a host pays per request, inside the clock: making the
//    request block (GlobalAlloc, GMEM_FIXED, and a copy), the call, and
//    freeing the answer. The targets are checked on these ratios.
//  - call alone: the request blocks are made before the clock starts and
//    the answers freed after it stops, so only `request` itself is timed.
//
// Each round times one batch of calls per plug-in, request and way; the two
// plug-ins take turns going first from round to round, so machine noise
// falls on both alike. Printed per request: the median over the rounds of
// each plug-in's ns per call, and the median of the per-round ratios
// plug-in / floor with their quartiles.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bulk_request.h"
#include "bench/typical_request.h"
#include "tests/support/windows_host.h"

namespace {

using namespace windows_host;

constexpr int rounds = 21;
constexpr double batch_seconds = 0.002;      // the floor's batch, at least
constexpr int most_calls = 4000;
constexpr std::size_t most_batch_bytes = std::size_t{48} << 20;

using Plugin = PluginExports;

// Loads the DLL and calls its load with `directory`; false unless it answers 1.
bool open_plugin(Plugin& plugin, const char* unix_file, const std::string& directory) {
  if (!plugin.open(unix_file)) {
    std::fprintf(stderr, "wine_bench: cannot load %s or it lacks an entry point (error %lu)\n",
                 unix_file, GetLastError());
    return false;
  }
  if (plugin.load(block_of(directory), static_cast<long>(directory.size())) != 1) {
    std::fprintf(stderr, "wine_bench: load of %s did not answer 1\n", unix_file);
    return false;
  }
  return true;
}

// One request and its answer, outside any timing.
std::string answer_of(const Plugin& plugin, const std::string& text) {
  long length = static_cast<long>(text.size());
  HGLOBAL answer = plugin.request(block_of(text), &length);
  if (answer == nullptr) return "(no answer)";
  std::string bytes(static_cast<const char*>(answer), static_cast<std::size_t>(length));
  GlobalFree(answer);
  return bytes;
}

double seconds_per_tick() {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return 1.0 / static_cast<double>(frequency.QuadPart);
}

enum class Clock { round_trip, call_alone };

// Nanoseconds per call of `calls` requests of `text`.
double time_batch(const Plugin& plugin, const std::string& text, int calls, Clock clock) {
  static const double tick = seconds_per_tick();
  LARGE_INTEGER start, stop;
  if (clock == Clock::round_trip) {
    QueryPerformanceCounter(&start);
    for (int i = 0; i < calls; ++i) {
      long length = static_cast<long>(text.size());
      HGLOBAL answer = plugin.request(block_of(text), &length);
      if (answer != nullptr) GlobalFree(answer);
    }
    QueryPerformanceCounter(&stop);
  } else {
    std::vector<HGLOBAL> blocks(static_cast<std::size_t>(calls));
    std::vector<HGLOBAL> answers(static_cast<std::size_t>(calls));
    for (HGLOBAL& block : blocks) block = block_of(text);
    QueryPerformanceCounter(&start);
    for (std::size_t i = 0; i < blocks.size(); ++i) {
      long length = static_cast<long>(text.size());
      answers[i] = plugin.request(blocks[i], &length);
    }
    QueryPerformanceCounter(&stop);
    for (HGLOBAL answer : answers) {
      if (answer != nullptr) GlobalFree(answer);
    }
  }
  return static_cast<double>(stop.QuadPart - start.QuadPart) * tick * 1e9 / calls;
}

// The value at fraction `at` (0 to 1) of the sorted values.
double quantile(std::vector<double> values, double at) {
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(at * static_cast<double>(values.size() - 1) + 0.5)];
}

struct Case {
  const char* label;
  std::string text;
  double target;  // most plug-in / floor allowed
  int calls = 0;  // per batch
};

// Times every case one way and prints a table.
void run(const Plugin& plugin, const Plugin& floor, const std::vector<Case>& cases, Clock clock) {
  std::printf("\n%s\n", clock == Clock::round_trip
                            ? "round trip (block made, request, answer freed), as a host pays it:"
                            : "request call alone (blocks made before the clock, answers freed after):");
  std::printf("%-28s %8s %6s %11s %9s %7s %13s %s\n", "request", "bytes", "calls", "plug-in ns",
              "floor ns", "ratio", "(quartiles)", clock == Clock::round_trip ? "target" : "");
  for (const Case& c : cases) {
    std::vector<double> plugin_ns, floor_ns, ratios;
    time_batch(plugin, c.text, c.calls, clock);  // warm-up of both, not counted
    time_batch(floor, c.text, c.calls, clock);
    for (int round = 0; round < rounds; ++round) {
      double p, f;
      if (round % 2 == 0) {
        p = time_batch(plugin, c.text, c.calls, clock);
        f = time_batch(floor, c.text, c.calls, clock);
      } else {
        f = time_batch(floor, c.text, c.calls, clock);
        p = time_batch(plugin, c.text, c.calls, clock);
      }
      plugin_ns.push_back(p);
      floor_ns.push_back(f);
      ratios.push_back(p / f);
    }
    const double ratio = quantile(ratios, 0.5);
    char quartiles[32], target[32] = "";
    std::snprintf(quartiles, sizeof quartiles, "(%.2f-%.2f)", quantile(ratios, 0.25),
                  quantile(ratios, 0.75));
    if (clock == Clock::round_trip) {
      std::snprintf(target, sizeof target, "<= %.1fx%s", c.target,
                    ratio <= c.target ? "" : "  MISSED");
    }
    std::printf("%-28s %8lu %6d %11.0f %9.0f %6.2fx %13s %s\n", c.label,
                static_cast<unsigned long>(c.text.size()), c.calls, quantile(plugin_ns, 0.5),
                quantile(floor_ns, 0.5), ratio, quartiles, target);
  }
}

}  // namespace

int main() {
  // The stand-in would otherwise append a log line per call.
  SetEnvironmentVariableA("AQUESTALK_STANDIN_LOG", nullptr);
  _putenv("AQUESTALK_STANDIN_LOG=");

  const std::string engine_directory = windows_path(WINE_BENCH_ENGINE_DIR) + "\\";
  Plugin plugin, floor;
  if (!open_plugin(plugin, WINE_BENCH_PLUGIN_FILE, engine_directory) ||
      !open_plugin(floor, WINE_BENCH_FLOOR_FILE, engine_directory)) {
    return 1;
  }

  const std::size_t mebibyte = std::size_t{1} << 20;
  std::vector<Case> cases = {
      {"GET Version", version_request, 1.3},
      {"EXECUTE PLAYSYNC (typical)", typical_request, 1.3},
      {"1 MiB of header lines", make_bulk_request(BulkKind::headers, mebibyte), 2.0},
      {"1 MiB of argument lines", make_bulk_request(BulkKind::arguments, mebibyte), 2.0},
  };
  for (Case& c : cases) {
    // Only a path that answers as a host expects is worth timing.
    const std::string answer = answer_of(plugin, c.text);
    if (answer.compare(0, 10, "SAORI/1.0 ") != 0) {
      std::fprintf(stderr, "wine_bench: %s: unexpected answer %s\n", c.label, answer.c_str());
      return 1;
    }
    // Enough calls for the floor's batch to last batch_seconds.
    const int most = std::max(1, std::min(most_calls, static_cast<int>(most_batch_bytes /
                                                                       (c.text.size() + 1))));
    c.calls = 1;
    while (c.calls < most &&
           c.calls * time_batch(floor, c.text, c.calls, Clock::round_trip) < batch_seconds * 1e9) {
      c.calls = std::min(most, c.calls * 2);
    }
  }

  std::printf("Wine benchmark: saori_speech.dll against the floor plug-in, %d rounds\n", rounds);
  run(plugin, floor, cases, Clock::round_trip);
  run(plugin, floor, cases, Clock::call_alone);
  std::printf("(ns per call and ratios are medians over the rounds; a ratio is the plug-in's\n"
              " time over the floor's in the same round)\n");

  plugin.unload();
  floor.unload();
  FreeLibrary(plugin.module);
  FreeLibrary(floor.module);
  return 0;
}
