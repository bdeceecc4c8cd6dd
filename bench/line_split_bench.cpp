// Line splitting: InputFile::read_line_text over an export
// file against fgets into a 100-byte buffer. The file (about 27 MB, one
// record of 500,000 rows) is written once to the temporary directory.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "buffered_io.hpp"

namespace {

const std::string& export_path() {
  static const std::string path = [] {
    const std::string p =
        (std::filesystem::temp_directory_path() / "varnex_line_split_bench.txt")
            .string();
    std::FILE* f = std::fopen(p.c_str(), "wb");
    if (!f) std::abort();
    std::fprintf(f, "Event number: 1 of OnOff block: 1\r\n");
    std::fprintf(f, "Number of samples: 500000\r\n");
    std::fprintf(f, "Seconds,X (m/sec^2),Y (m/sec^2),Z (m/sec^2)\r\n");
    for (int i = 0; i < 500000; ++i) {
      std::fprintf(f, "%.6e,%.6e,%.6e,%.6e\r\n", i / 1000.0, 0.25 - i * 1e-7,
                   -1.2 + i * 1e-7, 9.81);
    }
    std::fclose(f);
    return p;
  }();
  return path;
}

std::int64_t file_size() {
  return static_cast<std::int64_t>(std::filesystem::file_size(export_path()));
}

// Reads the whole export with the program's line reader.
void BM_InputFile(benchmark::State& state) {
  const std::string& path = export_path();
  std::int64_t lines = 0;
  for (auto _ : state) {
    varnex::InputFile in;
    if (in.open(path) != 0) state.SkipWithError("cannot open");
    std::string_view line;
    while (in.read_line_text(line)) {
      ++lines;
      benchmark::DoNotOptimize(line);
    }
  }
  state.SetItemsProcessed(lines);
  state.SetBytesProcessed(state.iterations() * file_size());
}
BENCHMARK(BM_InputFile)->Name("BM_InputFileReadLineText")->Unit(benchmark::kMillisecond);

void BM_Fgets(benchmark::State& state) {
  const std::string& path = export_path();
  std::int64_t lines = 0;
  for (auto _ : state) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) state.SkipWithError("cannot open");
    char buffer[varnex::kLineLimit];
    while (std::fgets(buffer, sizeof buffer, f)) {
      ++lines;
      benchmark::DoNotOptimize(buffer);
    }
    std::fclose(f);
  }
  state.SetItemsProcessed(lines);
  state.SetBytesProcessed(state.iterations() * file_size());
}
BENCHMARK(BM_Fgets)->Unit(benchmark::kMillisecond);

}  // namespace
