// The Windows platform files and the number text, checked on Windows itself
// (CTest runs this under Wine): output files written as text with CR LF line
// ends, input read in binary, directories refused, the numbers printed as
// the C library prints them, and the key wait, on a console ("console") or
// without one ("no-console").
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "console_key.hpp"
#include "file_system.hpp"
#include "number_text.hpp"

namespace {

int failures = 0;

bool check(bool ok, const char* what, int line) {
  if (!ok) {
    std::fprintf(stderr, "platform_test.cpp:%d: check failed: %s\n", line, what);
    ++failures;
  }
  return ok;
}
#define CHECK(cond) check((cond), #cond, __LINE__)

std::string escaped(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    char hex[8];
    if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else if (c < 32 || c >= 127) {
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    } else out += static_cast<char>(c);
  }
  return out;
}

// Compares two byte strings; on a difference names its offset and shows
// the bytes around it.
bool check_same(const std::string& expected, const std::string& actual,
                const char* what, int line) {
  if (expected == actual) return true;
  std::size_t i = 0;
  while (i < expected.size() && i < actual.size() && expected[i] == actual[i]) ++i;
  const std::size_t from = i < 8 ? 0 : i - 8;
  std::fprintf(stderr,
               "platform_test.cpp:%d: %s: first difference at byte %zu of %zu/%zu\n"
               "  expected: %s\n  actual:   %s\n",
               line, what, i, expected.size(), actual.size(),
               escaped(expected.substr(from, 24)).c_str(),
               escaped(actual.substr(from, 24)).c_str());
  ++failures;
  return false;
}
#define CHECK_SAME(expected, actual, what) check_same((expected), (actual), (what), __LINE__)

std::string read_all(const std::string& name) {
  int fd = -1;
  std::string bytes;
  if (!CHECK(varnex::open_for_reading(name, fd) == 0)) return bytes;
  char block[4096];
  long got;
  while ((got = varnex::read_some(fd, block, sizeof block)) > 0)
    bytes.append(block, static_cast<std::size_t>(got));
  CHECK(got == 0);
  CHECK(varnex::close_file(fd) == 0);
  return bytes;
}

// Writes with the C runtime directly, in binary, not through the files
// under test.
void write_raw_file(const std::string& name, const std::string& bytes) {
  const int fd = ::_open(name.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY,
                         _S_IREAD | _S_IWRITE);
  CHECK(fd >= 0);
  CHECK(::_write(fd, bytes.data(), static_cast<unsigned>(bytes.size())) ==
        static_cast<int>(bytes.size()));
  ::_close(fd);
}

// ------------------------------------------------------------ file system

// Output files are text: every line feed becomes CR LF, also one that
// follows a carriage return ("\r\n" becomes "\r\r\n", as the C runtime
// writes it) and one on either side of the 64 KiB translation chunk.
void text_output(const std::string& dir) {
  std::string data;
  for (std::size_t i = 0; i < 3 * 65536 + 5; ++i)
    data.push_back(i % 97 == 96 ? '\n' : static_cast<char>('a' + i % 26));
  data[65535] = '\n';
  data[65536] = '\n';
  data[131071] = '\r';
  data[131072] = '\n';
  data.back() = '\n';
  std::string expected;
  for (char c : data) {
    if (c == '\n') expected.push_back('\r');
    expected.push_back(c);
  }

  // All in one call, and in pieces of uneven size.
  const std::size_t pieces[][4] = {{data.size(), 0, 0, 0}, {1, 7, 100000, 0}};
  for (const auto& sizes : pieces) {
    const std::string name = dir + "\\text.txt";
    int fd = -1;
    if (!CHECK(varnex::open_for_writing(name, fd) == 0)) return;
    std::size_t at = 0;
    for (std::size_t n : sizes) {
      if (n == 0) n = data.size() - at;
      CHECK(varnex::write_all(fd, data.data() + at, n) == 0);
      at += n;
    }
    CHECK(varnex::close_file(fd) == 0);
    CHECK_SAME(expected, read_all(name), "text output file");
  }
}

// The text mark goes with the descriptor: a later file that gets the same
// descriptor number without being opened for text is written unchanged.
void text_mark_ends_with_close(const std::string& dir) {
  int text_fd = -1;
  CHECK(varnex::open_for_writing(dir + "\\first.txt", text_fd) == 0);
  CHECK(varnex::close_file(text_fd) == 0);
  const std::string name = dir + "\\second.bin";
  const int fd = ::_open(name.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY,
                         _S_IREAD | _S_IWRITE);
  CHECK(fd == text_fd);  // the runtime hands out the lowest free number
  CHECK(varnex::write_all(fd, "x\ny", 3) == 0);
  ::_close(fd);
  CHECK_SAME("x\ny", read_all(name), "file not opened for text");
}

