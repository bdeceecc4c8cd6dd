// Cost per number of the two conversions on the converter's hot path:
// reading data-row numbers and printing channel-file values, each against
// the C library call it stands for. Links with benchmark_main.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "number_text.hpp"

namespace {

constexpr int kValueCount = 1 << 16;

// Times of a recording (steps of 0.5 ms) and channel values of either sign
// between 1e-3 and 1e3: what a channel file line holds.
std::vector<double> channel_values() {
  std::mt19937_64 rng(2026);
  std::uniform_real_distribution<double> decade(-3, 3);
  std::vector<double> values(kValueCount);
  for (int i = 0; i < kValueCount; ++i) {
    const double magnitude = std::pow(10.0, decade(rng));
    const double channel = (rng() & 1) ? -magnitude : magnitude;
    values[i] = (i % 2 == 0) ? i * 0.0005 : channel;
  }
  return values;
}

// The same values as the export writes them: "%e", comma-separated.
std::string row_text(const std::vector<double>& values) {
  std::string text;
  char number[32];
  for (double v : values) {
    std::snprintf(number, sizeof number, "%e,", v);
    text += number;
  }
  return text;
}

void BM_format_fixed6(benchmark::State& state) {
  const std::vector<double> values = channel_values();
  char out[varnex::kMaxNumberChars];
  for (auto _ : state) {
    for (double v : values) {
      benchmark::DoNotOptimize(varnex::format_fixed6(out, v));
      benchmark::ClobberMemory();
    }
  }
  state.SetItemsProcessed(state.iterations() * kValueCount);
}
BENCHMARK(BM_format_fixed6);

void BM_snprintf_lf(benchmark::State& state) {
  const std::vector<double> values = channel_values();
  char out[varnex::kMaxNumberChars];
  for (auto _ : state) {
    for (double v : values) {
      benchmark::DoNotOptimize(std::snprintf(out, sizeof out, "%lf", v));
      benchmark::ClobberMemory();
    }
  }
  state.SetItemsProcessed(state.iterations() * kValueCount);
}
BENCHMARK(BM_snprintf_lf);

void BM_parse_row_number(benchmark::State& state) {
  const std::string text = row_text(channel_values());
  const char* const end = text.data() + text.size();
  for (auto _ : state) {
    double value = 0;
    for (const char* p = text.data(); p && p < end; ++p) {
      p = varnex::parse_row_number(p, end, &value);
      benchmark::DoNotOptimize(value);
    }
  }
  state.SetItemsProcessed(state.iterations() * kValueCount);
}
BENCHMARK(BM_parse_row_number);

void BM_strtod(benchmark::State& state) {
  const std::string text = row_text(channel_values());
  for (auto _ : state) {
    const char* p = text.c_str();
    for (int i = 0; i < kValueCount; ++i) {
      char* next;
      benchmark::DoNotOptimize(std::strtod(p, &next));
      p = next + 1;
    }
  }
  state.SetItemsProcessed(state.iterations() * kValueCount);
}
BENCHMARK(BM_strtod);

}  // namespace
