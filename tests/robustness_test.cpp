// The built program against hostile and unusual input: a dialogue cut short
// after any answer, lines a megabyte long, an input that ends in the middle
// of a line, a header or a record, binary garbage, and a record larger than
// the store's reservation.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "program_runner.hpp"

#if defined(__SANITIZE_ADDRESS__)
#define VARNEX_UNDER_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VARNEX_UNDER_SANITIZER 1
#endif
#endif
#ifndef VARNEX_UNDER_SANITIZER
#define VARNEX_UNDER_SANITIZER 0
#endif

namespace varnex_test {
namespace {

// printf into a std::string.
template <typename... Args>
std::string format(const char* fmt, Args... args) {
  char text[512];
  const int n = std::snprintf(text, sizeof text, fmt, args...);
  return std::string(text, static_cast<std::size_t>(n));
}

// The "%lf" text of the time that a row's "%.6e" text stands for: strtod
// reads it, printf writes it.
std::string fixed_time_text(const std::string& row_time) {
  return format("%lf", std::strtod(row_time.c_str(), nullptr));
}

std::size_t count_of(const std::string& text, std::string_view part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos;
       at = text.find(part, at + part.size()))
    ++n;
  return n;
}

// Compares `content` with `count` lines that `expected_line(k, line)` puts
// into `line` for k = 0 .. count-1; names the first line that differs.
template <typename LineFn>
::testing::AssertionResult lines_match(const std::string& content,
                                       std::size_t count, LineFn expected_line) {
  std::size_t at = 0;
  std::string want;
  for (std::size_t k = 0; k < count; ++k) {
    want.clear();
    expected_line(k, want);
    if (content.compare(at, want.size(), want) != 0) {
      const std::size_t end = content.find('\n', at);
      return ::testing::AssertionFailure()
             << "line " << k + 1 << ": expected \"" << escaped(want)
             << "\", got \""
             << escaped(content.substr(at, end == std::string::npos
                                               ? std::string::npos
                                               : end - at + 1))
             << "\"";
    }
    at += want.size();
  }
  if (at != content.size())
    return ::testing::AssertionFailure()
           << (content.size() - at) << " bytes after the last expected line: \""
           << escaped(content.substr(at, 80)) << "\"";
  return ::testing::AssertionSuccess();
}

// ----------------------------------------------------------------- dialogue

TEST(CutDialogue, StandardInputEndingAfterEachAnswer) {
  const char* const kAnswers[] = {"in.txt", "run", "1", "1", "1"};
  const std::string kPrefixPrompt = "\n\n  Enter the output filename prefix.\n";
  const std::string kTypePrompt = "\n Enter type \n 1=accel  2=strain \n";
  const std::string kAccelPrompt = "\n\n  convert m/sec^2 to G?\n  1=yes  2=no\n";
  const std::string kStrainPrompt =
      "\n\n  convert strain to microstrain?\n  1=yes  2=no\n";
  const std::string kMeanPrompt = "\n\n  Mean removal?\n  1=yes  2=no\n";
  struct Case {
    int given;             // answers on standard input before it ends
    const char* x_line;    // the one line of <prefix>_x_4.7
  } cases[] = {
      // A missing type means strain, missing yes/no answers mean no.
      {1, "0.001000 1.000000 \n"},
      {2, "0.001000 1.000000 \n"},
      {3, "0.001000 1.000000 \n"},  // type 1: the m/sec^2 prompt is asked
      {4, "0.001000 0.102000 \n"},  // converted to G
      {5, "0.001000 0.000000 \n"},  // and the mean removed
  };

  {
    SCOPED_TRACE("no answer at all");
    TempDir dir;
    write_file(dir / "in.txt", kOneRecord);
    const RunResult run = run_program(dir.path(), "");
    EXPECT_EQ(2, run.status);
    const std::string failure = " Failed to open file:  \n";
    ASSERT_GE(run.out.size(), failure.size());
    EXPECT_EQ(failure, run.out.substr(run.out.size() - failure.size()));
    EXPECT_EQ(std::string::npos, run.out.find(kPrefixPrompt));
  }

  for (const Case& c : cases) {
    std::string input;
    for (int k = 0; k < c.given; ++k) input += std::string(kAnswers[k]) + "\n";
    SCOPED_TRACE(escaped(input));
    TempDir dir;
    write_file(dir / "in.txt", kOneRecord);
    const RunResult run = run_program(dir.path(), input);
    EXPECT_EQ(1, run.status);
    EXPECT_EQ("", run.err);

    // Every prompt is still printed, in order, up to the scan's first echo.
    const std::string dialogue = " File: in.txt opened. \n" + kPrefixPrompt +
                                 kTypePrompt +
                                 (c.given >= 3 ? kAccelPrompt : kStrainPrompt) +
                                 kMeanPrompt + "\n\n Event number: 7";
    EXPECT_NE(std::string::npos, run.out.find(dialogue)) << escaped(run.out);

    // A prefix never given is empty: the files are named by their suffixes.
    const std::string prefix = c.given >= 2 ? "run" : "";
    for (const char* suffix : {"_log.txt", "_rms.txt", "_peak.txt"})
      EXPECT_TRUE(fs::exists(dir / (prefix + suffix))) << prefix + suffix;
    EXPECT_EQ(c.x_line, read_file(dir / (prefix + "_x_4.7")));
    const std::string closing =
        "\n\n\n i=0 \n\n last=2 \n\n\n  The output files are: " + prefix +
        "_x_m.n, " + prefix + "_y_m.n, " + prefix + "_z_m.n \n";
    EXPECT_NE(std::string::npos, run.out.find(closing));
    const std::string last = "\n\n Press any key to exit.\n";
    ASSERT_GE(run.out.size(), last.size());
    EXPECT_EQ(last, run.out.substr(run.out.size() - last.size()));
  }
}

// ----------------------------------------------------------- megabyte lines

// A data row padded with blanks to exactly 99 characters: one line piece.
std::string row_piece(long k) {
  std::string piece = format("%.6e,%ld,%ld,%ld,", static_cast<double>(k) * 1e-3,
                             k % 7 - 3, k % 5 - 2, 1 - k % 3);
  piece.resize(99, ' ');
  return piece;
}

TEST(HugeLines, MegabyteLinesAreTakenInPiecesOf99Characters) {
  // Every line is over a megabyte, longer than one input block. The event
  // line's first piece starts a record; the header line is filler; each
  // data line is a run of 99-character pieces, and every piece is a row.
  constexpr long kPieces = 10'600;  // 1,049,400 characters per data line
  const std::string event = "Event number: 3 of OnOff block: 9";
  std::string input = event + std::string(1 << 20, 'x') + "\r\n";
  std::string filler;
  while (filler.size() < (1 << 20)) filler += "Trigger level 2.50 m/sec^2; ";
  input += filler + "\r\n";
  input += "Number of samples: " + std::to_string(2 * kPieces) + "\r\n";
  input += "Seconds,X,Y,Z\r\n";
  for (long k = 0; k < kPieces; ++k) input += row_piece(k);
  input += "\n";  // a piece of its own: no marker, so no sample
  for (long k = kPieces; k < 2 * kPieces; ++k) input += row_piece(k);
  input += "\n";

  TempDir dir;
  write_file(dir / "in.txt", input);
  const auto start = std::chrono::steady_clock::now();
  const RunResult run = run_program(dir.path(), "in.txt run 2 2 2\n");
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
          .count();
  EXPECT_EQ(1, run.status);
  EXPECT_EQ("", run.err);
  EXPECT_LT(seconds, 10.0);

  // The event line's first piece has no line feed: its blank ends the line.
  std::string first_piece = event + std::string(99 - event.size(), 'x');
  EXPECT_EQ(first_piece + " \n", read_file(dir / "run_log.txt"));
  EXPECT_NE(std::string::npos,
            run.out.find("\n last=" + std::to_string(2 * kPieces) + " \n"));

  auto expected = [](long k, long value, const char* end, std::string& line) {
    line += fixed_time_text(format("%.6e", static_cast<double>(k) * 1e-3));
    line += format(" %lf", static_cast<double>(value));
    line += end;
  };
  const std::size_t lines = 2 * kPieces - 1;  // the first row is never written
  EXPECT_TRUE(lines_match(read_file(dir / "run_x_9.3"), lines,
                          [&](std::size_t i, std::string& line) {
                            const long k = static_cast<long>(i) + 1;
                            expected(k, k % 7 - 3, " \n", line);
                          }));
  EXPECT_TRUE(lines_match(read_file(dir / "run_z_9.3"), lines,
                          [&](std::size_t i, std::string& line) {
                            const long k = static_cast<long>(i) + 1;
                            expected(k, 1 - k % 3, "\n", line);
                          }));
}

// ------------------------------------------------------ input ending midway

TEST(CutInput, EndingInsideAHeaderARowOrARecord) {
  // A complete record (block 2, event 1), then the cut-off text.
  const std::string kFirst =
      "Event number: 1 of OnOff block: 2\n"
      "Number of samples: 2\n"
      "Seconds,X,Y,Z\n"
      "0.000000e+00,1.0,1.0,1.0\n"
      "1.000000e-03,2.0,2.0,2.0\n";
  const std::string kSecondHead =
      "Event number: 3 of OnOff block: 4\n"
      "Number of samples: 2\n"
      "Seconds,X,Y,Z\n"
      "0.000000e+00,5.0,6.0,7.0\n";
  struct Case {
    const char* name;
    std::string tail;     // after the first record
    int log_entries;      // event lines echoed and logged
    int last;             // the closing summary's last count
    const char* x_4_3;    // content of run_x_4.3, or nullptr: not written
  } cases[] = {
      {"inside an event line", "Event numb", 2, 2, nullptr},
      {"inside a header", "Event number: 3 of OnOff block: 4\nNumber of sam",
       2, 2, nullptr},
      {"after the header", "Event number: 3 of OnOff block: 4\nNumber of samples: 2\n",
       2, 2, nullptr},
      {"inside a record", kSecondHead, 2, 2, nullptr},
      // A cut row is taken if its marker survived: the channels it lacks
      // come from the row before, so the record completes.
      {"inside a row's second number", kSecondHead + "1.000000e-03,8.0", 2, 2,
       "0.001000 8.000000 \n"},
      {"inside a row's exponent", kSecondHead + "1.000000e-", 2, 2,
       "1.000000 5.000000 \n"},
      {"inside a row before its marker", kSecondHead + "1.00000", 2, 2, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    write_file(dir / "in.txt", kFirst + c.tail);
    const RunResult run = run_program(dir.path(), "in.txt run 2 2 2\n");
    EXPECT_EQ(1, run.status);
    EXPECT_EQ("", run.err);
    EXPECT_EQ(static_cast<std::size_t>(c.log_entries),
              count_of(read_file(dir / "run_log.txt"), " \n"));
    EXPECT_NE(std::string::npos,
              run.out.find("\n\n\n i=0 \n\n last=" + std::to_string(c.last) + " \n"));
    EXPECT_EQ("0.001000 2.000000 \n", read_file(dir / "run_x_2.1"));
    if (c.x_4_3) {
      EXPECT_EQ(c.x_4_3, read_file(dir / "run_x_4.3"));
      EXPECT_EQ(2u, count_of(read_file(dir / "run_rms.txt"), "\n"));
    } else {
      EXPECT_FALSE(fs::exists(dir / "run_x_4.3"));
      EXPECT_EQ(1u, count_of(read_file(dir / "run_rms.txt"), "\n"));
    }
  }
}

// ----------------------------------------------------------- binary garbage

std::string random_bytes(std::mt19937& rng, std::size_t size) {
  std::uniform_int_distribution<int> byte(0, 255);
  std::string s(size, '\0');
  for (char& c : s) c = static_cast<char>(byte(rng));
  return s;
}

// Garbage made of the export's own pieces in random order: keys, formats,
// numbers of every size and sign, separators, line ends, NULs and noise.
// Without `keys` the scanner's three keys are left out.
std::string random_tokens(std::mt19937& rng, std::size_t size, bool keys = true) {
  using namespace std::string_view_literals;
  const std::string_view kTokens[] = {
      "Event number: ", " of OnOff block: ", "Event", "Number of samples: ",
      "Seconds", "e-", "e+", "E+", ",", ",", ",", "\n", "\r\n", "\n", ".",
      "-", "+", " ", "\t", "0", "1", "7", "99999999999", "-2147483649",
      "1e308", "1e-320", "2.5e+01", "-3.0e-02", "4e400", "nan", "inf", "\0"sv};
  constexpr std::size_t kKeyTokens = 5;  // the first five hold a key
  std::uniform_int_distribution<std::size_t> pick(keys ? 0 : kKeyTokens,
                                                  std::size(kTokens) - 1);
  std::uniform_int_distribution<int> byte(0, 255);
  std::string s;
  while (s.size() < size) {
    s += kTokens[pick(rng)];
    if (byte(rng) < 8) s += static_cast<char>(byte(rng));
  }
  return s;
}

// Records with well-formed headers and small counts but rows of garbage,
// so that most of them complete and reach the writer with odd values:
// overflowing, tiny, missing, negative or equal times, NULs, long rows.
std::string random_records(std::mt19937& rng, int records) {
  std::uniform_int_distribution<int> small(1, 5);
  std::uniform_int_distribution<int> number(-20, 20);
  std::uniform_int_distribution<int> rows(2, 8);
  std::string s;
  for (int r = 0; r < records; ++r) {
    s += format("Event number: %d of OnOff block: %d\r\n", number(rng), number(rng));
    s += random_tokens(rng, 40, false) + "\n";
    s += format("Number of samples: %d\r\nSeconds,X,Y,Z\r\n", small(rng));
    for (int k = rows(rng); k > 0; --k)
      s += "1e-3," + random_tokens(rng, 60, false) + "\n";
  }
  return s;
}

TEST(Garbage, BinaryInputEndsNormally) {
  std::mt19937 rng(20260314);
  struct Case {
    const char* name;
    std::string input;
    const char* answers;  // the scale factor and mean removal vary
    std::size_t min_written = 0;  // records that must reach the writer
  } cases[] = {
      {"random bytes", random_bytes(rng, 300'000), "in.txt run 2 2 2\n"},
      // Garbage as the rows of a record that completes after a few taken
      // rows, and of one that never completes.
      {"random rows",
       "Event number: 1 of OnOff block: 1\nNumber of samples: 3\nSeconds\n" +
           random_bytes(rng, 300'000),
       "in.txt run 1 1 1\n"},
      {"random rows, huge count",
       "Event number: 1 of OnOff block: 1\nNumber of samples: 2147483647\nSeconds\n" +
           random_bytes(rng, 300'000),
       "in.txt run 2 2 2\n"},
      {"random tokens", random_tokens(rng, 300'000), "in.txt run 2 1 1\n"},
      {"random records", random_records(rng, 300), "in.txt run 2 1 1\n", 200},
      {"random records, converted to G", random_records(rng, 300),
       "in.txt run 1 1 2\n", 200},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    write_file(dir / "in.txt", c.input);
    const RunResult run = run_program(dir.path(), c.answers);
    EXPECT_EQ(1, run.status);
    EXPECT_EQ("", run.err);
    const std::string last = "\n\n Press any key to exit.\n";
    ASSERT_GE(run.out.size(), last.size());
    EXPECT_EQ(last, run.out.substr(run.out.size() - last.size()));
    // Each written record has one RMS and one peak line.
    const std::size_t written = count_of(read_file(dir / "run_rms.txt"), "\n");
    EXPECT_EQ(written, count_of(read_file(dir / "run_peak.txt"), "\n"));
    EXPECT_GE(written, c.min_written);
  }
}

// ------------------------------------------------ beyond the reservation

TEST(LargeRecord, FiveMillionSamplesAreConvertedWhole) {
  if (VARNEX_UNDER_SANITIZER)
    GTEST_SKIP() << "hundreds of megabytes of text: too slow under the sanitizers";
  // 5,000,000 rows, past the 4,100,000 slots reserved per channel. Times
  // i * 1e-3 in "%.6e" rise strictly (seven significant digits suffice),
  // and the channel values are small integers, so every sum below is exact.
  constexpr long kSamples = 5'000'000;
  auto x_of = [](long i) { return i % 7 - 3; };
  auto y_of = [](long i) { return i % 5 - 2; };
  auto z_of = [](long i) { return 1 - i % 3; };

  // The input, and the "%lf" text of every row's time for the channel files.
  std::string input =
      "Event number: 12 of OnOff block: 3\r\n"
      "Number of samples: 5000000\r\n"
      "Seconds,X,Y,Z\r\n";
  input.reserve(std::size_t{32} * kSamples);
  std::string times;
  times.reserve(std::size_t{12} * kSamples);
  std::vector<std::uint32_t> time_end(kSamples);
  for (long i = 0; i < kSamples; ++i) {
    char row[64];
    const int row_len =
        std::snprintf(row, sizeof row, "%.6e,%ld,%ld,%ld\r\n",
                      static_cast<double>(i) * 1e-3, x_of(i), y_of(i), z_of(i));
    input.append(row, static_cast<std::size_t>(row_len));
    char time[64];
    const int time_len =
        std::snprintf(time, sizeof time, "%lf", std::strtod(row, nullptr));
    times.append(time, static_cast<std::size_t>(time_len));
    time_end[i] = static_cast<std::uint32_t>(times.size());
  }
  auto time_of = [&](long i) {
    const std::uint32_t begin = i == 0 ? 0 : time_end[i - 1];
    return std::string_view(times).substr(begin, time_end[i] - begin);
  };
  // The values lie in -3 .. 3: their " %lf" texts, by value + 3.
  std::string value_texts[7];
  for (long v = -3; v <= 3; ++v)
    value_texts[v + 3] = format(" %lf", static_cast<double>(v));

  TempDir dir;
  write_file(dir / "in.txt", input);
  input = {};
  const RunResult run = run_program(dir.path(), "in.txt run 2 2 2\n");
  ASSERT_EQ(1, run.status);
  EXPECT_EQ("", run.err);
  EXPECT_NE(std::string::npos, run.out.find(" Number of samples: 5000000 \n"));
  EXPECT_NE(std::string::npos, run.out.find("\n\n\n i=0 \n\n last=5000000 \n"));

  struct Channel {
    const char* file;
    long (*value)(long);
    const char* end;
  };
  const Channel channels[] = {
      {"run_x_3.12", +x_of, " \n"},
      {"run_y_3.12", +y_of, "\n"},
      {"run_z_3.12", +z_of, "\n"},
  };
  for (const Channel& ch : channels) {
    SCOPED_TRACE(ch.file);
    // Index 0 is never written; every later time rises, so all the others are.
    EXPECT_TRUE(lines_match(read_file(dir / ch.file), kSamples - 1,
                            [&](std::size_t k, std::string& line) {
                              const long i = static_cast<long>(k) + 1;
                              line += time_of(i);
                              line += value_texts[ch.value(i) + 3];
                              line += ch.end;
                            }));
  }

  // Sums of squares of the written values (indices 1 .. n-1), divided by n.
  long long sx = 0, sy = 0, sz = 0;
  for (long i = 1; i < kSamples; ++i) {
    sx += x_of(i) * x_of(i);
    sy += y_of(i) * y_of(i);
    sz += z_of(i) * z_of(i);
  }
  const double n = kSamples;
  const double rx = std::sqrt(static_cast<double>(sx) / n);
  const double ry = std::sqrt(static_cast<double>(sy) / n);
  const double rz = std::sqrt(static_cast<double>(sz) / n);
  const double overall = std::sqrt(rz * rz + ry * ry + rx * rx);
  EXPECT_EQ(format("%ld \t %ld \t %9.4g \t %9.4g \t %9.4g \t %9.4g \n", 12L, 3L,
                   rx, ry, rz, overall),
            read_file(dir / "run_rms.txt"));
  EXPECT_EQ(format("%ld \t %ld \t %9.4g \t %9.4g \t %9.4g \n", 12L, 3L, 3.0, 2.0,
                   1.0),
            read_file(dir / "run_peak.txt"));
}

}  // namespace
}  // namespace varnex_test
