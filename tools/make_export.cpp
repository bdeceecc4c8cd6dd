// Writes a recorder export of any size, as the recorder's software writes
// it: CR LF line ends, a few header lines per record, the sample-count line,
// the column-header line and rows like
//   1.000000e-03,2.500000e-01,-1.200000e+00,9.810000e+00
//
// usage: make_export OUTPUT RECORDS SAMPLES_PER_RECORD [SEED]
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <random>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr,
                 "usage: make_export OUTPUT RECORDS SAMPLES_PER_RECORD [SEED]\n");
    return 2;
  }
  const char* path = argv[1];
  const long records = std::atol(argv[2]);
  const long samples = std::atol(argv[3]);
  const unsigned seed = argc > 4 ? static_cast<unsigned>(std::atol(argv[4])) : 1u;
  std::FILE* out = std::fopen(path, "wb");
  if (!out) {
    std::perror(path);
    return 2;
  }
  std::vector<char> buffer(1 << 20);
  std::setvbuf(out, buffer.data(), _IOFBF, buffer.size());

  std::mt19937_64 rng(seed);
  std::normal_distribution<double> noise(0.0, 0.05);
  const double rate = 1000.0;
  std::fprintf(out, "Varnex recorder text export\r\n");
  std::fprintf(out, "Unit serial: VX3-0412  Firmware: 4.17\r\n");
  std::fprintf(out, "Channels: X, Y, Z (m/sec^2)\r\n\r\n");
  for (long r = 1; r <= records; ++r) {
    const long block = 1 + (r - 1) / 4;
    std::fprintf(out, "Event number: %ld of OnOff block: %ld\r\n", r, block);
    std::fprintf(out, "Sample rate: %.0f samples/sec\r\n", rate);
    std::fprintf(out, "Trigger: X above 2.50 m/sec^2, pre-trigger 10%%\r\n");
    std::fprintf(out, "Start time: 2026-03-14 09:%02ld:%02ld\r\n", (r / 60) % 60,
                 r % 60);
    std::fprintf(out, "Number of samples: %ld\r\n", samples);
    std::fprintf(out, "Seconds,X (m/sec^2),Y (m/sec^2),Z (m/sec^2)\r\n");
    const double f = 5.0 + static_cast<double>(r % 7);
    for (long i = 0; i < samples; ++i) {
      const double t = static_cast<double>(i) / rate;
      const double x = 0.25 * std::sin(2 * std::numbers::pi * f * t) + noise(rng);
      const double y = -1.2 + 0.4 * std::cos(2 * std::numbers::pi * f * t) + noise(rng);
      const double z = 9.81 + noise(rng);
      std::fprintf(out, "%.6e,%.6e,%.6e,%.6e\r\n", t, x, y, z);
    }
    std::fprintf(out, "\r\n");
  }
  if (std::fclose(out) != 0) {
    std::perror(path);
    return 2;
  }
  return 0;
}
