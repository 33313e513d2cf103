// Speed of the request parser and the response writer.
//
//  - typical request: one short EXECUTE PLAYSYNC request parsed (with the
//    SecurityLevel default seeded, as the dispatcher does) and its 200
//    response written;
//  - bulk parsing: about 1 MiB of header lines, and about 1 MiB of argument
//    lines, parsed, beside a floor measured on the same bytes in the same run:
//    one memchr call per line looking for its LF, and nothing else;
//  - growth: the same two kinds of input at 1/16 MiB and 1 MiB.
//
// The bulk inputs are those of bench/bulk_request.h.
//
// After the benchmarks a summary block gives the figures the project tracks,
// each the median of the repetitions of its benchmark.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench/bulk_request.h"
#include "bench/collecting_reporter.h"
#include "bench/typical_request.h"
#include "plugin/request_memory.h"
#include "protocol/byte_string.h"
#include "protocol/request_parser.h"
#include "protocol/response_writer.h"

namespace {

using saori::ArgumentList;
using saori::ByteString;
using saori::ByteView;
using saori::HeaderMap;

constexpr int repetitions = 5;

constexpr std::size_t large_input = std::size_t{1} << 20;  // 1 MiB
constexpr std::size_t small_input = large_input / 16;      // 64 KiB

const std::string& bulk_request(BulkKind kind, std::size_t size) {
  static std::map<std::pair<BulkKind, std::size_t>, std::string> cache;
  auto found = cache.find({kind, size});
  if (found == cache.end()) found = cache.emplace(std::make_pair(kind, size), make_bulk_request(kind, size)).first;
  return found->second;
}

void typical_request_benchmark(benchmark::State& state) {
  const ByteView text(typical_request, sizeof typical_request - 1);
  for (auto _ : state) {
    saori::RequestMemory memory;  // as the dispatcher has it
    HeaderMap headers({{"SecurityLevel", "Local"}}, memory.allocator());
    ByteView method;
    ArgumentList arguments(memory.allocator());
    const int count = saori::parse_request(text, headers, method, arguments);
    benchmark::DoNotOptimize(count);
    ByteString response = saori::write_response(nullptr, nullptr, 200, {}, memory.allocator());
    benchmark::DoNotOptimize(response.data());
  }
}

void parse_benchmark(benchmark::State& state, BulkKind kind, std::size_t size) {
  const std::string& text = bulk_request(kind, size);
  for (auto _ : state) {
    saori::RequestMemory memory;
    HeaderMap headers({{"SecurityLevel", "Local"}}, memory.allocator());
    ByteView method;
    ArgumentList arguments(memory.allocator());
    const int count = saori::parse_request(text, headers, method, arguments);
    benchmark::DoNotOptimize(count);
    benchmark::DoNotOptimize(headers.size());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(text.size()));
}

// The least a line splitter has to do: one memchr per line for its LF.
void floor_benchmark(benchmark::State& state, BulkKind kind, std::size_t size) {
  const std::string& text = bulk_request(kind, size);
  for (auto _ : state) {
    const char* p = text.data();
    const char* const end = p + text.size();
    std::size_t lines = 0;
    while (p < end) {
      const void* lf = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
      if (lf == nullptr) break;
      p = static_cast<const char*>(lf) + 1;
      ++lines;
    }
    benchmark::DoNotOptimize(lines);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(text.size()));
}

std::string bench_name(const char* what, BulkKind kind, std::size_t size) {
  return std::string(what) + (kind == BulkKind::headers ? "/header_lines/" : "/argument_lines/") +
         std::to_string(size);
}


// Megabytes (10^6 bytes) per second for `bytes` handled in `nanoseconds`.
double megabytes_per_second(std::size_t bytes, double nanoseconds) {
  return static_cast<double>(bytes) / nanoseconds * 1e3;
}

void print_summary(const CollectingReporter& reporter) {
  std::printf("\n---- codec summary (medians of %d repetitions) ----\n", repetitions);
  const double typical = reporter.median("typical_request");
  if (typical >= 0) std::printf("typical request: %.0f ns (parse + 200 response)\n", typical);

  for (BulkKind kind : {BulkKind::headers, BulkKind::arguments}) {
    const char* label = kind == BulkKind::headers ? "header lines" : "argument lines";
    const std::size_t bytes = bulk_request(kind, large_input).size();
    const double parse = reporter.median(bench_name("parse", kind, large_input));
    const double floor = reporter.median(bench_name("floor", kind, large_input));
    if (parse > 0 && floor > 0) {
      const double parse_rate = megabytes_per_second(bytes, parse);
      const double floor_rate = megabytes_per_second(bytes, floor);
      std::printf("%s: parse %.0f MB/s, floor %.0f MB/s, ratio %.2f (target >= 0.5)%s\n", label,
                  parse_rate, floor_rate, parse_rate / floor_rate,
                  parse_rate / floor_rate >= 0.5 ? "" : "  MISSED");
    }
    const double small = reporter.median(bench_name("parse", kind, small_input));
    if (small > 0 && parse > 0) {
      const double factor = parse / small;
      std::printf("growth 16x input: %s %.1f us -> %.1f us = %.1fx (target <= 20x)%s\n", label,
                  small / 1e3, parse / 1e3, factor, factor <= 20 ? "" : "  MISSED");
    }
    // The floor's own growth shows what the caches add on this machine.
    const double small_floor = reporter.median(bench_name("floor", kind, small_input));
    if (small_floor > 0 && floor > 0) {
      std::printf("  (memchr floor on the same inputs: %.1f us -> %.1f us = %.1fx)\n",
                  small_floor / 1e3, floor / 1e3, floor / small_floor);
    }
  }
  for (BulkKind kind : {BulkKind::headers, BulkKind::arguments}) {
    std::printf("input %s: %zu bytes (1 MiB case), %zu bytes (1/16 MiB case)\n",
                kind == BulkKind::headers ? "header lines" : "argument lines",
                bulk_request(kind, large_input).size(), bulk_request(kind, small_input).size());
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  benchmark::RegisterBenchmark("typical_request", typical_request_benchmark)
      ->Repetitions(repetitions);
  for (std::size_t size : {small_input, large_input}) {
    for (BulkKind kind : {BulkKind::headers, BulkKind::arguments}) {
      bulk_request(kind, size);  // built before any timing
      benchmark::RegisterBenchmark(bench_name("parse", kind, size).c_str(),
                                   [kind, size](benchmark::State& state) {
                                     parse_benchmark(state, kind, size);
                                   })
          ->Unit(benchmark::kMicrosecond)
          ->Repetitions(repetitions);
      benchmark::RegisterBenchmark(bench_name("floor", kind, size).c_str(),
                                   [kind, size](benchmark::State& state) {
                                     floor_benchmark(state, kind, size);
                                   })
          ->Unit(benchmark::kMicrosecond)
          ->Repetitions(repetitions);
    }
  }

  CollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  print_summary(reporter);
  benchmark::Shutdown();
  return 0;
}
