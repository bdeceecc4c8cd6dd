// The built program, run as a user runs it: answers on standard input, the
// console transcript, the exit status and every file it writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "program_runner.hpp"

namespace varnex_test {
namespace {

const fs::path kData = VARNEX_TEST_DATA;

// ---------------------------------------------------------------- fixtures
// Each directory under tests/data/e2e holds input.txt, answers.txt, the
// expected exit status and expected/: console.txt (standard output) and
// every file the run must write, byte for byte. The run must write no other
// file.

std::vector<std::string> fixture_names() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(kData / "e2e"))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class Fixture : public ::testing::TestWithParam<std::string> {};

TEST_P(Fixture, ConsoleAndFilesMatchByteForByte) {
  const fs::path source = kData / "e2e" / GetParam();
  TempDir dir;
  fs::copy_file(source / "input.txt", dir / "input.txt");
  const RunResult run = run_program(dir.path(), read_file(source / "answers.txt"));

  EXPECT_EQ(std::stoi(read_file(source / "status")), run.status);
  EXPECT_EQ("", run.err);
  std::set<std::string> expected_files;
  for (const auto& entry : fs::directory_iterator(source / "expected")) {
    const std::string name = entry.path().filename().string();
    const std::string actual = name == "console.txt" ? run.out : read_file(dir / name);
    EXPECT_TRUE(same_bytes(read_file(entry.path()), actual)) << "in " << name;
    if (name != "console.txt") expected_files.insert(name);
  }
  std::set<std::string> written;
  for (const auto& entry : fs::directory_iterator(dir.path()))
    if (entry.path().filename() != "input.txt")
      written.insert(entry.path().filename().string());
  EXPECT_EQ(expected_files, written);
}

INSTANTIATE_TEST_SUITE_P(Data, Fixture, ::testing::ValuesIn(fixture_names()),
                         [](const auto& info) { return info.param; });

// ---------------------------------------------------------------- dialogue

struct DialogueCase {
  const char* answers;     // everything after the input name
  bool accel_prompt;       // the m/sec^2 prompt was asked, not microstrain
  const char* x_file;      // expected content of run_x_4.7
};

TEST(Dialogue, AnswersSelectFactorAndMeanRemoval) {
  const DialogueCase cases[] = {
      // answers            accel  x file
      {"run 1 1 2\n",       true,  "0.001000 0.102000 \n"},
      {"run 1 2 2\n",       true,  "0.001000 1.000000 \n"},
      {"run 2 1 2\n",       false, "0.001000 1000000.000000 \n"},
      {"run 2 2 2\n",       false, "0.001000 1.000000 \n"},
      {"run 0 1 2\n",       false, "0.001000 1000000.000000 \n"},
      {"run 3 1 2\n",       false, "0.001000 1000000.000000 \n"},
      {"run -1 1 2\n",      false, "0.001000 1000000.000000 \n"},
      // Beyond 32 bits the answer saturates; it is not taken modulo 2^32.
      {"run 4294967297 1 2\n", false, "0.001000 1000000.000000 \n"},
      // Not a number: strain, and the word then fails the two later reads.
      {"run x 1 1\n",       false, "0.001000 1.000000 \n"},
      // "1.5": the type is 1, ".5" then fails both yes/no reads.
      {"run 1.5 1 1\n",     true,  "0.001000 1.000000 \n"},
      // Only 1 means yes for mean removal.
      {"run 2 2 1\n",       false, "0.001000 0.000000 \n"},
      {"run 2 2 0\n",       false, "0.001000 1.000000 \n"},
      {"run 2 2 11\n",      false, "0.001000 1.000000 \n"},
      {"run 2 2 yes\n",     false, "0.001000 1.000000 \n"},
      // A sign with no digit is consumed by the read that fails on it.
      {"run 2 -x 1\n",      false, "0.001000 1.000000 \n"},
      // Answers spread over lines and blanks of every kind.
      {"\n\trun\n\n2\r\n2\n1\n", false, "0.001000 0.000000 \n"},
  };
  for (const DialogueCase& c : cases) {
    SCOPED_TRACE(escaped(c.answers));
    TempDir dir;
    write_file(dir / "in.txt", kOneRecord);
    const RunResult run = run_program(dir.path(), std::string("in.txt ") + c.answers);
    EXPECT_EQ(1, run.status);
    EXPECT_EQ(c.accel_prompt,
              run.out.find("\n\n  convert m/sec^2 to G?\n  1=yes  2=no\n") !=
                  std::string::npos);
    EXPECT_EQ(!c.accel_prompt,
              run.out.find("\n\n  convert strain to microstrain?\n  1=yes  2=no\n") !=
                  std::string::npos);
    EXPECT_EQ(c.x_file, read_file(dir / "run_x_4.7"));
  }
}

TEST(Dialogue, NameWithBlankGivesItsSecondWordToThePrefix) {
  TempDir dir;
  write_file(dir / "in.txt", kOneRecord);
  const RunResult run = run_program(dir.path(), "in.txt second 2 2 2\n");
  EXPECT_EQ(1, run.status);
  EXPECT_TRUE(fs::exists(dir / "second_rms.txt"));
  EXPECT_NE(std::string::npos,
            run.out.find("The output files are: second_x_m.n, second_y_m.n, "
                         "second_z_m.n \n"));
}

TEST(Dialogue, NulByteEndsAnAnswer) {
  using namespace std::string_literals;
  TempDir dir;
  write_file(dir / "in.txt", kOneRecord);
  const RunResult run = run_program(dir.path(), "in.txt\0zz pre\0yy 2 2 2\n"s);
  EXPECT_EQ(1, run.status);
  EXPECT_NE(std::string::npos, run.out.find(" File: in.txt opened. \n"));
  EXPECT_EQ("0.001000 1.000000 \n", read_file(dir / "pre_x_4.7"));
  EXPECT_TRUE(fs::exists(dir / "pre_log.txt"));
  EXPECT_FALSE(fs::exists(dir / "pre"));
}

TEST(Dialogue, StandardInputEndingEarlyMeansNo) {
  // The prefix is the last answer given: the type and yes/no reads meet the
  // end, so strain is asked, nothing is converted and the mean stays.
  TempDir dir;
  write_file(dir / "in.txt", kOneRecord);
  const RunResult run = run_program(dir.path(), "in.txt run");
  EXPECT_EQ(1, run.status);
  EXPECT_EQ("0.001000 1.000000 \n", read_file(dir / "run_x_4.7"));
  EXPECT_NE(std::string::npos, run.out.find("convert strain to microstrain?"));
  EXPECT_NE(std::string::npos, run.out.find("\n\n Press any key to exit.\n"));
}

TEST(Dialogue, NoRecordLeavesSummaryFilesEmptyAndLastZero) {
  TempDir dir;
  write_file(dir / "in.txt", "no records here\r\nSeconds,X,Y,Z\r\n1e-3,1,2,3\r\n");
  const RunResult run = run_program(dir.path(), "in.txt run 2 2 2\n");
  EXPECT_EQ(1, run.status);
  for (const char* name : {"run_log.txt", "run_rms.txt", "run_peak.txt"}) {
    EXPECT_TRUE(fs::exists(dir / name)) << name;
    EXPECT_EQ("", read_file(dir / name)) << name;
  }
  EXPECT_NE(std::string::npos, run.out.find("\n\n\n i=0 \n\n last=0 \n"));
}

// ---------------------------------------------------------------- failures

TEST(Failure, InputThatCannotBeOpenedEndsTheRunWithStatusTwo) {
  struct Case {
    const char* answers;
    const char* shown_name;
    const char* reason;
  } cases[] = {
      {"missing.txt run 2 2 2\n", "missing.txt", "No such file or directory"},
      {"adir run 2 2 2\n", "adir", "Is a directory"},
      {"", "", "No such file or directory"},  // standard input is empty
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answers);
    TempDir dir;
    fs::create_directory(dir / "adir");
    const RunResult run = run_program(dir.path(), c.answers);
    EXPECT_EQ(2, run.status);
    const std::string failure = std::string(" Failed to open file: ") + c.shown_name + " \n";
    ASSERT_GE(run.out.size(), failure.size());
    EXPECT_EQ(failure, run.out.substr(run.out.size() - failure.size()));
    EXPECT_EQ(std::string::npos, run.out.find("opened."));
    EXPECT_EQ(std::string::npos, run.out.find("Enter the output filename prefix"));
    EXPECT_EQ(std::string("Varnex_data: ") + c.shown_name + ": " + c.reason + "\n", run.err);
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path())) ++files;
    EXPECT_EQ(1u, files) << "only the directory made by the test";
  }
}