// Input is read without translation: CR LF stays, and Ctrl-Z, the end of a
// text file to the C runtime, is an ordinary byte.
void binary_input(const std::string& dir) {
  const std::string name = dir + "\\input.txt";
  const std::string bytes("Event 1\r\nab\x1a" "cd\r\n\r\nlast", 23);
  write_raw_file(name, bytes);
  CHECK_SAME(bytes, read_all(name), "input read back");
}

void refused_names(const std::string& dir) {
  const std::string sub = dir + "\\folder";
  CHECK(::CreateDirectoryA(sub.c_str(), nullptr) != 0);
  int fd = -1;
  CHECK(varnex::open_for_reading(sub, fd) == EISDIR);
  CHECK(varnex::open_for_writing(sub, fd) == EISDIR);
  CHECK(varnex::open_for_reading(dir + "\\missing.txt", fd) == ENOENT);
  CHECK(varnex::open_for_reading("", fd) == ENOENT);
  CHECK(varnex::open_for_writing(dir + "\\missing\\out.txt", fd) == ENOENT);
}

void files_are_not_terminals(const std::string& dir) {
  int fd = -1;
  CHECK(varnex::open_for_writing(dir + "\\plain.txt", fd) == 0);
  CHECK(!varnex::is_terminal(fd));
  varnex::close_file(fd);
}

// ------------------------------------------------------------ number text

// The formatters build on the compiler's std::to_chars; here the MinGW
// runtime's snprintf, which rounds exactly like glibc's, is the oracle.
// It prints a negative not-a-number as "nan", glibc as "-nan": those are
// checked against fixed text.
void numbers_print_as_printf() {
  std::mt19937_64 random(20050610);
  std::uniform_real_distribution<double> exponent(-12.0, 12.0);
  int mismatches = 0;
  for (int i = 0; i < 200000 && mismatches < 10; ++i) {
    double v;
    if (i % 2 == 0) {
      // Any bit pattern: huge, tiny and subnormal values too.
      const std::uint64_t bits = random();
      std::memcpy(&v, &bits, sizeof v);
      if (std::isnan(v)) continue;
    } else {
      // The values recorder files hold, many of them near a rounding tie.
      v = std::pow(10.0, exponent(random)) * (random() % 2 ? 1 : -1);
    }
    char expected[400], actual[400];
    std::snprintf(expected, sizeof expected, "%lf", v);
    *varnex::format_fixed6(actual, v) = '\0';
    if (std::strcmp(expected, actual) != 0) {
      std::fprintf(stderr, "%%lf of %a: expected %s, got %s\n", v, expected, actual);
      ++mismatches;
    }
    std::snprintf(expected, sizeof expected, "%9.4g", v);
    *varnex::format_g9_4(actual, v) = '\0';
    if (std::strcmp(expected, actual) != 0) {
      std::fprintf(stderr, "%%9.4g of %a: expected %s, got %s\n", v, expected, actual);
      ++mismatches;
    }
    // Seventeen significant digits name the double exactly.
    std::snprintf(expected, sizeof expected, "%.16e", v);
    double back = 0.0;
    const char* end = expected + std::strlen(expected);
    if (varnex::parse_row_number(expected, end, &back) != end ||
        std::memcmp(&back, &v, sizeof v) != 0) {
      std::fprintf(stderr, "reading %s gave %a, not %a\n", expected, back, v);
      ++mismatches;
    }
  }
  CHECK(mismatches == 0);

  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    double value;
    const char* fixed6;
    const char* g9_4;
  } specials[] = {
      // value         %lf          %9.4g
      {nan,            "nan",       "      nan"},
      {-nan,           "-nan",      "     -nan"},
      {inf,            "inf",       "      inf"},
      {-inf,           "-inf",      "     -inf"},
      {-0.0,           "-0.000000", "       -0"},
  };
  for (const auto& c : specials) {
    char text[400];
    *varnex::format_fixed6(text, c.value) = '\0';
    CHECK_SAME(c.fixed6, text, "%lf of a special value");
    *varnex::format_g9_4(text, c.value) = '\0';
    CHECK_SAME(c.g9_4, text, "%9.4g of a special value");
  }
}

// ---------------------------------------------------------------- key wait

HANDLE open_console_input() {
  return ::CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       0, nullptr);
}

INPUT_RECORD key_event(WORD key, wchar_t character, bool down) {
  INPUT_RECORD event{};
  event.EventType = KEY_EVENT;
  event.Event.KeyEvent.bKeyDown = down;
  event.Event.KeyEvent.wRepeatCount = 1;
  event.Event.KeyEvent.wVirtualKeyCode = key;
  event.Event.KeyEvent.uChar.UnicodeChar = character;
  return event;
}

