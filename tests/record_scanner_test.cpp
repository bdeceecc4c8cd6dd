// The record scanner: its number matching, the line pieces it is handed,
// and, through the built program, how lines are classified and when a
// record is complete.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "buffered_io.hpp"
#include "program_runner.hpp"
#include "record_scanner.hpp"

namespace varnex_test {
namespace {

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr const char* kEventFormat = "Event number: %ld of OnOff block: %ld ";

// ---------------------------------------------------------- number matching

TEST(MatchLineFormat, EventLineFieldsAreTakenUpToTheFirstMismatch) {
  const struct {
    const char* line;
    int stored;
    std::int32_t event;
    std::int32_t block;
  } cases[] = {
      // line                                              stored event  block
      {"Event number: 12 of OnOff block: 3\r\n",           2,     12,    3},
      {"Event number: 12 of OnOff block: 3 trailing",      2,     12,    3},
      {"  Event number: 12 of OnOff block: 3\n",           0,     -1,    -2},
      {"Event number: 12\r\n",                             1,     12,    -2},
      {"Event number: 12 of block: 3\n",                   1,     12,    -2},
      {"Event number:12 of OnOff block:3\n",               2,     12,    3},
      {"Event number:12of OnOff block:3",                  2,     12,    3},
      {"Event number: \t 12 \t of OnOff block:\n 3",       2,     12,    3},
      {"Event number: -5 of OnOff block: -7\n",            2,     -5,    -7},
      {"Event number: +5 of OnOff block: +7\n",            2,     5,     7},
      {"Event number: 007 of OnOff block: 0\n",            2,     7,     0},
      {"Event number: 99999999999 of OnOff block: -99999999999\n", 2, kMax, kMin},
      {"Event number: 2147483648 of OnOff block: -2147483649\n",   2, kMax, kMin},
      {"Event number: 2147483647 of OnOff block: -2147483648\n",   2, kMax, kMin},
      {"Event number: 12.5 of OnOff block: 3\n",           1,     12,    -2},
      {"Event number: x of OnOff block: 3\n",              0,     -1,    -2},
      {"Event number: - 5 of OnOff block: 3\n",            0,     -1,    -2},
      {"Event Number: 12 of OnOff block: 3\n",             0,     -1,    -2},
      {"event number: 12 of OnOff block: 3\n",             0,     -1,    -2},
      {"Event number: 12 of OnOff block: \n",              1,     12,    -2},
      {"Event",                                            0,     -1,    -2},
      {"",                                                 0,     -1,    -2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(escaped(c.line));
    std::int32_t event = -1, block = -2;
    std::int32_t* fields[] = {&event, &block};
    EXPECT_EQ(c.stored, varnex::match_line_format(c.line, kEventFormat, fields));
    EXPECT_EQ(c.event, event);
    EXPECT_EQ(c.block, block);
  }
}

TEST(MatchLineFormat, MatchingStopsAtTheEndOfTheLineView) {
  // The digits behind the view's end belong to the next line piece.
  const std::string text = "Number of samples: 1234";
  std::int32_t count = -1;
  std::int32_t* fields[] = {&count};
  EXPECT_EQ(1, varnex::match_line_format(std::string_view(text).substr(0, 21),
                                         "Number of samples: %ld ", fields));
  EXPECT_EQ(12, count);
  EXPECT_EQ(0, varnex::match_line_format(std::string_view(text).substr(0, 19),
                                         "Number of samples: %ld ", fields));
  EXPECT_EQ(12, count);
}

// -------------------------------------------------------------- line pieces

// The scanner's lines are what fgets(buffer, 100, file) takes; fgets on the
// same file is the oracle, its piece lengths measured with ftell so that NUL
// bytes count too, and strlen of its buffer giving the text that C string
// functions see. The file spans several input blocks.
TEST(InputFile, PiecesEqualWhatFgetsTakes) {
  TempDir dir;
  std::mt19937 rng(20050610);
  std::string text;
  const char alphabet[] = "Event 0123456789,.e-+\r\t\0xyz";
  while (text.size() < (std::size_t{5} << 19)) {
    // Mostly short lines, with lengths near the 99-byte limit and far
    // beyond it mixed in.
    const std::size_t pick = rng() % 10;
    std::size_t len = pick < 5   ? rng() % 60
                      : pick < 8 ? 96 + rng() % 8
                                 : rng() % 400;
    for (std::size_t i = 0; i < len; ++i)
      text += alphabet[rng() % (sizeof alphabet - 1)];
    text += '\n';
  }
  text += std::string(150, 'z');  // the last line has no line feed
  write_file(dir / "in.txt", text);

  varnex::InputFile input;
  ASSERT_EQ(0, input.open((dir / "in.txt").string()));
  std::FILE* oracle = std::fopen((dir / "in.txt").c_str(), "rb");
  ASSERT_NE(nullptr, oracle);
  // fgets is given 100 characters of room, its terminator included.
  char buffer[100];
  std::size_t pieces = 0;
  long before = 0;
  std::string_view line;
  while (std::fgets(buffer, sizeof buffer, oracle)) {
    const long after = std::ftell(oracle);
    const std::string expected = text.substr(static_cast<std::size_t>(before),
                                             static_cast<std::size_t>(after - before));
    before = after;
    // The scanner reads each line's text, up to its first NUL, as the C
    // string functions see it; the next piece must start where fgets's does.
    ASSERT_TRUE(input.read_line_text(line)) << "piece " << pieces;
    ASSERT_EQ(escaped(expected.substr(0, std::strlen(buffer))),
              escaped(std::string(line)))
        << "piece " << pieces;
    ++pieces;
  }
  std::fclose(oracle);
  EXPECT_FALSE(input.read_line_text(line));
  EXPECT_FALSE(input.read_line_text(line));
  EXPECT_EQ(0, input.error());
  EXPECT_GT(pieces, 10000u);
}

// ----------------------------------------------------------- whole program

// Runs the program on `input` with no conversion and no mean removal.
RunResult run_on(const TempDir& dir, const std::string& input) {
  write_file(dir / "in.txt", input);
  return run_program(dir.path(), "in.txt run 2 2 2\n");
}

// The console from the scanner's first output on, without the dialogue.
std::string scan_part(const RunResult& run) {
  const std::string last_prompt = "\n\n  Mean removal?\n  1=yes  2=no\n";
  const std::size_t at = run.out.find(last_prompt);
  if (at == std::string::npos) return run.out;
  return run.out.substr(at + last_prompt.size());
}

std::size_t occurrences(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos;
       at = text.find(what, at + 1))
    ++n;
  return n;
}

// The closing summary with "\n last=%ld \n" showing `last`.
std::string closing(long last) {
  return "\n\n\n i=0 \n\n last=" + std::to_string(last) +
         " \n\n\n  The output files are: run_x_m.n, run_y_m.n, run_z_m.n \n"
         "\n  where m is the block  number. \n        n is the record number. \n"
         "\n\n Press any key to exit.\n";
}

TEST(ScanRecords, KeysInAnotherCaseAreNotMatched) {
  TempDir dir;
  const RunResult run = run_on(dir,
      "event number: 1 of OnOff block: 1\n"
      "EVENT number: 1 of OnOff block: 1\n"
      "Event number: 2 of OnOff block: 3\n"
      "number of samples: 5\n"
      "NUMBER OF SAMPLES: 6\n"
      "Number Of Samples: 7\n"
      "seconds,x,y,z\n"
      "SECONDS,X,Y,Z\n"
      "EVENT 9\n"
      "Number of samples: 1\n"
      "Seconds,X,Y,Z\n"
      "0.0e+00,1,2,3\n");
  EXPECT_EQ(1, run.status);
  EXPECT_EQ("Event number: 2 of OnOff block: 3\n \n", read_file(dir / "run_log.txt"));
  const std::string scanned =
      "\n\n Event number: 2 of OnOff block: 3\n \n"
      " Number of samples: 1 \n"
      " Seconds,X,Y,Z\n \n"
      "\n last=1 \n";
  EXPECT_EQ(scanned, scan_part(run).substr(0, scanned.size()));
  EXPECT_EQ("2 \t 3 \t         0 \t         0 \t         0 \t         0 \n",
            read_file(dir / "run_rms.txt"));
}

TEST(ScanRecords, SampleCountLineAmongTheDataRowsIsADataRow) {
  // The second record has its count line after the column header: it is
  // passed to the row parser (stores nothing), and the record expects the
  // first record's count of 2.
  TempDir dir;
  const RunResult run = run_on(dir,
      "Event number: 1 of OnOff block: 1\n"
      "Number of samples: 2\n"
      "Seconds,X,Y,Z\n"
      "0.0e+00,1,1,1\n"
      "1.0e-03,1,1,1\n"
      "Event number: 2 of OnOff block: 1\n"
      "Seconds,X,Y,Z\n"
      "Number of samples: 3\n"
      "0.0e+00,2,2,2\n"
      "1.0e-03,2,2,2\n"
      "2.0e-03,5,5,5\n");
  EXPECT_EQ(1, run.status);
  EXPECT_EQ(1u, occurrences(run.out, " Number of samples: "));
  EXPECT_EQ(3u, occurrences(run.out, "\n last=2 \n"));  // twice, plus the summary
  EXPECT_EQ("0.001000 2.000000 \n", read_file(dir / "run_x_1.2"));
}

TEST(ScanRecords, LinesAreTakenInPiecesOf99Characters) {
  TempDir dir;
  // An "Event" split after "Ev": neither piece holds the key.
  const std::string split_event = std::string(97, 'x') + "Event number: 9 of OnOff block: 9\n";
  // 99 characters with the line feed: one line.
  const std::string event99 =
      "Event number: 1 of OnOff block: 2" + std::string(65, 'p') + "\n";
  ASSERT_EQ(99u, event99.size());
  // "Seconds" split after "Seco": not a column header.
  const std::string split_seconds = std::string(95, 'h') + "Seconds\n";
  // A row split in two pieces, each holding a lower-case exponent: two samples.
  std::string split_row = "-1.0e+00,1,2,3";
  split_row += std::string(99 - split_row.size(), ' ') + "5.0e-01,7,8,9\n";
  // 100 characters with the line feed: a piece of 99, then the line feed.
  const std::string event100 =
      "Event number: 4 of OnOff block: 5" + std::string(66, 'q') + "\n";
  ASSERT_EQ(100u, event100.size());

  const RunResult run = run_on(dir,
      split_event + event99 + "Number of samples: 2\n" + split_seconds +
      "Seconds,X,Y,Z\n" + split_row + event100 +
      "Number of samples: 1\nSeconds\n0.0e+00,1,1,1\n");
  EXPECT_EQ(1, run.status);
  const std::string piece99 = event100.substr(0, 99);
  EXPECT_EQ(event99 + " \n" + piece99 + " \n", read_file(dir / "run_log.txt"));
  const std::string scanned = "\n\n " + event99 + " \n" +
                              " Number of samples: 2 \n"
                              " Seconds,X,Y,Z\n \n"
                              "\n last=2 \n";
  EXPECT_EQ(escaped(scanned), escaped(scan_part(run).substr(0, scanned.size())));
  EXPECT_NE(std::string::npos, run.out.find("\n\n " + piece99 + " \n Number of samples: 1 \n"));
  EXPECT_EQ(std::string::npos, run.out.find("number: 9"));
  EXPECT_EQ("0.500000 7.000000 \n", read_file(dir / "run_x_2.1"));
  EXPECT_TRUE(fs::exists(dir / "run_x_5.4"));
  EXPECT_EQ(2u, occurrences(read_file(dir / "run_rms.txt"), "\n"));
}

TEST(ScanRecords, InputEndingInsideARecordDropsItAfterItsEcho) {
  const std::string complete =
      "Event number: 1 of OnOff block: 1\n"
      "Number of samples: 1\n"
      "Seconds,X,Y,Z\n"
      "0.0e+00,1,1,1\n";
  const std::string event2 = "Event number: 2 of OnOff block: 2";
  const struct {
    const char* what;
    std::string rest;
  } cases[] = {
      {"right after the event line", event2 + "\n"},
      {"after an event line without line feed", event2},
      {"among the header lines", event2 + "\nNumber of samples: 3\nremark\n"},
      {"right after the column header", event2 + "\nNumber of samples: 3\nSeconds\n"},
      {"inside the data rows", event2 + "\nNumber of samples: 3\nSeconds\n"
                               "0.0e+00,1,1,1\n1.0e-03,2,2,2\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const RunResult run = run_on(dir, complete + c.rest);
    EXPECT_EQ(1, run.status);
    const std::string log = read_file(dir / "run_log.txt");
    EXPECT_EQ("Event number: 1 of OnOff block: 1\n \n" + event2 +
                  (c.rest[event2.size()] == '\n' ? "\n \n" : " \n"),
              log);
    EXPECT_EQ(1u, occurrences(run.out, "\n\n " + event2));
    // One completion line, then the summary reporting that record's count.
    EXPECT_EQ(2u, occurrences(run.out, "\n last="));
    const std::string end = closing(1);
    ASSERT_GE(run.out.size(), end.size());
    EXPECT_EQ(end, run.out.substr(run.out.size() - end.size()));
    EXPECT_EQ(1u, occurrences(read_file(dir / "run_rms.txt"), "\n"));
    EXPECT_FALSE(fs::exists(dir / "run_x_2.2"));
  }
}

TEST(ScanRecords, NegativeAnnouncedCountNeverCompletes) {
  TempDir dir;
  const RunResult run = run_on(dir,
      "Event number: 1 of OnOff block: 1\n"
      "Number of samples: -1\n"
      "Seconds,X,Y,Z\n"
      "\n"
      "0.0e+00,1,1,1\n"
      "Event number: 2 of OnOff block: 1\n"
      "Number of samples: 1\n"
      "Seconds,X,Y,Z\n"
      "0.0e+00,1,1,1\n");
  EXPECT_EQ(1, run.status);
  EXPECT_NE(std::string::npos, run.out.find(" Number of samples: -1 \n"));
  EXPECT_EQ(closing(0), scan_part(run).substr(scan_part(run).find("\n\n\n i=0")));
  EXPECT_EQ("Event number: 1 of OnOff block: 1\n \n", read_file(dir / "run_log.txt"));
  EXPECT_EQ("", read_file(dir / "run_rms.txt"));
  EXPECT_FALSE(fs::exists(dir / "run_x_1.1"));
}

TEST(ScanRecords, NumbersBeyond32BitsSaturateInNamesAndSummaryLines) {
  TempDir dir;
  const RunResult run = run_on(dir,
      "Event number: 99999999999 of OnOff block: -99999999999\n"
      "Number of samples: 2\n"
      "Seconds,X,Y,Z\n"
      "0.0e+00,1,1,1\n"
      "1.0e-03,-2,2,2\n");
  EXPECT_EQ(1, run.status);
  EXPECT_EQ("0.001000 -2.000000 \n", read_file(dir / "run_x_-2147483648.2147483647"));
  EXPECT_EQ("2147483647 \t -2147483648 \t         2 \t         2 \t         2 \n",
            read_file(dir / "run_peak.txt"));
}

TEST(ScanRecords, ACountBeyondTheStoreCapacityIsConvertedWhole) {
  // 4,100,002 rows: more than the store reserves. All rows but the last
  // three share time 0 and are left out of the channel files; the last
  // three, on both sides of the reserved end, advance and are written.
  TempDir dir;
  const std::size_t rows = 4'100'002;
  std::string input =
      "Event number: 1 of OnOff block: 1\nNumber of samples: 4100002\n"
      "Seconds,X,Y,Z\n";
  const std::string same_time = "0e+0,1,0,0\n";
  input.reserve(input.size() + rows * same_time.size());
  for (std::size_t i = 0; i + 3 < rows; ++i) input += same_time;
  input += "1e+0,2,0,0\n2e+0,3,0,0\n3e+0,4,-5,0\n";
  const RunResult run = run_on(dir, input);
  EXPECT_EQ(1, run.status);
  EXPECT_EQ("", run.err);
  EXPECT_NE(std::string::npos, run.out.find("\n last=4100002 \n"));
  EXPECT_EQ("1.000000 2.000000 \n2.000000 3.000000 \n3.000000 4.000000 \n",
            read_file(dir / "run_x_1.1"));
  EXPECT_EQ("1.000000 0.000000\n2.000000 0.000000\n3.000000 -5.000000\n",
            read_file(dir / "run_y_1.1"));
  EXPECT_EQ("1 \t 1 \t         4 \t         5 \t         0 \n",
            read_file(dir / "run_peak.txt"));
}

}  // namespace
}  // namespace varnex_test
