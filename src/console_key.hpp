// The key wait: one key press read from the console itself, not from
// standard input, without echo and without Enter.
#pragma once

namespace varnex {

// Waits for one key on the controlling terminal. Keys typed before the wait
// began are discarded; a function or cursor key's escape sequence is taken
// whole; the terminal's settings are restored afterwards. Returns at once
// when there is no terminal.
void wait_for_key();

}  // namespace varnex
