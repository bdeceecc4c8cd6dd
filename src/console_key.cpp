#include "console_key.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace varnex {

namespace {

// The bytes of one function or cursor key arrive together; once a key's
// first byte is in, its next byte must follow within this time, or the key
// is complete. A lone Esc key is thus told from the start of F5
// (ESC [ 1 5 ~) by the silence after it.
constexpr int kKeyByteGapMs = 100;

// A control sequence longer than this is not a key; what is left of it is
// not waited for.
constexpr int kMaxSequenceBytes = 32;

// Signals that end the process while the terminal is switched: each is
// caught, the terminal is switched back, and the signal is raised again.
constexpr int kEndingSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};
constexpr int kEndingSignalCount =
    static_cast<int>(sizeof kEndingSignals / sizeof kEndingSignals[0]);

volatile std::sig_atomic_t caught_signal = 0;

extern "C" void note_signal(int sig) { caught_signal = sig; }

// The terminal in its switched state, with what is needed to put the
// process back as it was.
struct KeyTerminal {
  int fd = -1;
  termios saved{};
  sigset_t wait_mask{};  // the mask in force before the wait; used in ppoll
  sigset_t old_mask{};
  struct sigaction old_actions[kEndingSignalCount]{};
  bool handled[kEndingSignalCount]{};
};

// Waits up to timeout_ms (-1: without limit) for a byte from the terminal
// and reads it. Returns false on timeout, on a caught ending signal, and
// when the terminal has hung up or fails: the wait is over in each case.
// The ending signals are blocked outside ppoll, so one that arrives at any
// moment interrupts the wait instead of being lost before it.
bool read_byte(const KeyTerminal& term, int timeout_ms, unsigned char& byte) {
  for (;;) {
    if (caught_signal != 0) return false;
    pollfd p{term.fd, POLLIN, 0};
    timespec limit{timeout_ms / 1000, (timeout_ms % 1000) * 1000000L};
    const int ready =
        ::ppoll(&p, 1, timeout_ms < 0 ? nullptr : &limit, &term.wait_mask);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (ready == 0) return false;  // timed out
    if (!(p.revents & POLLIN)) return false;  // hung up, or an error
    const ssize_t got = ::read(term.fd, &byte, 1);
    if (got == 1) return true;
    if (got == 0) return false;  // hung up
    if (errno != EINTR && errno != EAGAIN) return false;  // EIO after a hangup
  }
}

// After ESC [ or ESC O: parameter and intermediate bytes (0x20-0x3F) up to
// one final byte (0x40-0x7E), e.g. "15~" of F5, "P" of F1 (ESC O P) or
// "1;5A" of Ctrl-Up. The Linux console's F1 to F5 are ESC [ [ A to E.
void take_control_sequence(const KeyTerminal& term, bool csi) {
  unsigned char byte = 0;
  for (int n = 0; n < kMaxSequenceBytes; ++n) {
    if (!read_byte(term, kKeyByteGapMs, byte)) return;
    if (csi && n == 0 && byte == '[') {
      read_byte(term, kKeyByteGapMs, byte);
      return;
    }
    if (byte < 0x20 || byte > 0x3F) return;  // the final byte, or not a sequence
  }
}

// Takes the bytes that follow a key's first byte, so that none of them is
// left for the shell once the program has ended: the rest of an escape
// sequence, the second key of Alt+key (ESC x), and the continuation bytes
// of a character that UTF-8 encodes in several bytes.
void take_rest_of_key(const KeyTerminal& term, unsigned char first) {
  unsigned char byte = first;
  while (byte == 0x1B) {
    if (!read_byte(term, kKeyByteGapMs, byte)) return;  // a lone Esc
    if (byte == '[' || byte == 'O') {
      take_control_sequence(term, byte == '[');
      return;
    }
  }
  int continuation = byte >= 0xF0 ? 3 : byte >= 0xE0 ? 2 : byte >= 0xC0 ? 1 : 0;
  while (continuation-- > 0) {
    if (!read_byte(term, kKeyByteGapMs, byte) || (byte & 0xC0) != 0x80) return;
  }
}

// Catches the ending signals that are not ignored and blocks them outside
// the waits in read_byte.
void catch_ending_signals(KeyTerminal& term) {
  sigset_t ending;
  sigemptyset(&ending);
  for (int sig : kEndingSignals) sigaddset(&ending, sig);
  ::sigprocmask(SIG_BLOCK, &ending, &term.old_mask);
  term.wait_mask = term.old_mask;
  for (int i = 0; i < kEndingSignalCount; ++i) {
    const int sig = kEndingSignals[i];
    sigdelset(&term.wait_mask, sig);
    ::sigaction(sig, nullptr, &term.old_actions[i]);
    // An ignored signal stays ignored (nohup keeps SIGHUP away).
    if (term.old_actions[i].sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = note_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: ppoll returns with EINTR
    ::sigaction(sig, &action, nullptr);
    term.handled[i] = true;
  }
}

void release_ending_signals(const KeyTerminal& term) {
  for (int i = 0; i < kEndingSignalCount; ++i) {
    if (term.handled[i]) ::sigaction(kEndingSignals[i], &term.old_actions[i], nullptr);
  }
  ::sigprocmask(SIG_SETMASK, &term.old_mask, nullptr);
}

int set_terminal(int fd, int when, const termios& settings) {
  int rc;
  do {
    rc = ::tcsetattr(fd, when, &settings);
  } while (rc != 0 && errno == EINTR);
  return rc;
}

}  // namespace

void wait_for_key() {
  KeyTerminal term;
  // Non-blocking, so that a read after ppoll can never hang with the ending
  // signals blocked; O_NOCTTY, so that a process without a terminal does not
  // gain one here.
  term.fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (term.fd < 0) return;  // no console: the wait ends at once
  if (::tcgetattr(term.fd, &term.saved) != 0) {
    ::close(term.fd);
    return;
  }
  caught_signal = 0;
  catch_ending_signals(term);

  termios raw = term.saved;
  // No line editing, no echo, and no signals from keys: Ctrl-C, Ctrl-Z and
  // Ctrl-\ are read as keys like any other, and the settings are restored
  // below. IXON would swallow Ctrl-S and Ctrl-Q, IGNCR the Enter key.
  raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO | ISIG | IEXTEN));
  raw.c_iflag &= static_cast<tcflag_t>(~(IXON | ICRNL | IGNCR | INLCR));
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  // TCSAFLUSH discards keys typed before the wait began.
  if (set_terminal(term.fd, TCSAFLUSH, raw) == 0) {
    unsigned char key = 0;
    if (read_byte(term, -1, key)) take_rest_of_key(term, key);
    // TCSANOW: keys typed after the one taken are left for the shell.
    set_terminal(term.fd, TCSANOW, term.saved);
  }
  ::close(term.fd);
  release_ending_signals(term);
  // A caught signal ends the process as it would have without the wait,
  // now that the terminal is back as it was.
  if (caught_signal != 0) std::raise(caught_signal);
}

}  // namespace varnex
