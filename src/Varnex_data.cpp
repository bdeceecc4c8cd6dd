#include "Varnex_data.hpp"

#include <cstdlib>
#include <string>

#include "buffered_io.hpp"
#include "console_key.hpp"
#include "file_system.hpp"
#include "record_scanner.hpp"
#include "run_state.hpp"

namespace varnex {

namespace {

constexpr std::string_view kBanner =
    "\n\n  Varnex_data  ver 2.6    June 10, 2005 \n"
    "  Varnex data tools, for test engineers of three-axis recorders \n"
    "\n  This program converts Varnex text files into"
    "\n  individual channel files for each record. \n"
    "\n  The input file must have four columns. "
    "\n  time(sec) & three acceleration columns. \n\n"
    "\n  Enter the input filename.\n";

// Opens the three summary files on the prefix. Returns false, having named
// the file and the reason, when one cannot be created.
bool open_summary_files(RunState& state) {
  struct Entry {
    OutputFile* file;
    const char* suffix;
  } entries[] = {{&state.summary.log_file, "_log.txt"},
                 {&state.summary.rms_file, "_rms.txt"},
                 {&state.summary.peak_file, "_peak.txt"}};
  for (const Entry& e : entries) {
    const std::string name = state.output_prefix + e.suffix;
    const int err = e.file->open(name);
    if (err != 0) {
      state.console.out.flush();
      report_file_error(name, err);
      return false;
    }
  }
  return true;
}

// Reads one yes/no or type answer; an answer that is not a number leaves
// the field as it was.
void ask(RunState& state, std::string_view prompt, std::int32_t& field) {
  state.console.prompt(prompt);
  state.console_input.read_long(field);
}

// An answer is a C string: a NUL byte typed into it ends it, for the file
// it names as much as for the console.
void as_c_string(std::string& answer) {
  answer.resize(std::char_traits<char>::length(answer.c_str()));
}

void finish_summary_file(RunState& state, OutputFile& file) {
  const int err = file.close();
  if (err != 0) report_output_failure(state, file.name(), err);
}

}  // namespace

int run_session(RunState& state) {
  Console& console = state.console;
  console.prompt(kBanner);
  state.console_input.read_word(state.input_name);
  as_c_string(state.input_name);

  const int open_error = state.input_file.open(state.input_name);
  if (open_error != 0) {
    console.out.write(" Failed to open file: ");
    console.out.write(state.input_name.c_str());
    console.out.write(" \n");
    console.out.flush();
    report_file_error(state.input_name, open_error);
    return kExitCouldNotStart;
  }
  console.out.write(" File: ");
  console.out.write(state.input_name.c_str());
  console.out.write(" opened. \n");

  console.prompt("\n\n  Enter the output filename prefix.\n");
  state.console_input.read_word(state.output_prefix);
  as_c_string(state.output_prefix);
  if (!open_summary_files(state)) return kExitCouldNotStart;

  // A type answer that is not a number leaves 0, which selects strain.
  std::int32_t record_type = 0;
  ask(state, "\n Enter type \n 1=accel  2=strain \n", record_type);
  if (record_type == 1) {
    ask(state, "\n\n  convert m/sec^2 to G?\n  1=yes  2=no\n",
        state.conversion_answer);
    if (state.conversion_answer == 1) state.options.scale_factor = 0.102;
  } else {
    ask(state, "\n\n  convert strain to microstrain?\n  1=yes  2=no\n",
        state.conversion_answer);
    if (state.conversion_answer == 1) state.options.scale_factor = 1000000.0;
  }
  ask(state, "\n\n  Mean removal?\n  1=yes  2=no\n",
      state.options.mean_removal);

  scan_records(state);
  if (state.input_file.error() != 0) {
    report_output_failure(state, state.input_name, state.input_file.error());
  }

  console.print_number_line("\n\n\n i=", 0);
  console.print_number_line("\n last=", state.last_count);
  const char* prefix = state.output_prefix.c_str();
  console.out.write("\n\n  The output files are: ");
  console.out.write(prefix);
  console.out.write("_x_m.n, ");
  console.out.write(prefix);
  console.out.write("_y_m.n, ");
  console.out.write(prefix);
  console.out.write("_z_m.n \n");
  console.out.write("\n  where m is the block  number. "
                    "\n        n is the record number. \n");
  console.out.write("\n\n Press any key to exit.\n");
  console.out.flush();

  // The summary files are complete before the wait, not only at exit.
  finish_summary_file(state, state.summary.log_file);
  finish_summary_file(state, state.summary.rms_file);
  finish_summary_file(state, state.summary.peak_file);

  wait_for_key();
  return state.output_incomplete ? kExitOutputMissing : kExitNormal;
}

void run_conversion(RunState& state) {
  keep_running_on_broken_pipe();
  const int status = run_session(state);
  state.console.out.flush();
  std::exit(status);
}

}  // namespace varnex
