// A console reporter that also keeps each benchmark's times, so that a
// program can print a summary of medians after the runs.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

// Passes every run on to the console and keeps each benchmark's real times
// (in nanoseconds per iteration) for the summary.
class CollectingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      times_[run.run_name.function_name].push_back(run.GetAdjustedRealTime() *
                                                   nanoseconds_per(run.time_unit));
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // Median nanoseconds per iteration, or a negative value when not run.
  double median(const std::string& name) const {
    const auto found = times_.find(name);
    if (found == times_.end() || found->second.empty()) return -1;
    std::vector<double> values = found->second;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
  }

 private:
  static double nanoseconds_per(benchmark::TimeUnit unit) {
    switch (unit) {
      case benchmark::kNanosecond: return 1;
      case benchmark::kMicrosecond: return 1e3;
      case benchmark::kMillisecond: return 1e6;
      case benchmark::kSecond: return 1e9;
    }
    return 1;
  }

  std::map<std::string, std::vector<double>> times_;
};