TEST(Failure, SummaryFileThatCannotBeCreatedEndsTheRunWithStatusTwo) {
  TempDir dir;
  write_file(dir / "in.txt", kOneRecord);
  const RunResult run = run_program(dir.path(), "in.txt nodir/run 2 2 2\n");
  EXPECT_EQ(2, run.status);
  EXPECT_EQ("Varnex_data: nodir/run_log.txt: No such file or directory\n", run.err);
  EXPECT_EQ(std::string::npos, run.out.find("Enter type"));
}

TEST(Failure, ReadErrorInsideTheInputEndsTheScanWithStatusThree) {
  // Reading this process's own memory from offset 0 fails with EIO.
  TempDir dir;
  const RunResult run = run_program(dir.path(), "/proc/self/mem run 2 2 2\n");
  EXPECT_EQ(3, run.status);
  EXPECT_EQ("Varnex_data: /proc/self/mem: Input/output error\n", run.err);
  EXPECT_NE(std::string::npos, run.out.find("\n\n Press any key to exit.\n"));
}

TEST(Failure, ChannelFileThatCannotBeCreatedIsLeftOutAndTheRunGoesOn) {
  TempDir dir;
  write_file(dir / "in.txt", kOneRecord);
  fs::create_directory(dir / "run_y_4.7");  // takes the y file's name
  const RunResult run = run_program(dir.path(), "in.txt run 2 2 2\n");
  EXPECT_EQ(3, run.status);
  EXPECT_EQ("Varnex_data: run_y_4.7: Is a directory\n", run.err);
  EXPECT_NE(std::string::npos, run.out.find("\n run_y_4.7 \n"));
  EXPECT_EQ("0.001000 1.000000 \n", read_file(dir / "run_x_4.7"));
  EXPECT_EQ("0.001000 -3.000000\n", read_file(dir / "run_z_4.7"));
  // The y statistics are still computed.
  EXPECT_EQ("7 \t 4 \t         1 \t         2 \t         3 \n",
            read_file(dir / "run_peak.txt"));
}

