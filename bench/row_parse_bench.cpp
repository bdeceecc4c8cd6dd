// Data-row parsing: parse_sample_line and parse_row_number against the
// obvious libc ways, sscanf("%lf,%lf,%lf,%lf") and four strtod calls, on
// rows shaped as the recorder writes them.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "number_text.hpp"
#include "run_state.hpp"
#include "sample_store.hpp"

namespace {

// 4096 rows like "1.234000e+00,2.500000e-01,-1.200000e+00,9.810000e+00\r\n".
const std::vector<std::string>& rows() {
  static const std::vector<std::string> made = [] {
    std::vector<std::string> out;
    std::mt19937_64 rng(7);
    std::normal_distribution<double> noise(0.0, 0.05);
    char text[128];
    for (int i = 0; i < 4096; ++i) {
      const double t = i / 1000.0;
      std::snprintf(text, sizeof text, "%.6e,%.6e,%.6e,%.6e\r\n", t,
                    0.25 + noise(rng), -1.2 + noise(rng), 9.81 + noise(rng));
      out.emplace_back(text);
    }
    return out;
  }();
  return made;
}

std::int64_t row_bytes() {
  std::int64_t n = 0;
  for (const std::string& r : rows()) n += static_cast<std::int64_t>(r.size());
  return n;
}

void set_counters(benchmark::State& state) {
  state.SetItemsProcessed(state.iterations() *
                          static_cast<std::int64_t>(rows().size()));
  state.SetBytesProcessed(state.iterations() * row_bytes());
}

void BM_ParseSampleLine(benchmark::State& state) {
  static varnex::RunState run;  // holds the 4,100,000-slot store
  run.options.scale_factor = 0.102;
  for (auto _ : state) {
    run.store.sample_count = 0;
    for (const std::string& r : rows()) {
      run.line_buffer = r;
      varnex::parse_sample_line(run);
    }
    benchmark::DoNotOptimize(run.store.x[rows().size() - 1]);
  }
  set_counters(state);
}
BENCHMARK(BM_ParseSampleLine);

void BM_ParseRowNumber(benchmark::State& state) {
  double v[4];
  for (auto _ : state) {
    for (const std::string& r : rows()) {
      const char* p = r.data();
      const char* end = p + r.size();
      for (int k = 0; k < 4 && p; ++k) {
        p = varnex::parse_row_number(p, end, &v[k]);
        if (p && p < end && *p == ',') ++p;
      }
      benchmark::DoNotOptimize(v);
    }
  }
  set_counters(state);
}
BENCHMARK(BM_ParseRowNumber);

void BM_Sscanf(benchmark::State& state) {
  double v[4];
  for (auto _ : state) {
    for (const std::string& r : rows()) {
      std::sscanf(r.c_str(), "%lf,%lf,%lf,%lf", &v[0], &v[1], &v[2], &v[3]);
      benchmark::DoNotOptimize(v);
    }
  }
  set_counters(state);
}
BENCHMARK(BM_Sscanf);

void BM_Strtod(benchmark::State& state) {
  double v[4];
  for (auto _ : state) {
    for (const std::string& r : rows()) {
      const char* p = r.c_str();
      for (int k = 0; k < 4; ++k) {
        char* next;
        v[k] = std::strtod(p, &next);
        p = *next == ',' ? next + 1 : next;
      }
      benchmark::DoNotOptimize(v);
    }
  }
  set_counters(state);
}
BENCHMARK(BM_Strtod);

}  // namespace
