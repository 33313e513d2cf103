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
// Each round times one batch of calls per plug-in, request and way; the
// plug-ins take turns going first from round to round, so machine noise falls
// on all alike. Printed per request: the median over the rounds of each
// plug-in's ns per call, and the median of the per-round ratios plug-in /
// floor with their quartiles.
//
// Earlier builds of the DLL named on the command line are timed in the same
// rounds, each beside the floor and beside this build:
//
//   wine_bench.exe [EARLIER_DLL ...]     (Unix paths, as Wine shows them on Z:)
//
// so that before and after are compared on the same machine at the same
// time; a DLL of another commit may keep the file name saori_speech.dll.
//
// Last, this build alone: VOICE beside CREATEWAV of the same text, the DLL
// bound again from a scratch folder holding copies of the quiet stand-in,
// whose voice folder holds as many files as VOICE keeps. Each round times a
// batch of each, taking turns going first; printed are the medians of their
// ns per call and of the per-round ratio VOICE / CREATEWAV, which the names
// and the tidying of the folder may raise by at most 5%. Beside them, in the
// same rounds, the host itself writes a file of the wave's size without the
// plug-in: over one name again and again, as CREATEWAV does, and to a new
// name with the one 64 behind removed, as VOICE does; their ratio is what
// the file system asks for a new name and a removal.
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

// A DLL being timed: this build first, then the earlier ones.
struct Contender {
  std::string name;
  Plugin plugin;
};

std::string ratio_text(const std::vector<double>& ratios) {
  char text[48];
  std::snprintf(text, sizeof text, "%5.2fx (%.2f-%.2f)", quantile(ratios, 0.5),
                quantile(ratios, 0.25), quantile(ratios, 0.75));
  return text;
}

// Times every case one way and prints a table: the floor's ns on the
// request's line, then a line per contender.
void run(const std::vector<Contender>& contenders, const Plugin& floor,
         const std::vector<Case>& cases, Clock clock) {
  const std::size_t count = contenders.size();
  std::printf("\n%s\n", clock == Clock::round_trip
                            ? "round trip (block made, request, answer freed), as a host pays it:"
                            : "request call alone (blocks made before the clock, answers freed after):");
  std::printf("%-28s %8s %6s %9s   %-12s %9s  %-19s %s\n", "request", "bytes", "calls", "floor ns",
              "plug-in", "ns", "ratio to floor", count > 1 ? "this DLL / it" : "");
  for (const Case& c : cases) {
    std::vector<double> floor_ns;
    std::vector<std::vector<double>> plugin_ns(count), ratios(count), against_this(count);
    for (const Contender& contender : contenders) {
      time_batch(contender.plugin, c.text, c.calls, clock);  // warm-up, not counted
    }
    time_batch(floor, c.text, c.calls, clock);
    for (int round = 0; round < rounds; ++round) {
      // Slot `count` is the floor; each round starts one slot further on.
      std::vector<double> ns(count + 1);
      for (std::size_t k = 0; k <= count; ++k) {
        const std::size_t slot = (k + static_cast<std::size_t>(round)) % (count + 1);
        ns[slot] = time_batch(slot == count ? floor : contenders[slot].plugin, c.text, c.calls,
                              clock);
      }
      floor_ns.push_back(ns[count]);
      for (std::size_t i = 0; i < count; ++i) {
        plugin_ns[i].push_back(ns[i]);
        ratios[i].push_back(ns[i] / ns[count]);
        against_this[i].push_back(ns[0] / ns[i]);
      }
    }
    std::printf("%-28s %8lu %6d %9.0f", c.label, static_cast<unsigned long>(c.text.size()), c.calls,
                quantile(floor_ns, 0.5));
    for (std::size_t i = 0; i < count; ++i) {
      if (i > 0) std::printf("%-28s %8s %6s %9s", "", "", "", "");
      char extra[48] = "";
      if (i == 0 && clock == Clock::round_trip) {
        std::snprintf(extra, sizeof extra, "target <= %.1fx%s", c.target,
                      quantile(ratios[0], 0.5) <= c.target ? "" : "  MISSED");
      } else if (i > 0) {
        std::snprintf(extra, sizeof extra, "%s", ratio_text(against_this[i]).c_str());
      }
      std::printf("   %-12s %9.0f  %-19s %s\n", contenders[i].name.c_str(),
                  quantile(plugin_ns[i], 0.5), ratio_text(ratios[i]).c_str(), extra);
    }
  }
}