TEST(Failure, FullDiskOnAnyOutputFileIsReportedWithStatusThree) {
  for (const char* name : {"run_x_4.7", "run_y_4.7", "run_z_4.7", "run_log.txt",
                           "run_rms.txt", "run_peak.txt"}) {
    SCOPED_TRACE(name);
    TempDir dir;
    write_file(dir / "in.txt", kOneRecord);
    fs::create_symlink("/dev/full", dir / name);
    const RunResult run = run_program(dir.path(), "in.txt run 2 2 2\n");
    EXPECT_EQ(3, run.status);
    EXPECT_EQ(std::string("Varnex_data: ") + name + ": No space left on device\n", run.err);
    // Everything else is still written.
    if (std::string(name) != "run_peak.txt") {
      EXPECT_EQ("7 \t 4 \t         1 \t         2 \t         3 \n",
                read_file(dir / "run_peak.txt"));
    }
    if (std::string(name) != "run_x_4.7") {
      EXPECT_EQ("0.001000 1.000000 \n", read_file(dir / "run_x_4.7"));
    }
  }
}

TEST(Failure, ConsoleReaderGoneDoesNotCutTheFilesShort) {
  // Standard output is a pipe whose reader has already closed it, as when
  // the transcript is piped into a program that ends early.
  TempDir dir;
  write_file(dir / "in.txt", kOneRecord);
  write_file(dir / "answers.txt", "in.txt run 2 2 2\n");
  int fds[2];
  ASSERT_EQ(0, ::pipe(fds));
  ::close(fds[0]);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, dir.path().c_str());
  posix_spawn_file_actions_addopen(&actions, 0, "answers.txt", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_addclose(&actions, fds[1]);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
  char* argv[] = {const_cast<char*>(VARNEX_EXE), nullptr};
  pid_t pid = -1;
  ASSERT_EQ(0, posix_spawn(&pid, VARNEX_EXE, &actions, &attr, argv, environ));
  ::close(fds[1]);
  int wstatus = 0;
  ASSERT_EQ(pid, ::waitpid(pid, &wstatus, 0));
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  ASSERT_TRUE(WIFEXITED(wstatus)) << "ended by signal " << WTERMSIG(wstatus);
  EXPECT_EQ(1, WEXITSTATUS(wstatus));
  EXPECT_EQ("0.001000 1.000000 \n", read_file(dir / "run_x_4.7"));
  EXPECT_EQ("7 \t 4 \t         1 \t         2 \t         3 \n",
            read_file(dir / "run_peak.txt"));
}

