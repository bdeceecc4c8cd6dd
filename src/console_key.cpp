#include "console_key.hpp"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace varnex {

namespace {

// After an escape byte, the rest of a function or cursor key's sequence
// arrives within a few milliseconds; take all of it so nothing reaches the
// shell after the program ends.
void drain_escape_sequence(int fd) {
  char rest[64];
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 30) <= 0 || !(p.revents & POLLIN)) return;
    if (::read(fd, rest, sizeof rest) <= 0) return;
  }
}

}  // namespace

void wait_for_key() {
  const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return;  // no console: the wait ends at once
  termios saved{};
  if (::tcgetattr(fd, &saved) != 0) {
    ::close(fd);
    return;
  }
  termios raw = saved;
  // No line editing, no echo, and no signals from keys: Ctrl-C is read as
  // a key like any other, so the settings are always restored below.
  raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO | ISIG | IEXTEN));
  raw.c_iflag &= static_cast<tcflag_t>(~(IXON | ICRNL));
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  // TCSAFLUSH discards keys typed before the wait began.
  if (::tcsetattr(fd, TCSAFLUSH, &raw) == 0) {
    char key = 0;
    ssize_t got;
    do {
      got = ::read(fd, &key, 1);
    } while (got < 0 && errno == EINTR);
    if (got == 1 && key == '\x1b') drain_escape_sequence(fd);
    ::tcsetattr(fd, TCSAFLUSH, &saved);
  }
  ::close(fd);
}

}  // namespace varnex
