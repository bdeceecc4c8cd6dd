// The key wait, seen from outside: the built program runs as a child whose
// controlling terminal is a pseudo-terminal slave, with its five answers
// (and some text left over after them) on standard input from a file. The
// test types keys on the master side and watches the child and the slave's
// settings. Every wait is bounded; a child that outlives its time is killed.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>

#include "program_runner.hpp"

namespace {

namespace fs = std::filesystem;
using varnex_test::read_file;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr std::string_view kPrompt = "\n\n Press any key to exit.\n";

// Generous: under AddressSanitizer on a loaded machine the program needs a
// while to start; a correct run ends far sooner.
constexpr auto kStartLimit = 30s;
constexpr auto kEndLimit = 10s;

// How long a wait that should go on is watched before the test believes it.
constexpr auto kStillWaiting = 300ms;

// Input file name, prefix, type 1, no conversion, no mean removal; then a
// blank line and an answer nobody asked for, which must not end the wait.
constexpr std::string_view kAnswers = "input.txt\nout\n1\n2\n2\n\nleft over\n";

std::string escaped(std::string_view bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    }
  }
  return out;
}

std::string describe_status(int status) {
  std::ostringstream out;
  if (WIFEXITED(status)) {
    out << "exited with status " << WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    out << "ended by signal " << WTERMSIG(status);
  } else {
    out << "raw status " << status;
  }
  return out.str();
}

// The settings that the wait switches and must put back, field by field.
::testing::AssertionResult same_settings(const termios& before, const termios& after) {
  std::ostringstream diff;
  auto field = [&](const char* name, unsigned long a, unsigned long b) {
    if (a != b) diff << ' ' << name << " 0x" << std::hex << a << " became 0x" << b << std::dec;
  };
  field("c_iflag", before.c_iflag, after.c_iflag);
  field("c_oflag", before.c_oflag, after.c_oflag);
  field("c_cflag", before.c_cflag, after.c_cflag);
  field("c_lflag", before.c_lflag, after.c_lflag);
  field("ispeed", cfgetispeed(&before), cfgetispeed(&after));
  field("ospeed", cfgetospeed(&before), cfgetospeed(&after));
  for (int i = 0; i < NCCS; ++i) {
    if (before.c_cc[i] != after.c_cc[i]) {
      diff << " c_cc[" << i << "] " << +before.c_cc[i] << " became " << +after.c_cc[i];
    }
  }
  if (diff.str().empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "terminal settings differ:" << diff.str();
}

enum class Console { kPty, kNone };

class KeyWaitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/varnex_key_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr) << std::strerror(errno);
    dir_ = pattern;
    std::ofstream(dir_ / "input.txt") << "an export without records\n";
    std::ofstream(dir_ / "answers.txt") << kAnswers;
    if (::openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) {
      GTEST_SKIP() << "no pseudo-terminal to run the program on: " << std::strerror(errno);
    }
    ASSERT_EQ(::tcgetattr(slave_, &before_), 0);
    // An ordinary interactive line: the wait has to change these.
    ASSERT_TRUE(before_.c_lflag & ICANON);
    ASSERT_TRUE(before_.c_lflag & ECHO);
    ASSERT_TRUE(before_.c_lflag & ISIG);
  }

  void TearDown() override {
    if (child_ > 0) {
      ::kill(child_, SIGKILL);
      ::waitpid(child_, nullptr, 0);
    }
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
    std::error_code ignored;
    if (!dir_.empty()) fs::remove_all(dir_, ignored);
  }

  // Runs the program in a session of its own, with the pty slave as its
  // controlling terminal (kPty) or with no terminal at all (kNone).
  void start(Console console, bool ignore_hangup = false) {
    const std::string dir = dir_.string();
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0) << std::strerror(errno);
    if (pid == 0) {
      // Only async-signal-safe calls from here to exec; a failed step
      // shows as exit status 120 to 125.
      if (::chdir(dir.c_str()) != 0) ::_exit(120);
      if (::setsid() < 0) ::_exit(121);
      if (console == Console::kPty && ::ioctl(slave_, TIOCSCTTY, 0) != 0) ::_exit(122);
      const int in = ::open("answers.txt", O_RDONLY);
      const int out = ::open("stdout.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int err = ::open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (in < 0 || out < 0 || err < 0) ::_exit(123);
      if (::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) ::_exit(124);
      ::close(in);
      ::close(out);
      ::close(err);
      ::close(master_);
      ::close(slave_);
      if (ignore_hangup) ::signal(SIGHUP, SIG_IGN);
      ::execl(VARNEX_EXE, VARNEX_EXE, static_cast<char*>(nullptr));
      ::_exit(125);
    }
    child_ = pid;
    end_status_.reset();
  }

  std::string output() const { return read_file(dir_ / "stdout.txt"); }

  // The child's end, or nothing when it has not ended within the limit (it
  // is then killed, so that no test can hang).
  std::optional<int> wait_for_end(std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    for (;;) {
      if (!running()) return end_status_;
      if (Clock::now() >= deadline) {
        ::kill(child_, SIGKILL);
        ::waitpid(child_, nullptr, 0);
        child_ = -1;
        return std::nullopt;
      }
      std::this_thread::sleep_for(5ms);
    }
  }

  bool running() {
    if (child_ < 0) return false;
    int status = 0;
    if (::waitpid(child_, &status, WNOHANG) != child_) return true;
    child_ = -1;
    end_status_ = status;
    return false;
  }

  // Waits until the program has printed the exit prompt and switched the
  // terminal out of line mode: from then on the wait has begun, and keys
  // typed are meant for it.
  void wait_until_waiting() {
    const auto deadline = Clock::now() + kStartLimit;
    bool prompted = false;
    for (;;) {
      if (!prompted) prompted = output().find(kPrompt) != std::string::npos;
      termios now{};
      if (prompted && ::tcgetattr(slave_, &now) == 0 && !(now.c_lflag & ICANON)) return;
      ASSERT_TRUE(running()) << "the program " << describe_status(*end_status_)
                             << " before its key wait; output:\n"
                             << escaped(output()) << "\nerrors: " << escaped(read_file(dir_ / "stderr.txt"));
      ASSERT_LT(Clock::now(), deadline)
          << (prompted ? "the terminal was never switched" : "no exit prompt")
          << "; output:\n" << escaped(output());
      std::this_thread::sleep_for(5ms);
    }
  }

  void type(std::string_view keys) {
    ASSERT_EQ(::write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }

  void expect_ends_with_status_1() {
    const std::optional<int> status = wait_for_end(kEndLimit);
    ASSERT_TRUE(status.has_value()) << "the wait did not end";
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 1) << describe_status(*status);
    // A normal run reports nothing; a sanitizer's report would land here
    // (and its exit status is 1 as well).
    EXPECT_EQ(escaped(read_file(dir_ / "stderr.txt")), "");
  }

  void expect_settings_restored() {
    termios after{};
    ASSERT_EQ(::tcgetattr(slave_, &after), 0);
    EXPECT_TRUE(same_settings(before_, after));
  }

  // What a shell reading the terminal after the program would get before the
  // line end typed here: nothing, if the key was taken whole.
  void expect_nothing_left_unread() {
    type("\n");
    pollfd p{slave_, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 2000), 1) << "the line end typed never arrived";
    char line[256];
    const ssize_t got = ::read(slave_, line, sizeof line);
    ASSERT_GT(got, 0);
    EXPECT_EQ(escaped(std::string_view(line, static_cast<std::size_t>(got))), "\\x0a");
  }

  fs::path dir_;
  int master_ = -1;
  int slave_ = -1;
  termios before_{};
  pid_t child_ = -1;
  std::optional<int> end_status_;
};

