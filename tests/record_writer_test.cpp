// The record writer: channel file names, and through the built program the
// values at the edges of the double range, the order of the mean's sum and
// the non-numbers that arithmetic on infinities gives. snprintf is the
// oracle for every number printed.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>

#include "program_runner.hpp"
#include "record_writer.hpp"

namespace varnex_test {
namespace {

TEST(ChannelFileName, BlockFirstEventSecondMinusSignsKept) {
  const struct {
    const char* prefix;
    char channel;
    std::int32_t block;
    std::int32_t event;
    const char* name;
  } cases[] = {
      // prefix     channel block        event        name
      {"run",       'x',    2,           15,          "run_x_2.15"},
      {"run",       'y',    2,           15,          "run_y_2.15"},
      {"run",       'z',    0,           0,           "run_z_0.0"},
      {"",          'x',    1,           3,           "_x_1.3"},
      {"out/a.b",   'y',    -3,          -12,         "out/a.b_y_-3.-12"},
      {"r",         'z',    INT32_MIN,   INT32_MAX,   "r_z_-2147483648.2147483647"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.name, varnex::channel_file_name(c.prefix, c.channel, c.block, c.event));
  }
  const std::string long_prefix(300, 'p');
  EXPECT_EQ(long_prefix + "_x_7.8", varnex::channel_file_name(long_prefix, 'x', 7, 8));
}

// Runs one record made of `rows` (the first row is index 0, never written).
RunResult run_record(const TempDir& dir, const std::string& rows, int count,
                     bool mean_removal) {
  write_file(dir / "in.txt", "Event number: 1 of OnOff block: 1\n"
                             "Number of samples: " + std::to_string(count) +
                                 "\nSeconds,X,Y,Z\n" + rows);
  return run_program(dir.path(), std::string("in.txt run 2 2 ") +
                                     (mean_removal ? "1\n" : "2\n"));
}

std::string line_of(const char* format, double t, double v) {
  char text[1024];
  std::snprintf(text, sizeof text, format, t, v);
  return text;
}

std::string g9_4(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%9.4g", v);
  return text;
}

TEST(WriteRecord, ValuesAtTheEdgesOfTheDoubleRangeArePrintedInFull) {
  const double inf = std::numeric_limits<double>::infinity();
  const double tiny = std::strtod("1e-310", nullptr);  // subnormal
  const struct {
    double t, x, y, z;
  } samples[] = {
      {1e-3, 1e300, -1e300, tiny},
      {2e-3, inf, -inf, -0.0},
      {3e-3, 1.5e-7, -4e-7, 5e-7},
      {DBL_MAX, -DBL_MAX, 0.0000005, 1.0},
  };
  TempDir dir;
  const RunResult run = run_record(dir,
      "0e+0,0,0,0\n"
      "1e-3,1e300,-1e300,1e-310\n"
      "2e-3,1e400,-1e400,-1e-400\n"
      "3e-3,1.5e-7,-4e-7,5e-7\n"
      "1.7976931348623157e+308,-1.7976931348623157e+308,0.0000005,1\n",
      5, false);
  EXPECT_EQ(1, run.status);
  EXPECT_EQ("", run.err);
  std::string x, y, z;
  for (const auto& s : samples) {
    x += line_of("%lf %lf \n", s.t, s.x);
    y += line_of("%lf %lf\n", s.t, s.y);
    z += line_of("%lf %lf\n", s.t, s.z);
  }
  const std::string x_file = read_file(dir / "run_x_1.1");
  const std::string y_file = read_file(dir / "run_y_1.1");
  const std::string z_file = read_file(dir / "run_z_1.1");
  EXPECT_EQ(x, x_file);
  EXPECT_EQ(y, y_file);
  EXPECT_EQ(z, z_file);
  // The hand-checkable parts of the written text, which hold even if the
  // oracle were wrong: 1e300 has 301 digits before the point.
  const std::size_t value_at = x_file.find(' ') + 1;
  EXPECT_EQ(301u, x_file.find('.', value_at) - value_at) << x_file.substr(0, 400);
  EXPECT_NE(std::string::npos, x_file.find("0.002000 inf \n"));
  EXPECT_NE(std::string::npos, y_file.find("0.002000 -inf\n"));
  EXPECT_NE(std::string::npos, z_file.find("0.002000 -0.000000\n"));
  // Squares of 1e300 and of the infinities overflow: the x and y rms and
  // the overall rms are infinite.
  const double z_rms =
      std::sqrt((std::pow(tiny, 2.0) + 0.0 + std::pow(5e-7, 2.0) + 1.0) / 5);
  EXPECT_EQ("1 \t 1 \t " + g9_4(inf) + " \t " + g9_4(inf) + " \t " + g9_4(z_rms) +
                " \t " + g9_4(inf) + " \n",
            read_file(dir / "run_rms.txt"));
  EXPECT_EQ("1 \t 1 \t       inf \t       inf \t         1 \n",
            read_file(dir / "run_peak.txt"));
}

TEST(WriteRecord, MeanIsSummedInAscendingIndexOrder) {
  // 1e16 + 1 rounds back to 1e16 while 1e16 + 2 is exact, so the same four
  // values summed in ascending index order give a different mean for each
  // arrangement: x 1e16, 1, -1e16, 1 sums to 1 (mean 0.25); y 1, 1e16, 1,
  // -1e16 sums to 0; z 1, 1, 1e16, -1e16 sums to 2 (mean 0.5).
  TempDir dir;
  const RunResult run = run_record(dir,
      "0e+0,1e16,1,1\n"
      "1e-3,1,1e16,1\n"
      "2e-3,-1e16,1,1e16\n"
      "3e-3,1,-1e16,-1e16\n",
      4, true);
  EXPECT_EQ(1, run.status);
  EXPECT_EQ("0.001000 0.750000 \n"
            "0.002000 -10000000000000000.000000 \n"
            "0.003000 0.750000 \n",
            read_file(dir / "run_x_1.1"));
  EXPECT_EQ("0.001000 10000000000000000.000000\n"
            "0.002000 1.000000\n"
            "0.003000 -10000000000000000.000000\n",
            read_file(dir / "run_y_1.1"));
  EXPECT_EQ("0.001000 0.500000\n"
            "0.002000 10000000000000000.000000\n"
            "0.003000 -10000000000000000.000000\n",
            read_file(dir / "run_z_1.1"));
}

TEST(WriteRecord, InfinitiesMinusAnInfiniteMeanGiveNonNumbers) {
  // With mean removal a channel holding an infinity has an infinite mean:
  // the infinity itself becomes a non-number, every finite value an
  // infinity of the other sign. A non-number never becomes the peak.
  volatile double inf = std::numeric_limits<double>::infinity();
  const double nan_x = inf - inf;     // as the machine computes it at run time
  const double nan_y = -inf - -inf;
  TempDir dir;
  const RunResult run = run_record(dir,
      "0e+0,0,0,0\n"
      "1e-3,1e400,-1e400,1\n"
      "2e-3,2,2,3\n",
      3, true);
  EXPECT_EQ(1, run.status);
  EXPECT_EQ(line_of("%lf %lf \n", 1e-3, nan_x) + "0.002000 -inf \n",
            read_file(dir / "run_x_1.1"));
  EXPECT_EQ(line_of("%lf %lf\n", 1e-3, nan_y) + "0.002000 inf\n",
            read_file(dir / "run_y_1.1"));
  EXPECT_EQ("0.001000 -0.333333\n0.002000 1.666667\n", read_file(dir / "run_z_1.1"));
  EXPECT_EQ("1 \t 1 \t       inf \t       inf \t     1.667 \n",
            read_file(dir / "run_peak.txt"));
}

TEST(WriteRecord, LastWrittenValuesCarryIntoTheNextRecordsMissingChannels) {
  // The first record's last sample repeats its time and is not written, so
  // the writer leaves the scratch values at the sample before it (3, -3, 4
  // times 0.102), not at the parser's last values (7, -7, 8 times 0.102).
  // The next record's rows give only times: each scales the scratch values
  // once more, 3 * 0.102^3 = 0.003183624 in its one written line.
  TempDir dir;
  write_file(dir / "in.txt",
             "Event number: 1 of OnOff block: 1\nNumber of samples: 3\nSeconds\n"
             "0e+0,1,-1,2\n1e-3,3,-3,4\n1e-3,7,-7,8\n"
             "Event number: 2 of OnOff block: 1\nNumber of samples: 2\nSeconds\n"
             "0e+0\n1e-3\n");
  const RunResult run = run_program(dir.path(), "in.txt run 1 1 2\n");
  EXPECT_EQ(1, run.status);
  EXPECT_EQ("0.001000 0.306000 \n", read_file(dir / "run_x_1.1"));
  EXPECT_EQ("0.001000 0.003184 \n", read_file(dir / "run_x_1.2"));
  EXPECT_EQ("0.001000 -0.003184\n", read_file(dir / "run_y_1.2"));
  EXPECT_EQ("0.001000 0.004245\n", read_file(dir / "run_z_1.2"));
}

}  // namespace
}  // namespace varnex_test
