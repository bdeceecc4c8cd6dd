// Runs the built converter as a user would, in a fresh directory, with the
// dialogue's answers on standard input, and collects what it printed and
// wrote. The child gets its own session and so no controlling terminal: its
// key wait ends at once instead of waiting for a key.
#pragma once

#include <gtest/gtest.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace varnex_test {

namespace fs = std::filesystem;

// A whole file in one read (some outputs under test are 100 MB); empty
// when the file does not exist.
inline std::string read_file(const fs::path& path) {
  std::error_code ec;
  const auto size = fs::file_size(path, ec);
  if (ec) return {};
  std::string bytes(size, '\0');
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return {};
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
  std::fclose(f);
  return bytes;
}

inline void write_file(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Shows a byte string with its control characters visible.
inline std::string escaped(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else if (c == '\t') out += "\\t";
    else if (c < 32 || c >= 127) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    } else out += static_cast<char>(c);
  }
  return out;
}

// Compares two byte strings and names the first differing line, escaped.
inline ::testing::AssertionResult same_bytes(const std::string& expected,
                                             const std::string& actual) {
  if (expected == actual) return ::testing::AssertionSuccess();
  std::size_t line = 1, start = 0, i = 0;
  while (i < expected.size() && i < actual.size() && expected[i] == actual[i]) {
    if (expected[i] == '\n') {
      ++line;
      start = i + 1;
    }
    ++i;
  }
  auto line_of = [&](const std::string& s) {
    std::size_t end = s.find('\n', start);
    return escaped(s.substr(start, end == std::string::npos ? std::string::npos
                                                            : end - start + 1));
  };
  return ::testing::AssertionFailure()
         << "first difference in line " << line << " (byte " << i << ")\n"
         << "  expected: " << line_of(expected) << "\n"
         << "  actual:   " << line_of(actual) << "\n"
         << "  sizes: expected " << expected.size() << ", actual "
         << actual.size();
}

// One record of two samples whose second sample has the channel values
// 1, 2 and -3, so that the written values show the scale factor and whether
// the mean was removed.
inline const std::string kOneRecord =
    "Event number: 7 of OnOff block: 4\r\n"
    "Number of samples: 2\r\n"
    "Seconds,X,Y,Z\r\n"
    "0.000000e+00,1.000000e+00,2.000000e+00,-3.000000e+00\r\n"
    "1.000000e-03,1.000000e+00,2.000000e+00,-3.000000e+00\r\n";

struct RunResult {
  int status = -1;
  long max_rss_kib = 0;  // the child's peak resident memory
  std::string out;
  std::string err;
};

// A scratch directory of its own for one test, removed afterwards.
class TempDir {
 public:
  TempDir() {
    std::random_device rd;
    path_ = fs::temp_directory_path() /
            ("varnex-test-" + std::to_string(::getpid()) + "-" +
             std::to_string(rd()));
    fs::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }
  fs::path operator/(const std::string& name) const { return path_ / name; }

 private:
  fs::path path_;
};

// Runs the program in `dir` with `answers` as its standard input.
inline RunResult run_program(const fs::path& dir, const std::string& answers) {
  const fs::path in = dir / ".stdin", out = dir / ".stdout",
                 err = dir / ".stderr";
  write_file(in, answers);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
  char* argv[] = {const_cast<char*>(VARNEX_EXE), nullptr};
  pid_t pid = -1;
  RunResult result;
  if (posix_spawn(&pid, VARNEX_EXE, &actions, &attr, argv, environ) == 0) {
    int wstatus = 0;
    struct rusage usage {};
    while (wait4(pid, &wstatus, 0, &usage) < 0 && errno == EINTR) {
    }
    result.max_rss_kib = usage.ru_maxrss;
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus)
                                       : 128 + WTERMSIG(wstatus);
  }
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  result.out = read_file(out);
  result.err = read_file(err);
  fs::remove(in);
  fs::remove(out);
  fs::remove(err);
  return result;
}

}  // namespace varnex_test