TEST_F(KeyWaitTest, LineEndAndAnswerLeftInStandardInputDoNotEndTheWait) {
  ASSERT_NO_FATAL_FAILURE(start(Console::kPty));
  ASSERT_NO_FATAL_FAILURE(wait_until_waiting());
  std::this_thread::sleep_for(kStillWaiting);
  ASSERT_TRUE(running()) << "the wait ended without a key";
  ASSERT_NO_FATAL_FAILURE(type("q"));
  ASSERT_NO_FATAL_FAILURE(expect_ends_with_status_1());
  expect_settings_restored();
  expect_nothing_left_unread();
}

TEST_F(KeyWaitTest, SummaryFilesAreCompleteWhileTheProgramWaits) {
  std::ofstream(dir_ / "input.txt", std::ios::trunc)
      << "Event number: 4 of OnOff block: 9\n"
         "Number of samples: 2\n"
         "Seconds,X,Y,Z\n"
         "0.0e+00,1,2,3\n"
         "1.0e-03,3,2,1\n";
  ASSERT_NO_FATAL_FAILURE(start(Console::kPty));
  ASSERT_NO_FATAL_FAILURE(wait_until_waiting());
  ASSERT_TRUE(running());
  EXPECT_EQ("Event number: 4 of OnOff block: 9\n \n", read_file(dir_ / "out_log.txt"));
  EXPECT_EQ("4 \t 9 \t     2.121 \t     1.414 \t    0.7071 \t     2.646 \n",
            read_file(dir_ / "out_rms.txt"));
  EXPECT_EQ("4 \t 9 \t         3 \t         2 \t         1 \n", read_file(dir_ / "out_peak.txt"));
  ASSERT_NO_FATAL_FAILURE(type("q"));
  ASSERT_NO_FATAL_FAILURE(expect_ends_with_status_1());
}