std::string execute(const std::vector<std::string>& arguments) {
  std::string text = "EXECUTE SAORI/1.0\r\nCharset: Shift_JIS\r\nSecurityLevel: Local\r\n";
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    text += "Argument" + std::to_string(i) + ": " + arguments[i] + "\r\n";
  }
  return text + "\r\n";
}

// The host's own writing of `bytes` to a file, `calls` times: over one name
// (fresh false) or to new names, each removing the one 64 behind.
double time_host_files(const std::string& folder, std::size_t bytes, int calls, bool fresh) {
  static const double tick = seconds_per_tick();
  static int serial = 0;
  const std::vector<char> data(bytes, 'w');
  const auto name = [&folder](int n) { return folder + "host_" + std::to_string(n) + ".wav"; };
  LARGE_INTEGER start, stop;
  QueryPerformanceCounter(&start);
  for (int i = 0; i < calls; ++i) {
    const std::string path = fresh ? name(serial++) : folder + "host_same.wav";
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                    fresh ? CREATE_NEW : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
    CloseHandle(file);
    if (fresh && serial > 64) DeleteFileA(name(serial - 65).c_str());
  }
  QueryPerformanceCounter(&stop);
  return static_cast<double>(stop.QuadPart - start.QuadPart) * tick * 1e9 / calls;
}

