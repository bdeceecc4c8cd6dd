// Number text against the C library: every formatter must produce the bytes
// of snprintf for its format, every parser the value (bit for bit) and the
// end position of strtod/strtol, on large random and adversarial sets.
//
// The default run covers about ten million values per formatter family and
// stays within seconds; VARNEX_LONG_TESTS multiplies the random sets.
#include "number_text.hpp"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#ifndef VARNEX_LONG_TESTS
#define VARNEX_LONG_TESTS 0
#endif

namespace varnex {
namespace {

constexpr long kScale = VARNEX_LONG_TESTS ? 40 : 1;
constexpr std::uint64_t kSeed = 0x5eed'0f'ba5e'2026ULL;

using Rng = std::mt19937_64;

std::uint64_t bits_of(double v) {
  std::uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

double from_bits(std::uint64_t b) {
  double v;
  std::memcpy(&v, &b, sizeof v);
  return v;
}

std::string hexfloat(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%a", v);
  return text;
}

// Makes control characters in a text visible in a failure message.
std::string escaped(std::string_view s) {
  std::string out;
  for (char c : s) {
    if (c >= ' ' && c <= '~') {
      out += c;
    } else {
      char code[8];
      std::snprintf(code, sizeof code, "\\x%02x",
                    static_cast<unsigned char>(c));
      out += code;
    }
  }
  return out;
}

// Steps `ulps` representable doubles up (positive) or down (negative).
double step_ulps(double v, int ulps) {
  const double toward = ulps > 0 ? HUGE_VAL : -HUGE_VAL;
  for (int i = 0; i < std::abs(ulps); ++i) v = std::nextafter(v, toward);
  return v;
}

double random_sign(Rng& rng, double v) { return (rng() & 1) ? -v : v; }

double uniform(Rng& rng, double lo, double hi) {
  return std::uniform_real_distribution<double>(lo, hi)(rng);
}

// 10^u with u uniform in [lo_exp, hi_exp]: every decade equally often.
double log_uniform(Rng& rng, double lo_exp, double hi_exp) {
  return std::pow(10.0, uniform(rng, lo_exp, hi_exp));
}

// NaN with the sign bit set; glibc prints it as "-nan".
double negative_nan() {
  return std::copysign(std::numeric_limits<double>::quiet_NaN(), -1.0);
}

// Counts mismatches and reports the first few in full; a run that goes
// wrong everywhere still ends with a readable log.
class MismatchLog {
 public:
  void add(const std::string& detail) {
    if (count_++ < kShown) ADD_FAILURE() << detail;
  }
  long count() const { return count_; }

 private:
  static constexpr long kShown = 12;
  long count_ = 0;
};

// ---------------------------------------------------------------------------
// format_fixed6 against "%lf"

void check_fixed6(double v, MismatchLog& log) {
  char want[400];
  std::snprintf(want, sizeof want, "%lf", v);
  char got[kMaxNumberChars];
  char* end = format_fixed6(got, v);
  const std::string_view text(got, static_cast<std::size_t>(end - got));
  if (text != want) {
    log.add("format_fixed6(" + hexfloat(v) + "): got \"" + std::string(text) +
            "\", printf gives \"" + want + "\"");
  }
}

TEST(FormatFixed6, MatchesPrintfOnSpecialValues) {
  // Expected texts are spelled out where they show a rule: ties to even at
  // the seventh decimal, the sign of values that round to zero, non-finites.
  const struct {
    double value;
    const char* expected;  // nullptr: printf alone decides
  } cases[] = {
      {0.0,                          "0.000000"},
      {-0.0,                         "-0.000000"},
      {-1e-9,                        "-0.000000"},
      {1e-9,                         "0.000000"},
      {0.0000005,                    "0.000000"},   // binary value below tie
      {-0.0000005,                   "-0.000000"},
      {0.0000015,                    "0.000002"},   // binary value above tie
      {1.0 / 128,                    "0.007812"},   // exact tie, even below
      {3.0 / 128,                    "0.023438"},   // exact tie, even above
      {-5.0 / 128,                   "-0.039062"},
      {1234567.0078125,              "1234567.007812"},
      {9.9999995,                    nullptr},
      {999999.9999995,               nullptr},
      {0.9999995,                    nullptr},
      {1.0,                          "1.000000"},
      {-2.5,                         "-2.500000"},
      {0.001,                        "0.001000"},
      {1e6,                          "1000000.000000"},
      {std::ldexp(1.0, 43),          "8796093022208.000000"},
      {std::ldexp(1.0, 43) - 1.0 / 512, nullptr},
      {std::ldexp(1.0, 53),          "9007199254740992.000000"},
      {std::ldexp(1.0, 64),          "18446744073709551616.000000"},
      {1e13,                         "10000000000000.000000"},
      {1e22,                         "10000000000000000000000.000000"},
      {1e23,                         "99999999999999991611392.000000"},
      {1e300,                        nullptr},
      {-1e300,                       nullptr},
      {DBL_MAX,                      nullptr},
      {-DBL_MAX,                     nullptr},
      {std::ldexp(1.0, 1023),        nullptr},
      {DBL_MIN,                      "0.000000"},
      {-DBL_MIN,                     "-0.000000"},
      {std::numeric_limits<double>::denorm_min(),  "0.000000"},
      {-std::numeric_limits<double>::denorm_min(), "-0.000000"},
      {HUGE_VAL,                     "inf"},
      {-HUGE_VAL,                    "-inf"},
      {std::numeric_limits<double>::quiet_NaN(), "nan"},
      {negative_nan(),               "-nan"},
      {0.0 / std::atof("0"),         nullptr},      // the NaN that 0/0 yields
  };
  MismatchLog log;
  for (const auto& c : cases) {
    check_fixed6(c.value, log);
    if (c.expected) {
      char got[kMaxNumberChars];
      char* end = format_fixed6(got, c.value);
      EXPECT_EQ(std::string(got, end), c.expected) << hexfloat(c.value);
    }
  }
  EXPECT_EQ(log.count(), 0);

  char text[kMaxNumberChars];
  EXPECT_EQ(format_fixed6(text, -DBL_MAX) - text, 309 + 1 + 1 + 6)
      << "the longest text must fit kMaxNumberChars";
}

TEST(FormatFixed6, MatchesPrintfNearPowersOfTenAndBinaryLimits) {
  MismatchLog log;
  for (int k = -12; k <= 308; ++k) {
    const double p = std::pow(10.0, k);
    for (double base : {p, p - 5e-7, p + 5e-7, p - 0.5, p * 0.9999995}) {
      for (int u = -4; u <= 4; ++u) {
        check_fixed6(step_ulps(base, u), log);
        check_fixed6(-step_ulps(base, u), log);
      }
    }
  }
  for (int e = -1074; e <= 1023; ++e) {
    const double p = std::ldexp(1.0, e);
    for (int u = -2; u <= 2; ++u) {
      check_fixed6(step_ulps(p, u), log);
      check_fixed6(-step_ulps(p, u), log);
    }
  }
  EXPECT_EQ(log.count(), 0);
}

// Every exact tie at the seventh decimal is an odd multiple of 1/128:
// v * 10^6 = n + 1/2 means v = (2n + 1) / (2^7 * 5^6), and a double is
// dyadic, so 5^6 must divide 2n + 1.
TEST(FormatFixed6, RoundsExactTiesToEven) {
  Rng rng(kSeed);
  MismatchLog log;
  const long count = 1'000'000 * kScale;
  for (long i = 0; i < count; ++i) {
    const int width = 1 + static_cast<int>(rng() % 53);
    const std::uint64_t odd = (rng() >> (64 - width)) | 1;
    const double tie = random_sign(rng, static_cast<double>(odd) / 128);
    check_fixed6(tie, log);
    check_fixed6(std::nextafter(tie, HUGE_VAL), log);
    check_fixed6(std::nextafter(tie, -HUGE_VAL), log);
  }
  EXPECT_EQ(log.count(), 0) << "of " << 3 * count << " values";
}

// Every one of the 10^6 possible six-decimal endings, behind integer parts
// of one, two and more digits: k / 10^6 lies within far less than half a
// unit of the sixth decimal of its nearest double, so printf shows k.
TEST(FormatFixed6, MatchesPrintfForEverySixDecimalFraction) {
  MismatchLog log;
  for (std::uint32_t k = 0; k < 1'000'000; ++k) {
    const double fraction = k / 1e6;
    check_fixed6(fraction, log);
    check_fixed6(-(7 + fraction), log);
    check_fixed6(42 + fraction, log);
    check_fixed6(123456 + fraction, log);
  }
  EXPECT_EQ(log.count(), 0);
}

TEST(FormatFixed6, MatchesPrintfOnRandomValues) {
  Rng rng(kSeed + 1);
  MismatchLog log;
  long checked = 0;
  // Any bit pattern: mostly tiny or huge magnitudes, some NaNs.
  for (long i = 0; i < 1'000'000 * kScale; ++i, ++checked)
    check_fixed6(from_bits(rng()), log);
  // Magnitudes that recorder data has: 1e-9 to 1e6.
  for (long i = 0; i < 4'000'000 * kScale; ++i, ++checked)
    check_fixed6(random_sign(rng, log_uniform(rng, -9, 6)), log);
  // Near a value with six decimals, n / 10^6 give or take a few ulps, for
  // n of 1 to 19 digits: the sixth decimal is where the rounding falls.
  for (long i = 0; i < 4'000'000 * kScale; ++i, ++checked) {
    std::uint64_t n = rng();
    const int digits = 1 + static_cast<int>(rng() % 19);
    std::uint64_t limit = 1;
    for (int d = 0; d < digits; ++d) limit *= 10;
    n %= limit;
    const double near = static_cast<double>(n) / 1e6;
    const int ulps = static_cast<int>(rng() % 7) - 3;
    check_fixed6(random_sign(rng, step_ulps(near, ulps)), log);
  }
  // Just below and above a half at the seventh decimal.
  for (long i = 0; i < 1'000'000 * kScale; ++i, ++checked) {
    const double n = static_cast<double>(rng() % 10'000'000'000'000ULL);
    const double half = (n + 0.5) / 1e6;
    const int ulps = static_cast<int>(rng() % 5) - 2;
    check_fixed6(random_sign(rng, step_ulps(half, ulps)), log);
  }
  EXPECT_EQ(log.count(), 0) << "of " << checked << " values";
}

// ---------------------------------------------------------------------------
// format_g9_4 against "%9.4g"

void check_g9_4(double v, MismatchLog& log) {
  char want[64];
  std::snprintf(want, sizeof want, "%9.4g", v);
  char got[kMaxNumberChars];
  char* end = format_g9_4(got, v);
  const std::string_view text(got, static_cast<std::size_t>(end - got));
  if (text != want) {
    log.add("format_g9_4(" + hexfloat(v) + "): got \"" + std::string(text) +
            "\", printf gives \"" + want + "\"");
  }
}

TEST(FormatG94, MatchesPrintfOnSpecialAndBoundaryValues) {
  const struct {
    double value;
    const char* expected;  // nullptr: printf alone decides
  } cases[] = {
      {0.0,                     "        0"},
      {-0.0,                    "       -0"},
      {1.5811388300841898,      "    1.581"},
      {2.3979157616563596,      "    2.398"},
      {3.0,                     "        3"},
      {9999.5,                  "    1e+04"},   // rounds up into the exponent
      {9999.4,                  "     9999"},
      {1234.5,                  "     1234"},   // exact tie, even below
      {1235.5,                  "     1236"},
      {0.0001,                  "   0.0001"},
      {0.00001,                 "    1e-05"},
      {0.000099995,             nullptr},
      {0.00009999,              "9.999e-05"},
      {123456.0,                "1.235e+05"},
      {1e100,                   "   1e+100"},
      {-1.234e-300,             "-1.234e-300"},
      {DBL_MAX,                 nullptr},
      {DBL_MIN,                 nullptr},
      {std::numeric_limits<double>::denorm_min(), nullptr},
      {HUGE_VAL,                "      inf"},
      {-HUGE_VAL,               "     -inf"},
      {std::numeric_limits<double>::quiet_NaN(), "      nan"},
      {negative_nan(),          "     -nan"},
  };
  MismatchLog log;
  for (const auto& c : cases) {
    check_g9_4(c.value, log);
    if (c.expected) {
      char got[kMaxNumberChars];
      char* end = format_g9_4(got, c.value);
      EXPECT_EQ(std::string(got, end), c.expected) << hexfloat(c.value);
    }
  }
  // The switch between fixed and exponent form sits at 1e-4 and 1e4, after
  // rounding to four digits.
  for (int k = -330; k <= 308; ++k) {
    const double p = std::pow(10.0, k);
    for (double base : {p, p * 0.99995, p * 0.9999, p * 1.0005}) {
      for (int u = -3; u <= 3; ++u) {
        check_g9_4(step_ulps(base, u), log);
        check_g9_4(-step_ulps(base, u), log);
      }
    }
  }
  EXPECT_EQ(log.count(), 0);
}

TEST(FormatG94, MatchesPrintfOnRandomValues) {
  Rng rng(kSeed + 2);
  MismatchLog log;
  long checked = 0;
  for (long i = 0; i < 300'000 * kScale; ++i, ++checked)
    check_g9_4(from_bits(rng()), log);
  for (long i = 0; i < 300'000 * kScale; ++i, ++checked)
    check_g9_4(random_sign(rng, log_uniform(rng, -12, 12)), log);
  // Halfway between two four-digit values, k.5 * 10^j, give or take ulps.
  for (long i = 0; i < 500'000 * kScale; ++i, ++checked) {
    const double k = 1000 + static_cast<double>(rng() % 9000) + 0.5;
    const int j = static_cast<int>(rng() % 620) - 310;
    const double half = k * std::pow(10.0, j);
    const int ulps = static_cast<int>(rng() % 5) - 2;
    check_g9_4(random_sign(rng, step_ulps(half, ulps)), log);
  }
  EXPECT_EQ(log.count(), 0) << "of " << checked << " values";
}

// ---------------------------------------------------------------------------
// format_long against "%ld"

TEST(FormatLong, MatchesPrintf) {
  std::vector<long> values = {0,         1,          -1,        9,
                              10,        -10,        99,        100,
                              -100,      123456789,  -123456789,
                              INT32_MAX, INT32_MIN,  LONG_MAX,  LONG_MIN};
  Rng rng(kSeed + 3);
  for (int i = 0; i < 100'000; ++i) {
    // Every digit count equally often.
    values.push_back(static_cast<long>(rng()) >> (rng() % 64));
  }
  MismatchLog log;
  for (long v : values) {
    char want[32];
    std::snprintf(want, sizeof want, "%ld", v);
    char got[32];
    char* end = format_long(got, v);
    if (std::string_view(got, static_cast<std::size_t>(end - got)) != want)
      log.add("format_long(" + std::string(want) + "): got \"" +
              std::string(got, end) + "\"");
  }
  EXPECT_EQ(log.count(), 0);
}

// ---------------------------------------------------------------------------
// parse_row_number against strtod

// Parses `text` from a heap copy of exactly its size
// (so that AddressSanitizer sees any read past the end) and compares with
// strtod on a terminated copy: the value's bits and the end position, or
// that neither finds a number.
void check_parse_bounded(std::string_view text, MismatchLog& log) {
  const std::string terminated(text);
  char* strtod_end = nullptr;
  const double want = std::strtod(terminated.c_str(), &strtod_end);
  const std::ptrdiff_t want_used = strtod_end - terminated.c_str();

  std::unique_ptr<char[]> exact(new char[text.size()]);
  if (!text.empty()) std::memcpy(exact.get(), text.data(), text.size());
  double got = -12345.0;
  const char* end =
      parse_row_number(exact.get(), exact.get() + text.size(), &got);
  const std::ptrdiff_t used = end ? end - exact.get() : 0;
  const bool same = end ? used == want_used && bits_of(got) == bits_of(want)
                        : want_used == 0 && bits_of(got) == bits_of(-12345.0);
  if (!same) {
    log.add("parse_row_number(\"" + escaped(text) + "\"): " +
            (end ? hexfloat(got) + " after " + std::to_string(used) + " chars"
                 : std::string("no number")) +
            "; strtod: " + hexfloat(want) + " after " +
            std::to_string(want_used));
  }
}

std::string random_digits(Rng& rng, int count) {
  std::string s;
  for (int i = 0; i < count; ++i) s += static_cast<char>('0' + rng() % 10);
  return s;
}

// A number in the syntax of a data row, followed by what ends it.
std::string random_number_text(Rng& rng) {
  static const char* const kSpaces = " \t\n\v\f\r";
  static const char* const kSigns[] = {"", "", "+", "-"};
  static const char* const kEndings[] = {
      "", ",", ", 2.0e-01", " ", "\r\n", "e", "e+", "E-", "e,", "x", ";", ".",
      "+", "-3"};
  std::string s;
  if (rng() % 8 == 0) {
    for (int n = 1 + static_cast<int>(rng() % 3); n > 0; --n)
      s += kSpaces[rng() % 6];
  }
  s += kSigns[rng() % 4];
  switch (rng() % 4) {
    case 0: {  // the export's own shape: d.dddddde+dd
      s += static_cast<char>('0' + rng() % 10);
      s += '.';
      s += random_digits(rng, 6);
      s += (rng() & 1) ? "e-" : "e+";
      s += random_digits(rng, 2);
      break;
    }
    case 1:
    case 2: {  // digits around an optional point, optional exponent
      const int int_digits = static_cast<int>(rng() % 22);
      const bool point = int_digits == 0 || rng() % 4 != 0;
      const int frac_digits =
          static_cast<int>(rng() % 22) + (int_digits == 0 ? 1 : 0);
      s += random_digits(rng, int_digits);
      if (point) {
        s += '.';
        s += random_digits(rng, frac_digits);
      }
      if (rng() % 3 != 0) {
        s += (rng() & 1) ? 'e' : 'E';
        s += kSigns[rng() % 4];
        switch (rng() % 4) {
          case 0: s += std::to_string(rng() % 400); break;
          case 1:
            s += random_digits(rng, 1 + static_cast<int>(rng() % 25));
            break;
          default: s += std::to_string(rng() % 30); break;
        }
      }
      break;
    }
    default: {  // long digit strings, up to 90 characters
      const int total = 20 + static_cast<int>(rng() % 70);
      const int point_at = static_cast<int>(rng() % (total + 1));
      std::string digits = random_digits(rng, total);
      if (rng() & 1) {  // leading zeros, before or after the point
        const std::size_t zeros = rng() % static_cast<std::size_t>(total);
        digits.replace(0, zeros, zeros, '0');
      }
      s += digits.substr(0, static_cast<std::size_t>(point_at));
      s += '.';
      s += digits.substr(static_cast<std::size_t>(point_at));
      if (rng() & 1) {
        s += "e";
        s += kSigns[rng() % 4];
        s += std::to_string(rng() % 340);
      }
      break;
    }
  }
  s += kEndings[rng() % (sizeof kEndings / sizeof kEndings[0])];
  return s;
}

// The exact decimal midpoint between a double and its successor (an x87 long
// double holds it exactly), cut to a random number of digits, or that text
// moved one unit up or down in its last digit.
std::string midpoint_text(Rng& rng) {
  const double v = log_uniform(rng, -30, 30);
  const long double next = std::nextafter(v, HUGE_VAL);
  const long double mid = v + (next - v) / 2;
  const int precision = 16 + static_cast<int>(rng() % 70);
  char text[160];
  std::snprintf(text, sizeof text, "%.*Le", precision, mid);
  std::string s = text;
  const std::size_t e = s.find('e');
  std::string mantissa = s.substr(0, e);
  const std::string exponent = s.substr(e);
  switch (rng() % 3) {
    case 0: {  // one unit in the last digit up, without a carry
      char& last = mantissa.back();
      if (last != '9') ++last;
      break;
    }
    case 1: {
      char& last = mantissa.back();
      if (last != '0') --last;
      break;
    }
    default: break;
  }
  return std::string((rng() & 1) ? "-" : "") + mantissa + exponent;
}

TEST(ParseRowNumber, SyntaxOfADataRowNumber) {
  constexpr double kUnchanged = -777.25;
  const struct {
    const char* text;
    int used;        // characters taken; -1: no number
    double value;
  } cases[] = {
      {"1.000000e-03,",          12, 0.001},
      {"2e-3,+3",                 4, 0.002},
      {"+3",                      2, 3.0},
      {".5",                      2, 0.5},
      {"-4.",                     3, -4.0},
      {"5.,",                     2, 5.0},
      {"-.25e1",                  6, -2.5},
      {"1E5",                     3, 1e5},
      {"1e,2",                    1, 1.0},   // marker without digits: not part
      {"1e+",                     1, 1.0},
      {"1e-,",                    1, 1.0},
      {"1e",                      1, 1.0},
      {"1 e5",                    1, 1.0},
      {"1e5e3",                   3, 1e5},
      {"1..2",                    2, 1.0},
      {"1.5.3",                   3, 1.5},
      {"1,5",                     1, 1.0},
      {"0x1p3",                   1, 0.0},   // no hexadecimal forms
      {"007",                     3, 7.0},
      {" \t\n\v\f\r42",           8, 42.0},  // all six white-space characters
      {"inf",                    -1, 0},
      {"-inf",                   -1, 0},
      {"nan",                    -1, 0},
      {"infinity",               -1, 0},
      {"-",                      -1, 0},
      {"+",                      -1, 0},
      {".",                      -1, 0},
      {"+.",                     -1, 0},
      {".e5",                    -1, 0},
      {"+-3",                    -1, 0},
      {"- 3",                    -1, 0},
      {"",                       -1, 0},
      {"   ",                    -1, 0},
      {",1",                     -1, 0},
      {"e5",                     -1, 0},
  };
  for (const auto& c : cases) {
    double dest = kUnchanged;
    const std::string_view text = c.text;
    const char* end =
        parse_row_number(text.data(), text.data() + text.size(), &dest);
    if (c.used < 0) {
      EXPECT_EQ(end, nullptr) << '"' << escaped(text) << '"';
      EXPECT_EQ(bits_of(dest), bits_of(kUnchanged))
          << '"' << escaped(text) << '"';
    } else {
      ASSERT_NE(end, nullptr) << '"' << escaped(text) << '"';
      EXPECT_EQ(end - text.data(), c.used) << '"' << escaped(text) << '"';
      EXPECT_EQ(bits_of(dest), bits_of(c.value))
          << '"' << escaped(text) << "\" gave " << hexfloat(dest);
    }
  }
}

TEST(ParseRowNumber, ReadsNoFurtherThanTheEnd) {
  // The byte after `end` would extend the number in each case.
  const struct {
    const char* buffer;
    int length;
    int used;  // -1: no number
    double value;
  } cases[] = {
      {"1.25",     3,  3, 1.2},
      {"12345",    2,  2, 12.0},
      {"1e5",      2,  1, 1.0},
      {"1e+5",     3,  1, 1.0},
      {"2.5e-07",  6,  6, 2.5},
      {"-5",       1, -1, 0},
      {" 7",       1, -1, 0},
      {".5",       1, -1, 0},
      {"9",        0, -1, 0},
  };
  for (const auto& c : cases) {
    // A copy on the heap of exactly `length` bytes, so that reading past
    // the end shows under AddressSanitizer too.
    const auto length = static_cast<std::size_t>(c.length);
    std::unique_ptr<char[]> text(new char[length]);
    std::memcpy(text.get(), c.buffer, length);
    double dest = -1.0;
    const char* end =
        parse_row_number(text.get(), text.get() + c.length, &dest);
    if (c.used < 0) {
      EXPECT_EQ(end, nullptr) << c.buffer << " cut at " << c.length;
      EXPECT_EQ(dest, -1.0);
    } else {
      ASSERT_NE(end, nullptr) << c.buffer << " cut at " << c.length;
      EXPECT_EQ(end - text.get(), c.used) << c.buffer << " cut at " << c.length;
      EXPECT_EQ(bits_of(dest), bits_of(c.value)) << hexfloat(dest);
    }
  }
  // Same with the whole number: a buffer cut right after its last digit.
  const char full[] = "-3.141593e+00";
  double dest = 0;
  const char* end = parse_row_number(full, full + 13, &dest);
  EXPECT_EQ(end, full + 13);
  EXPECT_EQ(dest, -3.141593);
}

TEST(ParseRowNumber, MatchesStrtodAtTheLimitsOfADouble) {
  const char* const texts[] = {
      "9007199254740993",            // halfway between 2^53 and 2^53 + 2
      "9007199254740993.0000000001", // just above halfway
      "9007199254740995",            // halfway, rounds up to even
      "9007199254740992",
      "18446744073709551615",        // 2^64 - 1: more than 19 digits of room
      "18446744073709551616",
      "99999999999999999999",
      "1e22", "1e23", "9007199254740991e22", "9007199254740993e-22",
      "123456789012345678e-5",
      "1e400", "-1e400", "1e309", "1.7976931348623157e308",
      "1.7976931348623158e308", "1.7976931348623159e308",
      "179769313486231580793728971405303415079934132710037826936173778980444"
      "968292764750946649017977587207096330286416692887910946555547851940402"
      "630657488671505820681908902000708383676273854845817711531764475730270"
      "069855571366959622842914819860834936475292719074168444365510704342711"
      "559699508093042880177904174497792",  // halfway above DBL_MAX
      "1e-400", "-1e-400", "1e-320", "-1e-320", "4.9406564584124654e-324",
      "2.4703282292062327e-324",     // just below half the least subnormal
      "2.4703282292062328e-324",     // just above
      "2.2250738585072011e-308", "2.2250738585072014e-308",
      "0e999999999999", "-0", "-0.0e-5", "0.0000000000000000000000000",
      "1e99999999999999999999", "1e-99999999999999999999",
      "0.00000000000000000000000000000000000000000000000000000000000000001e65",
      "100000000000000000000000000000000000000000000000000e-50",
      "1.000000e-03", "9.810000e+00", "-1.200000e+00", "2.500000e-01",
      "0.1", "0.3", "3.0e-01", "1.0E-03", "4.35", "8.589973e9", "1e-7",
      "0.000001", "5e-324", "7e-22", "7e22",
  };
  MismatchLog log;
  for (const char* text : texts) check_parse_bounded(text, log);
  EXPECT_EQ(log.count(), 0);
}

TEST(ParseRowNumber, MatchesStrtodOnRandomTexts) {
  Rng rng(kSeed + 4);
  MismatchLog log;
  long checked = 0;
  for (long i = 0; i < 1'000'000 * kScale; ++i, ++checked)
    check_parse_bounded(random_number_text(rng), log);
  for (long i = 0; i < 200'000 * kScale; ++i, ++checked)
    check_parse_bounded(midpoint_text(rng), log);
  // Every double printed as the export prints it, and with 17 digits.
  char text[64];
  for (long i = 0; i < 300'000 * kScale; ++i, checked += 2) {
    const double v = from_bits(rng());
    if (!std::isfinite(v)) continue;
    std::snprintf(text, sizeof text, "%e", v);
    check_parse_bounded(text, log);
    std::snprintf(text, sizeof text, "%.16e", v);
    check_parse_bounded(text, log);
  }
  EXPECT_EQ(log.count(), 0) << "of " << checked << " texts";
}

// The recorder writes every number as "%e", d.dddddde+dd, and that shape has
// a reading of its own; each case here is that shape or one change away.
TEST(ParseRowNumber, RecorderShapeAndItsNearMissesMatchStrtod) {
  const char* const texts[] = {
      "1.000000e-03",   "-1.200000e+00",  "+9.810000e+00",  "9.999999E+28",
      "1.000000e+28",   "9.999999e+29",   "1.000000e-16",   "1.000000e-17",
      "9.999999e-17",   "4.940656e-99",   "1.797693e+99",   "0.000000e+00",
      "-0.000000e+00",  "-0.000000e-99",  "0.000000e+99",   "1.000000e+051",
      "1.000000e-05,",  "1.000000e-05\r\n", "1.000000e-05 7", "1.000000e-05.5",
      "1.000000e-05e5", "1.000000e+5,",   "1.000000e+0",    "1.000000e05,1",
      "1.000000e+,05",  "1.000000f+05",   "1.00000e+05,",   "1.0000000e+05",
      "12.000000e+05",  "1,000000e+05",   "1.00a000e+05",   "1.000000e+0a",
      "1.000000-e+05",  "1/000000e+05",   "1.000:00e+05",   "-+1.000000e+05",
      " 1.000000e+05",  "\t-2.500000e-01", ".1000000e+05",  "1.000000e-22",
  };
  MismatchLog log;
  for (const char* text : texts) check_parse_bounded(text, log);
  EXPECT_EQ(log.count(), 0);
}

TEST(ParseRowNumber, RecorderShapeWithOneByteChangedOrCutMatchesStrtod) {
  // Bytes next to the digits, the point, the marker and the signs in the
  // character set, bytes with the top bit set, and white space. No 'x':
  // strtod would read "0x..." as hexadecimal, which a data row does not.
  const std::string replacements = std::string("0159./:,+-eEdDfF* ") + '\0' +
                                   '\t' + "\x80\xff\xb0\xae";
  Rng rng(kSeed + 5);
  MismatchLog log;
  long checked = 0;
  char text[32];
  for (long i = 0; i < 100'000 * kScale; ++i) {
    const double v = random_sign(rng, log_uniform(rng, -30, 30));
    std::snprintf(text, sizeof text, (rng() & 1) ? "%e" : "%E", v);
    std::string s = text;
    if (rng() % 4 == 0) s = "+" + s;
    if (rng() % 2 == 0) {
      s[rng() % s.size()] = replacements[rng() % replacements.size()];
    } else if (rng() % 2 == 0) {
      s += static_cast<char>('0' + rng() % 10);  // one digit too many
    }
    // The whole text, every cut of it, and the text with a comma after.
    for (std::size_t cut = 0; cut <= s.size(); ++cut, ++checked)
      check_parse_bounded(std::string_view(s).substr(0, cut), log);
    check_parse_bounded(s + ",", log);
    ++checked;
  }
  EXPECT_EQ(log.count(), 0) << "of " << checked << " texts";
}

// ---------------------------------------------------------------------------
// scan_long

TEST(ScanLong, ReadsSignedDecimalSaturatingAtThe32BitBounds) {
  constexpr std::int32_t kUnchanged = -4242;
  const struct {
    const char* text;
    int used;  // characters taken; -1: no number
    std::int32_t value;
  } cases[] = {
      {"0",                         1, 0},
      {"15",                        2, 15},
      {"+5",                        2, 5},
      {"-17,",                      3, -17},
      {" \t\n\v\f\r42abc",          8, 42},
      {"007",                       3, 7},
      {"12.5",                      2, 12},
      {"2147483647",               10, INT32_MAX},
      {"2147483648",               10, INT32_MAX},
      {"-2147483648",              11, INT32_MIN},
      {"-2147483649",              11, INT32_MIN},
      {"4294967297",               10, INT32_MAX},  // not 1 (no wrap-around)
      {"-4294967297",              11, INT32_MIN},
      {"-99999999999",             12, INT32_MIN},
      {"99999999999999999999999",  23, INT32_MAX},  // beyond 64 bits too
      {"-",                        -1, 0},
      {"+",                        -1, 0},
      {"- 5",                      -1, 0},
      {"",                         -1, 0},
      {"   ",                      -1, 0},
      {"x1",                       -1, 0},
      {".5",                       -1, 0},
  };
  for (const auto& c : cases) {
    std::int32_t dest = kUnchanged;
    const std::string_view text = c.text;
    const char* end = scan_long(text.data(), text.data() + text.size(), &dest);
    if (c.used < 0) {
      EXPECT_EQ(end, nullptr) << '"' << escaped(text) << '"';
      EXPECT_EQ(dest, kUnchanged) << '"' << escaped(text) << '"';
    } else {
      ASSERT_NE(end, nullptr) << '"' << escaped(text) << '"';
      EXPECT_EQ(end - text.data(), c.used) << '"' << escaped(text) << '"';
      EXPECT_EQ(dest, c.value) << '"' << escaped(text) << '"';
    }
  }
  // The end bounds the digits: "123" cut after two characters reads 12.
  const char digits[] = {'1', '2', '3'};
  std::int32_t dest = 0;
  EXPECT_EQ(scan_long(digits, digits + 2, &dest), digits + 2);
  EXPECT_EQ(dest, 12);
  EXPECT_EQ(scan_long(digits, digits, &dest), nullptr);
}

}  // namespace
}  // namespace varnex
