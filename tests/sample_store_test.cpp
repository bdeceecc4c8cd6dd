// The data-row parser and the sample store, driven directly on a run state:
// which rows are taken, what each destination receives, and what the store
// keeps. strtod is the oracle for every number read.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "run_state.hpp"
#include "sample_store.hpp"

namespace {

using varnex::kStoreCapacity;
using varnex::RunState;

// Doubles shown in full, so that a failure names the exact bits.
std::string hex(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%a", v);
  return text;
}

#define EXPECT_SAME_DOUBLE(expected, actual)                                 \
  EXPECT_TRUE(std::memcmp(&(expected), &(actual), sizeof(double)) == 0 ||    \
              (std::isnan(expected) && std::isnan(actual)))                  \
      << "expected " << hex(expected) << ", actual " << hex(actual)

double strtod_of(const char* text) { return std::strtod(text, nullptr); }

// Parses `line` as the scanner hands it over: the view is all the parser
// may look at.
void parse(RunState& state, std::string_view line) {
  state.line_buffer = line;
  ASSERT_TRUE(varnex::parse_sample_line(state));
}

std::unique_ptr<RunState> fresh_state(double scale) {
  auto state = std::make_unique<RunState>();
  state->options.scale_factor = scale;
  return state;
}

// Each case starts from the same state: sample_count i, t[i] = p, the
// scratch values a, b, c. A null text means "the starting value times s"
// (or p for the time); otherwise the expected value is strtod of the text,
// times s for the channels.
struct RowCase {
  const char* line;
  bool taken;
  const char* t;
  const char* x;
  const char* y;
  const char* z;
};

TEST(ParseSampleLine, RowsOfEveryShapeFillTheirSlotOrKeepThePreviousValues) {
  const RowCase cases[] = {
      // line                                                   taken  t          x          y          z
      {"1.000000e-03, 2.500000e-01,-1.200000e+00, 9.810000e+00\r\n", true, "1.000000e-03", "2.500000e-01", "-1.200000e+00", "9.810000e+00"},
      {"2e-3,+3,.5,-4.",                                        true,  "2e-3",    "+3",      ".5",      "-4."},
      {"0.001,1.5e-02,2,3",                                     true,  "0.001",   "1.5e-02", "2",       "3"},
      {"1.0e-03,2.0e-01,3.0e-01,4.0e-01,5.0e-01",               true,  "1.0e-03", "2.0e-01", "3.0e-01", "4.0e-01"},
      {"1.0e-03,2.5e-01",                                       true,  "1.0e-03", "2.5e-01", nullptr,   nullptr},
      {"1.0e-03 ,2.5e-01,3.0e-01,4.0e-01",                      true,  "1.0e-03", nullptr,   nullptr,   nullptr},
      {"1.0e-03;2.5e-01;3.0e-01;4.0e-01",                       true,  "1.0e-03", nullptr,   nullptr,   nullptr},
      {"Remark 1.0e+03",                                        true,  nullptr,   nullptr,   nullptr,   nullptr},
      {"0.001,0.25,-1.2,9.81",                                  false, nullptr,   nullptr,   nullptr,   nullptr},
      {"1.0E-03,2.5E-01,-1.2E+00,9.81E+00",                     false, nullptr,   nullptr,   nullptr,   nullptr},
      {"1.000000E-03,2.500000E-01,-1.200000E+00,9.810000E+00",  false, nullptr,   nullptr,   nullptr,   nullptr},
      {"abcdefghe+",                                            true,  nullptr,   nullptr,   nullptr,   nullptr},
      // White space of every kind before a number; none between it and its comma.
      {" \t1e-3,\v2,\f3,\r 4 \r\n",                             true,  "1e-3",    "2",       "3",       "4"},
      // An exponent marker without digits ends the number before the "e".
      {"1e,2e-1,3,4",                                           true,  "1",       nullptr,   nullptr,   nullptr},
      {"1e-3,2e+,3,4",                                          true,  "1e-3",    "2",       nullptr,   nullptr},
      // Words, hexadecimal forms and the decimal comma are not numbers.
      {"1e-3,inf,3,4",                                          true,  "1e-3",    nullptr,   nullptr,   nullptr},
      {"1e-3,0x1p3,3,4",                                        true,  "1e-3",    "0",       nullptr,   nullptr},
      {"1e-3,nan,3,4",                                          true,  "1e-3",    nullptr,   nullptr,   nullptr},
      {"1e-3,-,3,4",                                            true,  "1e-3",    nullptr,   nullptr,   nullptr},
      {"1e-3,.,3,4",                                            true,  "1e-3",    nullptr,   nullptr,   nullptr},
      // Beyond the range of a double: infinities, subnormals, signed zeros.
      {"1e400,-1e400,1e-310,-1e-400",                           true,  "1e400",   "-1e400",  "1e-310",  "-1e-400"},
      // Long digit strings convert as strtod converts them.
      {"1.00000000000000011102230246251565404236316680908203125e-3,"
       "9007199254740993,0.1000000000000000055511151231257827,2", true, "1.00000000000000011102230246251565404236316680908203125e-3",
       "9007199254740993", "0.1000000000000000055511151231257827", "2"},
  };
  const double s = 0.102;
  const double p = -7.25, a = 1.5, b = -2.75, c = 3.125;
  const std::int32_t i = 5;
  for (const RowCase& k : cases) {
    SCOPED_TRACE(k.line);
    auto state = fresh_state(s);
    varnex::SampleStore& store = state->store;
    store.sample_count = i;
    store.t[i] = p;
    state->scratch = {a, b, c};
    parse(*state, k.line);
    if (!k.taken) {
      EXPECT_EQ(i, store.sample_count);
      EXPECT_SAME_DOUBLE(p, store.t[i]);
      EXPECT_EQ(0.0, store.x[i]);
      EXPECT_SAME_DOUBLE(a, state->scratch.cur_x);
      EXPECT_SAME_DOUBLE(b, state->scratch.cur_y);
      EXPECT_SAME_DOUBLE(c, state->scratch.cur_z);
      continue;
    }
    EXPECT_EQ(i + 1, store.sample_count);
    const double t = k.t ? strtod_of(k.t) : p;
    const double x = (k.x ? strtod_of(k.x) : a) * s;
    const double y = (k.y ? strtod_of(k.y) : b) * s;
    const double z = (k.z ? strtod_of(k.z) : c) * s;
    EXPECT_SAME_DOUBLE(t, store.t[i]);
    EXPECT_SAME_DOUBLE(x, store.x[i]);
    EXPECT_SAME_DOUBLE(y, store.y[i]);
    EXPECT_SAME_DOUBLE(z, store.z[i]);
    EXPECT_SAME_DOUBLE(x, state->scratch.cur_x);
    EXPECT_SAME_DOUBLE(y, state->scratch.cur_y);
    EXPECT_SAME_DOUBLE(z, state->scratch.cur_z);
    // Only slot i is touched.
    EXPECT_EQ(0.0, store.t[i - 1]);
    EXPECT_EQ(0.0, store.x[i + 1]);
    EXPECT_EQ(0.0, store.t[i + 1]);
  }
}

TEST(ParseSampleLine, MarkerIsLookedForOnlyInsideTheLine) {
  // The parser sees the line as the scanner hands it over; an "e" at its
  // end followed by "-" in the bytes behind it does not make it a taken row.
  auto state = fresh_state(1.0);
  const std::string buffer = "1.0,2.0,3.0,4e-1";
  parse(*state, std::string_view(buffer).substr(0, buffer.size() - 2));
  EXPECT_EQ(0, state->store.sample_count);
  // The same where the recorder puts the marker of the time.
  const std::string time = "1.000000e-03";
  parse(*state, std::string_view(time).substr(0, 9));
  EXPECT_EQ(0, state->store.sample_count);
  parse(*state, std::string_view(time).substr(0, 10));
  EXPECT_EQ(1, state->store.sample_count);
}

TEST(ParseSampleLine, RowsWithoutChannelValuesStoreAGeometricSequence) {
  const double s = 0.102;
  auto state = fresh_state(s);
  parse(*state, "0e+0,2,-4,8");
  double x = 2 * s, y = -4 * s, z = 8 * s;
  for (int row = 1; row <= 6; ++row) {
    SCOPED_TRACE(row);
    parse(*state, "1e-3");
    x *= s;
    y *= s;
    z *= s;
    EXPECT_SAME_DOUBLE(x, state->store.x[row]);
    EXPECT_SAME_DOUBLE(y, state->store.y[row]);
    EXPECT_SAME_DOUBLE(z, state->store.z[row]);
    EXPECT_SAME_DOUBLE(x, state->scratch.cur_x);
  }
  EXPECT_EQ(7, state->store.sample_count);
  // Each value is the one before times s: the first is no longer 2 * s.
  EXPECT_NE(state->store.x[1], state->store.x[0]);
}

TEST(ParseSampleLine, FirstRowOfARunWithNothingStoresZeros) {
  for (const char* line : {"header e-", "1e-3", "1e-3,", "e+,1,2,3"}) {
    SCOPED_TRACE(line);
    auto state = fresh_state(0.102);
    parse(*state, line);
    EXPECT_EQ(1, state->store.sample_count);
    EXPECT_EQ(line[0] == '1' ? 0.001 : 0.0, state->store.t[0]);
    EXPECT_EQ(0.0, state->store.x[0]);
    EXPECT_EQ(0.0, state->store.y[0]);
    EXPECT_EQ(0.0, state->store.z[0]);
  }
}

TEST(ParseSampleLine, ShorterRecordKeepsTheEarlierRecordsSlotsAndTimes) {
  auto state = fresh_state(1.0);
  varnex::SampleStore& store = state->store;
  parse(*state, "1e-3,1,1,1");
  parse(*state, "2e-3,2,2,2");
  parse(*state, "3e-3,3,3,3");
  store.sample_count = 0;  // the scanner starts the next record
  parse(*state, "5e-3,5,5,5");
  parse(*state, "time e-,6,6,6");  // its time does not convert
  EXPECT_EQ(2, store.sample_count);
  EXPECT_EQ(0.005, store.t[0]);
  EXPECT_EQ(0.002, store.t[1]);  // the earlier record's time at index 1
  EXPECT_EQ(5.0, store.x[1]);    // channels from the scratch values
  EXPECT_EQ(0.003, store.t[2]);  // above the count: as the earlier record left it
  EXPECT_EQ(3.0, store.z[2]);
}

TEST(SampleStore, ARecordBeyondTheCapacityGrowsTheStoreAndKeepsItsContents) {
  auto state = fresh_state(1.0);
  varnex::SampleStore& store = state->store;
  ASSERT_EQ(kStoreCapacity, store.capacity());
  // Marker values at the first and the last reserved slot; plain rows between.
  parse(*state, "1e-3,11,12,13");
  state->line_buffer = "2e-3,1,2,3";
  for (std::size_t row = 1; row + 1 < kStoreCapacity; ++row) {
    ASSERT_TRUE(varnex::parse_sample_line(*state));
  }
  parse(*state, "9e+0,21,22,23");
  ASSERT_EQ(static_cast<std::int32_t>(kStoreCapacity), store.sample_count);
  EXPECT_EQ(kStoreCapacity, store.capacity());

  parse(*state, "1e+1,31,32,33");
  ASSERT_EQ(static_cast<std::int32_t>(kStoreCapacity) + 1, store.sample_count);
  EXPECT_GT(store.capacity(), kStoreCapacity);
  const std::size_t last = kStoreCapacity - 1;
  EXPECT_EQ(0.001, store.t[0]);
  EXPECT_EQ(11.0, store.x[0]);
  EXPECT_EQ(13.0, store.z[0]);
  EXPECT_EQ(0.002, store.t[last / 2]);
  EXPECT_EQ(2.0, store.y[last / 2]);
  EXPECT_EQ(9.0, store.t[last]);
  EXPECT_EQ(22.0, store.y[last]);
  EXPECT_EQ(10.0, store.t[kStoreCapacity]);
  EXPECT_EQ(31.0, store.x[kStoreCapacity]);
  EXPECT_EQ(33.0, store.z[kStoreCapacity]);
  // The new slots beyond the row hold zeros, up to the new capacity.
  for (std::size_t k : {kStoreCapacity + 1, store.capacity() - 1}) {
    EXPECT_EQ(0.0, store.t[k]);
    EXPECT_EQ(0.0, store.x[k]);
    EXPECT_EQ(0.0, store.y[k]);
    EXPECT_EQ(0.0, store.z[k]);
  }
  // The next record starts from slot 0 of the grown arrays.
  store.sample_count = 0;
  parse(*state, "4e-3,41,42,43");
  EXPECT_EQ(41.0, store.x[0]);
  EXPECT_EQ(9.0, store.t[last]);
}

TEST(IsTakenRow, OnlyALowerCaseEFollowedBySignCounts) {
  const struct {
    const char* line;
    bool taken;
  } cases[] = {
      // line              taken
      {"e-",               true},
      {"e+",               true},
      {"1.5e-02",          true},
      {"ee+",              true},
      {"Remark e- here",   true},
      {"xxxxxxxxxxe+",     true},
      {"E-",               false},
      {"E+",               false},
      {"e",                false},
      {"-e",               false},
      {"+e",               false},
      {"e -",              false},
      {"e*",               false},
      {"",                 false},
      {"eeeeeeeeee",       false},
      {"Seconds,X,Y,Z\r\n", false},
      {"0.001,0.25",       false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.taken, varnex::is_taken_row(c.line)) << '"' << c.line << '"';
  }
}

}  // namespace
