// Channel-line formatting: "%lf %lf \n" built with format_fixed6, with
// snprintf and with std::to_chars (fixed, 6 decimals), on times and values
// like a record's.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "number_text.hpp"

namespace {

struct Sample {
  double t;
  double v;
};

const std::vector<Sample>& samples() {
  static const std::vector<Sample> made = [] {
    std::vector<Sample> out;
    std::mt19937_64 rng(11);
    std::normal_distribution<double> noise(0.0, 0.05);
    for (int i = 0; i < 4096; ++i) {
      // Times of a long record and mean-removed channel values.
      out.push_back({(3'000'000 + i) / 1000.0, 0.25 * noise(rng) * 20});
    }
    return out;
  }();
  return made;
}

void set_counters(benchmark::State& state) {
  state.SetItemsProcessed(state.iterations() *
                          static_cast<std::int64_t>(samples().size()));
}

void BM_FormatFixed6(benchmark::State& state) {
  char line[2 * varnex::kMaxNumberChars + 4];
  for (auto _ : state) {
    for (const Sample& s : samples()) {
      char* p = varnex::format_fixed6(line, s.t);
      *p++ = ' ';
      p = varnex::format_fixed6(p, s.v);
      std::memcpy(p, " \n", 2);
      benchmark::DoNotOptimize(line);
    }
  }
  set_counters(state);
}
BENCHMARK(BM_FormatFixed6);

void BM_Snprintf(benchmark::State& state) {
  char line[2 * varnex::kMaxNumberChars + 4];
  for (auto _ : state) {
    for (const Sample& s : samples()) {
      std::snprintf(line, sizeof line, "%lf %lf \n", s.t, s.v);
      benchmark::DoNotOptimize(line);
    }
  }
  set_counters(state);
}
BENCHMARK(BM_Snprintf);

void BM_ToCharsFixed6(benchmark::State& state) {
  char line[2 * varnex::kMaxNumberChars + 4];
  char* const end = line + sizeof line;
  for (auto _ : state) {
    for (const Sample& s : samples()) {
      char* p = std::to_chars(line, end, s.t, std::chars_format::fixed, 6).ptr;
      *p++ = ' ';
      p = std::to_chars(p, end, s.v, std::chars_format::fixed, 6).ptr;
      std::memcpy(p, " \n", 2);
      benchmark::DoNotOptimize(line);
    }
  }
  set_counters(state);
}
BENCHMARK(BM_ToCharsFixed6);

}  // namespace