// ---------------------------------------------------------------- limits

TEST(Limits, NamesOfAnyLengthAreHeldWhole) {
  TempDir dir;
  // A directory path of over 600 characters, with a 200-character prefix.
  std::string sub;
  for (int i = 0; i < 4; ++i) sub += std::string(150, 'd' + i) + "/";
  fs::create_directories(dir / sub);
  const std::string prefix = sub + std::string(200, 'p');
  const std::string input = sub + std::string(200, 'i');
  write_file(dir / input, kOneRecord);
  const RunResult run = run_program(dir.path(), input + " " + prefix + " 2 2 2\n");
  EXPECT_EQ(1, run.status);
  EXPECT_EQ("", run.err);
  EXPECT_EQ("0.001000 1.000000 \n", read_file(dir / (prefix + "_x_4.7")));
  EXPECT_TRUE(fs::exists(dir / (prefix + "_peak.txt")));
}

TEST(Limits, SmallExportCommitsLittleMemory) {
  // The store reserves four arrays of 4,100,000 doubles (131 MB); only the
  // pages that rows reach may become resident. The sanitizers' allocator
  // fills what it hands out, so the figure means nothing under it.
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "resident memory is not measurable under AddressSanitizer";
#endif
  TempDir dir;
  write_file(dir / "in.txt", kOneRecord);
  const RunResult run = run_program(dir.path(), "in.txt run 2 2 2\n");
  EXPECT_EQ(1, run.status);
  EXPECT_LT(run.max_rss_kib, 8 * 1024);
}

TEST(Limits, NulByteEndsTheLineTextForKeysEchoAndLog) {
  TempDir dir;
  using namespace std::string_literals;
  const std::string input =
      "xx\0Event number: 9 of OnOff block: 9\r\n"s
      "Event number: 5 of OnOff block: 6\0tail\r\n"s
      "Number of samples: 2\r\n"
      "Seconds,X,Y,Z\r\n"
      "0.0e+00,1,2,3\r\n"
      "1.0,4,5,6\0,7e-1\r\n"s
      "2e+00,1,1,1\r\n";
  write_file(dir / "in.txt", input);
  const RunResult run = run_program(dir.path(), "in.txt run 2 2 2\n");
  EXPECT_EQ(1, run.status);
  EXPECT_EQ("Event number: 5 of OnOff block: 6 \n", read_file(dir / "run_log.txt"));
  EXPECT_NE(std::string::npos, run.out.find("\n\n Event number: 5 of OnOff block: 6 \n"));
  // The second data row's "e-" lies behind its NUL: it is not taken, so the
  // record completes with the third row.
  EXPECT_EQ("2.000000 1.000000 \n", read_file(dir / "run_x_6.5"));
}

}  // namespace
}  // namespace varnex_test
