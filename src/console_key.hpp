// The key wait: one key press read from the console itself, not from
// standard input, without echo and without Enter.
#pragma once

namespace varnex {

// Waits for one key on the controlling terminal. Keys typed before the wait
// began are discarded; a function or cursor key's escape sequence is taken
// whole; the terminal's settings are restored afterwards, also when a
// hangup, interrupt or termination signal ends the wait (the signal then
// takes its usual effect). Returns at once when there is no terminal, and
// when the terminal hangs up.
void wait_for_key();

}  // namespace varnex