// VOICE beside CREATEWAV (see the top of this file); false when either does
// not answer as it should.
bool run_voice(Plugin& plugin) {
  const std::string folder = windows_path(WINE_BENCH_SCRATCH_DIR) + "\\";
  const std::string voice = folder + "voice\\";
  engine_folder(folder, windows_path(WINE_BENCH_ENGINE_DIR) + "\\");
  if (plugin.load(block_of(folder), static_cast<long>(folder.size())) != 1) {
    std::fprintf(stderr, "wine_bench: load from %s did not answer 1\n", folder.c_str());
    return false;
  }
  // A talk's sentence, in Shift_JIS: こんにちは、きょうはいいてんきですね
  const std::string text =
      "\x82\xb1\x82\xf1\x82\xc9\x82\xbf\x82\xcd\x81\x41\x82\xab\x82\xe5\x82\xa4\x82\xcd"
      "\x82\xa2\x82\xa2\x82\xc4\x82\xf1\x82\xab\x82\xc5\x82\xb7\x82\xcb";
  const std::string voice_request = execute({"VOICE", text});
  const std::string createwav_request = execute({"CREATEWAV", folder + "created.wav", text});
  const std::string tagged = "SAORI/1.0 200 OK\r\nResult: \\_v[" + voice;
  // Enough voices for the folder to hold as many as VOICE keeps, so that
  // every timed one removes an older file.
  for (int i = 0; i < 80; ++i) {
    if (answer_of(plugin, voice_request).compare(0, tagged.size(), tagged) != 0) {
      std::fprintf(stderr, "wine_bench: VOICE answers %s\n", answer_of(plugin, voice_request).c_str());
      return false;
    }
  }
  if (answer_of(plugin, createwav_request) != "SAORI/1.0 200 OK\r\n\r\n") {
    std::fprintf(stderr, "wine_bench: CREATEWAV does not answer 200\n");
    return false;
  }
  int calls = 1;
  while (calls < most_calls &&
         calls * time_batch(plugin, createwav_request, calls, Clock::round_trip) < 4 * batch_seconds * 1e9) {
    calls *= 2;
  }
  std::string wave;
  const HANDLE written = CreateFileA((folder + "created.wav").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  const std::size_t wave_bytes = GetFileSize(written, nullptr);
  CloseHandle(written);
  time_host_files(folder, wave_bytes, 80, true);
  // 0 VOICE, 1 CREATEWAV, 2 the host over one name, 3 the host to new names.
  std::vector<double> ns_of[4], ratios, host_ratios;
  for (int round = 0; round < rounds; ++round) {
    double ns[4];
    for (int k = 0; k < 4; ++k) {
      const int which = (k + round) % 4;
      ns[which] = which < 2 ? time_batch(plugin, which == 0 ? voice_request : createwav_request,
                                         calls, Clock::round_trip)
                            : time_host_files(folder, wave_bytes, calls, which == 3);
    }
    for (int k = 0; k < 4; ++k) ns_of[k].push_back(ns[k]);
    ratios.push_back(ns[0] / ns[1]);
    host_ratios.push_back(ns[3] / ns[2]);
  }
  const double target = 1.05;
  std::printf("\nVOICE beside CREATEWAV of the same text (%lu bytes of text, %d calls a batch,\n"
              "the voice folder holding as many files as VOICE keeps), round trip:\n",
              static_cast<unsigned long>(text.size()), calls);
  std::printf("  CREATEWAV %9.0f ns\n  VOICE     %9.0f ns   %s   target <= %.2fx%s\n",
              quantile(ns_of[1], 0.5), quantile(ns_of[0], 0.5), ratio_text(ratios).c_str(),
              target, quantile(ratios, 0.5) <= target ? "" : "  MISSED");
  std::printf("the host writing %lu bytes itself, without the plug-in:\n"
              "  over one name           %9.0f ns\n"
              "  new names, one removed  %9.0f ns   %s\n",
              static_cast<unsigned long>(wave_bytes), quantile(ns_of[2], 0.5),
              quantile(ns_of[3], 0.5), ratio_text(host_ratios).c_str());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  // The stand-in would otherwise append a log line per call.
  SetEnvironmentVariableA("AQUESTALK_STANDIN_LOG", nullptr);
  _putenv("AQUESTALK_STANDIN_LOG=");

  const std::string engine_directory = windows_path(WINE_BENCH_ENGINE_DIR) + "\\";
  std::vector<Contender> contenders(static_cast<std::size_t>(argc > 1 ? argc : 1));
  contenders[0].name = "this DLL";
  Plugin floor;
  if (!open_plugin(contenders[0].plugin, WINE_BENCH_PLUGIN_FILE, engine_directory) ||
      !open_plugin(floor, WINE_BENCH_FLOOR_FILE, engine_directory)) {
    return 1;
  }
  for (int i = 1; i < argc; ++i) {
    Contender& earlier = contenders[static_cast<std::size_t>(i)];
    earlier.name = "earlier " + std::to_string(i);
    if (!open_plugin(earlier.plugin, argv[i], engine_directory)) return 1;
    if (earlier.plugin.module == contenders[0].plugin.module) {
      std::fprintf(stderr, "wine_bench: %s is the DLL of this build\n", argv[i]);
      return 1;
    }
  }

  const std::size_t mebibyte = std::size_t{1} << 20;
  std::vector<Case> cases = {
      {"GET Version", version_request, 1.3},
      {"EXECUTE PLAYSYNC (typical)", typical_request, 1.3},
      {"1 MiB of header lines", make_bulk_request(BulkKind::headers, mebibyte), 2.0},
      {"1 MiB of argument lines", make_bulk_request(BulkKind::arguments, mebibyte), 2.0},
  };
  for (Case& c : cases) {
    // Only a path that answers as a host expects is worth timing, and every
    // DLL must answer alike.
    const std::string answer = answer_of(contenders[0].plugin, c.text);
    if (answer.compare(0, 10, "SAORI/1.0 ") != 0) {
      std::fprintf(stderr, "wine_bench: %s: unexpected answer %s\n", c.label, answer.c_str());
      return 1;
    }
    for (const Contender& other : contenders) {
      if (answer_of(other.plugin, c.text) != answer) {
        std::fprintf(stderr, "wine_bench: %s: %s answers otherwise\n", c.label,
                     other.name.c_str());
        return 1;
      }
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
  for (int i = 1; i < argc; ++i) std::printf("earlier %d: %s\n", i, argv[i]);
  run(contenders, floor, cases, Clock::round_trip);
  run(contenders, floor, cases, Clock::call_alone);
  std::printf("(ns per call and ratios are medians over the rounds, quartiles in brackets; a\n"
              " ratio compares two DLLs' times in the same round)\n");
  if (!run_voice(contenders[0].plugin)) return 1;

  for (Contender& contender : contenders) {
    contender.plugin.unload();
    FreeLibrary(contender.plugin.module);
  }
  floor.unload();
  FreeLibrary(floor.module);
  return 0;
}
