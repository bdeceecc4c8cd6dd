// The run-wide state: one record, created once by the entry and handed by
// reference to every operation of the run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "buffered_io.hpp"
#include "sample_store.hpp"

namespace varnex {

// Channel files are the hottest output: each gets a buffer this large.
inline constexpr std::size_t kChannelBufferSize = std::size_t{1} << 19;
inline constexpr std::size_t kSummaryBufferSize = std::size_t{1} << 16;
inline constexpr std::size_t kConsoleBufferSize = std::size_t{1} << 16;

// Exit statuses of the process.
inline constexpr int kExitNormal = 1;          // a normal run ends with 1
inline constexpr int kExitCouldNotStart = 2;   // input or summary file failed
inline constexpr int kExitOutputMissing = 3;   // finished, some output lost

struct RunOptions {
  double scale_factor = 1.0;
  // The mean-removal answer as read; only 1 means yes.
  std::int32_t mean_removal = 0;
};

struct SummaryFiles {
  OutputFile log_file{kSummaryBufferSize};
  OutputFile rms_file{kSummaryBufferSize};
  OutputFile peak_file{kSummaryBufferSize};
};

// Never reset: a record whose event or sample-count line cannot be read
// reuses the previous record's numbers.
struct RecordHeader {
  std::int32_t event_number = 0;
  std::int32_t block_number = 0;
  std::int32_t samples_announced = 0;
};

struct ChannelStats {
  double peak = 0.0;
  // The running sum of squares during a record's write, then its rms.
  double rms = 0.0;
};

// Standard output. On a terminal every message is handed over at once so
// that each prompt is visible before its answer is read; into a file or a
// pipe it is buffered.
struct Console {
  OutputFile out{kConsoleBufferSize};
  bool interactive = false;

  void print(std::string_view text) {
    out.write(text);
    if (interactive) out.flush();
  }
  void show() {
    if (interactive) out.flush();
  }
  // A prompt is handed over at once, even into a pipe, so that a watching
  // script sees each question before its answer is read.
  void prompt(std::string_view text) {
    out.write(text);
    out.flush();
  }
  // "<head><value> \n", as "...%ld \n" prints it.
  void print_number_line(std::string_view head, long value);
};

struct RunState {
  RunState();

  // Dialogue (run control).
  std::string input_name;
  std::string output_prefix;
  std::int32_t conversion_answer = 0;
  RunOptions options;
  InputFile input_file;
  SummaryFiles summary;
  Console console;
  ConsoleInput console_input;

  // Record scanner. line_buffer is the line most recently taken, up to its
  // first NUL byte (C string functions would stop there too).
  std::string_view line_buffer;
  RecordHeader header;
  std::int32_t last_count = 0;

  // Sample store and scratch values.
  SampleStore store;
  ScratchSample scratch;

  // Record writer.
  OutputFile x_file{kChannelBufferSize};
  OutputFile y_file{kChannelBufferSize};
  OutputFile z_file{kChannelBufferSize};
  ChannelStats x_stats;
  ChannelStats y_stats;
  ChannelStats z_stats;
  double overall_rms = 0.0;

  // Set when some output could not be written or the input could not be
  // read to its end: the run then ends with kExitOutputMissing.
  bool output_incomplete = false;
};

// Names the file and the reason on standard error and marks the run's
// output as incomplete.
void report_output_failure(RunState& state, std::string_view name, int error);

}  // namespace varnex