TEST_F(KeyWaitTest, KeysTypedBeforeTheWaitAreDiscarded) {
  // Typed before the program even starts: a whole line and a lone key.
  ASSERT_NO_FATAL_FAILURE(type("yes\nn"));
  ASSERT_NO_FATAL_FAILURE(start(Console::kPty));
  ASSERT_NO_FATAL_FAILURE(wait_until_waiting());
  std::this_thread::sleep_for(kStillWaiting);
  ASSERT_TRUE(running()) << "a key typed before the wait ended it";
  ASSERT_NO_FATAL_FAILURE(type("q"));
  ASSERT_NO_FATAL_FAILURE(expect_ends_with_status_1());
  expect_settings_restored();
}

struct KeyCase {
  const char* name;
  std::string_view bytes;  // what the terminal sends for the key
};

void PrintTo(const KeyCase& key, std::ostream* out) {
  *out << key.name << " \"" << escaped(key.bytes) << '"';
}

class KeyEndsTheWait : public KeyWaitTest,
                       public ::testing::WithParamInterface<KeyCase> {};

// Each key ends the wait with status 1, the settings come back, and no byte
// of the key is left over for the shell.
TEST_P(KeyEndsTheWait, WholeKeyTakenAndSettingsRestored) {
  ASSERT_NO_FATAL_FAILURE(start(Console::kPty));
  ASSERT_NO_FATAL_FAILURE(wait_until_waiting());
  ASSERT_NO_FATAL_FAILURE(type(GetParam().bytes));
  ASSERT_NO_FATAL_FAILURE(expect_ends_with_status_1());
  expect_settings_restored();
  expect_nothing_left_unread();
}

INSTANTIATE_TEST_SUITE_P(
    Keys, KeyEndsTheWait,
    ::testing::Values(                                    // bytes sent
        KeyCase{"Letter", "q"},                           //
        KeyCase{"Enter", "\r"},                           // no Enter needed, but it counts
        KeyCase{"CtrlC", "\x03"},                         // a key, not an interrupt
        KeyCase{"CtrlZ", "\x1a"},                         // a key, not a stop
        KeyCase{"CtrlS", "\x13"},                         // a key, not flow control
        KeyCase{"LoneEsc", "\x1b"},                       // ends after the short silence
        KeyCase{"F5", "\x1b[15~"},                        // CSI with a parameter
        KeyCase{"CtrlUp", "\x1b[1;5A"},                   // CSI with two parameters
        KeyCase{"F1Ss3", "\x1bOP"},                       // SS3
        KeyCase{"F1LinuxConsole", "\x1b[[A"},             // CSI [ letter
        KeyCase{"AltX", "\x1bx"},                         // ESC then the key
        KeyCase{"TwoByteCharacter", "\xc3\xa9"},          // UTF-8 e acute
        KeyCase{"ThreeByteCharacter", "\xe2\x82\xac"}),   // UTF-8 euro sign
    [](const ::testing::TestParamInfo<KeyCase>& info) { return std::string(info.param.name); });

// A signal from outside ends the program as it would without the wait, but
// not before the terminal is back in line mode with echo.
TEST_F(KeyWaitTest, InterruptAndTerminateSignalsRestoreSettings) {
  for (int sig : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(sig);
    ASSERT_NO_FATAL_FAILURE(start(Console::kPty));
    ASSERT_NO_FATAL_FAILURE(wait_until_waiting());
    ASSERT_EQ(::kill(child_, sig), 0);
    const std::optional<int> status = wait_for_end(kEndLimit);
    ASSERT_TRUE(status.has_value()) << "the signal did not end the wait";
    EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == sig) << describe_status(*status);
    expect_settings_restored();
  }
}

// A hangup (the master side closed) ends the wait. With SIGHUP ignored, the
// read itself reports the hangup and the run ends normally.
TEST_F(KeyWaitTest, HangupEndsTheWait) {
  for (bool ignore_hangup : {true, false}) {
    SCOPED_TRACE(ignore_hangup ? "SIGHUP ignored" : "SIGHUP default");
    if (master_ < 0) {
      ASSERT_EQ(::openpty(&master_, &slave_, nullptr, nullptr, nullptr), 0);
    }
    ASSERT_NO_FATAL_FAILURE(start(Console::kPty, ignore_hangup));
    ASSERT_NO_FATAL_FAILURE(wait_until_waiting());
    ::close(master_);
    master_ = -1;
    const std::optional<int> status = wait_for_end(kEndLimit);
    ASSERT_TRUE(status.has_value()) << "the wait outlived the terminal";
    if (ignore_hangup) {
      EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 1) << describe_status(*status);
    } else {
      EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == SIGHUP) << describe_status(*status);
    }
    ::close(slave_);
    slave_ = -1;
  }
}

TEST_F(KeyWaitTest, NoTerminalEndsTheWaitAtOnce) {
  ASSERT_NO_FATAL_FAILURE(start(Console::kNone));
  ASSERT_NO_FATAL_FAILURE(expect_ends_with_status_1());
  const std::string out = output();
  EXPECT_TRUE(out.ends_with(kPrompt)) << escaped(out);
}

}  // namespace
