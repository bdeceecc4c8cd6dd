// Run control: the banner, the five-answer dialogue, the input and summary
// files, the scan, the closing summary, the key wait and the exit.
#pragma once

namespace varnex {

struct RunState;

// Runs the whole conversion and returns the process's exit status:
// 1 a normal run, 2 the run could not start, 3 it finished but some output
// could not be written.
int run_session(RunState& state);

// The program's entry: runs the session and ends the process with its
// status, after every output stream has been written out. Never returns.
[[noreturn]] void run_conversion(RunState& state);

}  // namespace varnex