void put_events(HANDLE input, const INPUT_RECORD* events, DWORD count) {
  DWORD written = 0;
  CHECK(::WriteConsoleInputW(input, events, count, &written) && written == count);
}

struct KeyScene {
  HANDLE input;
  HANDLE wait_over;  // set by the main thread once wait_for_key returned
  INPUT_RECORD ender;
};

// Feeds the console while the main thread waits: first events that must
// not end the wait, then the one that must.
DWORD WINAPI feed_keys(void* param) {
  const KeyScene& scene = *static_cast<KeyScene*>(param);
  ::Sleep(400);  // the wait has begun and flushed what was typed ahead
  DWORD mode = 0;
  CHECK(::GetConsoleMode(scene.input, &mode));
  CHECK((mode & (ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT | ENABLE_PROCESSED_INPUT)) == 0);

  const WORD alone[] = {VK_SHIFT,  VK_LSHIFT, VK_RSHIFT,  VK_CONTROL,
                        VK_LCONTROL, VK_RCONTROL, VK_MENU, VK_LMENU,
                        VK_RMENU,  VK_CAPITAL, VK_NUMLOCK, VK_SCROLL};
  for (WORD key : alone) {
    const INPUT_RECORD press[] = {key_event(key, 0, true), key_event(key, 0, false)};
    put_events(scene.input, press, 2);
  }
  INPUT_RECORD others[2] = {key_event('Q', L'q', false), {}};
  others[1].EventType = FOCUS_EVENT;
  others[1].Event.FocusEvent.bSetFocus = TRUE;
  put_events(scene.input, others, 2);
  ::Sleep(400);
  CHECK(::WaitForSingleObject(scene.wait_over, 0) == WAIT_TIMEOUT);

  put_events(scene.input, &scene.ender, 1);
  if (::WaitForSingleObject(scene.wait_over, 10000) != WAIT_OBJECT_0) {
    std::fprintf(stderr, "the key wait did not end on its key\n");
    std::fflush(stderr);
    ::ExitProcess(1);
  }
  return 0;
}

void key_wait_on_console() {
  const HANDLE input = open_console_input();
  if (!CHECK(input != INVALID_HANDLE_VALUE)) return;
  DWORD before = 0;
  CHECK(::GetConsoleMode(input, &before));

  // A letter and a function key (no character) each end the wait.
  const INPUT_RECORD enders[] = {key_event('X', L'x', true), key_event(VK_F5, 0, true)};
  for (const INPUT_RECORD& ender : enders) {
    // Typed before the wait began: must not end it.
    const INPUT_RECORD typed_ahead[] = {key_event('B', L'b', true),
                                        key_event(VK_RETURN, L'\r', true)};
    put_events(input, typed_ahead, 2);

    KeyScene scene{input, ::CreateEventW(nullptr, TRUE, FALSE, nullptr), ender};
    const HANDLE feeder = ::CreateThread(nullptr, 0, feed_keys, &scene, 0, nullptr);
    varnex::wait_for_key();
    ::SetEvent(scene.wait_over);
    ::WaitForSingleObject(feeder, INFINITE);
    ::CloseHandle(feeder);
    ::CloseHandle(scene.wait_over);

    DWORD after = 0;
    CHECK(::GetConsoleMode(input, &after));
    CHECK(after == before);
  }
  ::CloseHandle(input);
}

void key_wait_without_console() {
  // Standard input, output and error are files or pipes: no console.
  CHECK(open_console_input() == INVALID_HANDLE_VALUE);
  const ULONGLONG start = ::GetTickCount64();
  varnex::wait_for_key();
  CHECK(::GetTickCount64() - start < 2000);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode != "console" && mode != "no-console") {
    std::fprintf(stderr, "usage: platform_test console|no-console\n");
    return 2;
  }
  if (mode == "console") {
    key_wait_on_console();
  } else {
    char temp[MAX_PATH];
    ::GetTempPathA(sizeof temp, temp);
    const std::string dir = std::string(temp) + "varnex-platform-" +
                            std::to_string(::GetCurrentProcessId());
    CHECK(::CreateDirectoryA(dir.c_str(), nullptr) != 0);
    text_output(dir);
    text_mark_ends_with_close(dir);
    binary_input(dir);
    refused_names(dir);
    files_are_not_terminals(dir);
    numbers_print_as_printf();
    key_wait_without_console();
    for (const char* name : {"text.txt", "first.txt", "second.bin", "input.txt", "plain.txt"})
      ::DeleteFileA((dir + "\\" + name).c_str());
    ::RemoveDirectoryA((dir + "\\folder").c_str());
    CHECK(::RemoveDirectoryA(dir.c_str()) != 0);  // every file was named above
  }
  std::fprintf(stderr, "%s: %d failed check%s\n", mode.c_str(), failures,
               failures == 1 ? "" : "s");
  return failures == 0 ? 0 : 1;
}
