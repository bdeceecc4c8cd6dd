#include "record_writer.hpp"

#include <cmath>
#include <cstring>

#include "number_text.hpp"
#include "run_state.hpp"

namespace varnex {

namespace {

struct ChannelPass {
  const double* values;
  double mean;
  double* scratch;
  ChannelStats* stats;
  OutputFile* file;
  // Only the x file has a blank before the line end; the recorder's own
  // tools have always read the files that way, so it is kept.
  std::string_view line_end;
  std::string_view finished_message;
};

double channel_mean(const double* values, std::int32_t n) {
  double sum = 0.0;
  for (std::int32_t i = 0; i < n; ++i) sum += values[i];
  return sum / n;
}

// Writes every sample after the first whose time is strictly greater than
// its predecessor's in the store (written or not), keeping the peak by
// absolute value and the sum of squares of the values written.
void write_channel(RunState& state, const ChannelPass& pass, std::int32_t n) {
  const double* t = state.store.t;
  OutputFile& file = *pass.file;
  const bool writing = file.is_open();
  ChannelStats& stats = *pass.stats;
  for (std::int32_t i = 1; i < n; ++i) {
    if (!(t[i] > t[i - 1])) continue;
    const double v = pass.values[i] - pass.mean;
    *pass.scratch = v;
    if (writing) {
      char* out = file.reserve(2 * kMaxNumberChars + 4);
      out = format_fixed6(out, t[i]);
      *out++ = ' ';
      out = format_fixed6(out, v);
      std::memcpy(out, pass.line_end.data(), pass.line_end.size());
      file.commit(out + pass.line_end.size());
    }
    if (std::fabs(v) > stats.peak) stats.peak = std::fabs(v);
    stats.rms += std::pow(v, 2.0);
  }
  state.console.print(pass.finished_message);
}

void open_channel_file(RunState& state, OutputFile& file, char channel) {
  const std::string name =
      channel_file_name(state.output_prefix, channel,
                        state.header.block_number, state.header.event_number);
  const int err = file.open(name);
  Console& console = state.console;
  console.out.write("\n ");
  console.out.write(name);
  console.out.write(" \n");
  console.show();
  if (err != 0) report_output_failure(state, name, err);
}

void close_channel_file(RunState& state, OutputFile& file) {
  if (!file.is_open()) return;  // its failure to open was reported already
  const int err = file.close();
  if (err != 0) report_output_failure(state, file.name(), err);
}

void append_number(OutputFile& file, long value) {
  char text[24];
  char* end = format_long(text, value);
  file.write(std::string_view(text, static_cast<std::size_t>(end - text)));
}

void append_g(OutputFile& file, double value) {
  char text[kMaxNumberChars];
  char* end = format_g9_4(text, value);
  file.write(std::string_view(text, static_cast<std::size_t>(end - text)));
}

// "%ld \t %ld \t %9.4g \t ... \n": event number first, block number second.
void append_summary_line(RunState& state, OutputFile& file,
                         const double* values, int count) {
  append_number(file, state.header.event_number);
  file.write(" \t ");
  append_number(file, state.header.block_number);
  for (int k = 0; k < count; ++k) {
    file.write(" \t ");
    append_g(file, values[k]);
  }
  file.write(" \n");
}

}  // namespace

std::string channel_file_name(const std::string& prefix, char channel,
                              std::int32_t block_number,
                              std::int32_t event_number) {
  std::string name = prefix;
  name += '_';
  name += channel;
  name += '_';
  char text[24];
  name.append(text, format_long(text, block_number));
  name += '.';
  name.append(text, format_long(text, event_number));
  return name;
}

void write_record(RunState& state) {
  const std::int32_t n = state.last_count;
  const SampleStore& store = state.store;
  state.console.print("\n writing data \n");

  open_channel_file(state, state.x_file, 'x');
  open_channel_file(state, state.y_file, 'y');
  open_channel_file(state, state.z_file, 'z');

  // The means cover all n stored samples, the first and the ones the time
  // test leaves out included.
  const bool remove_mean = state.options.mean_removal == 1;
  const double x_mean = remove_mean ? channel_mean(store.x, n) : 0.0;
  const double y_mean = remove_mean ? channel_mean(store.y, n) : 0.0;
  const double z_mean = remove_mean ? channel_mean(store.z, n) : 0.0;

  state.x_stats = ChannelStats{};
  state.y_stats = ChannelStats{};
  state.z_stats = ChannelStats{};

  write_channel(state,
                {store.x, x_mean, &state.scratch.cur_x, &state.x_stats,
                 &state.x_file, " \n", "\n finished writing x"},
                n);
  write_channel(state,
                {store.y, y_mean, &state.scratch.cur_y, &state.y_stats,
                 &state.y_file, "\n", "\n finished writing y"},
                n);
  write_channel(state,
                {store.z, z_mean, &state.scratch.cur_z, &state.z_stats,
                 &state.z_file, "\n", "\n finished writing z \n"},
                n);

  close_channel_file(state, state.x_file);
  close_channel_file(state, state.y_file);
  close_channel_file(state, state.z_file);

  // The rms divides by the stored count n, not by the lines written; a
  // record of 0 samples gives 0/0, a NaN, printed as such.
  const double divisor = n;
  state.x_stats.rms = std::sqrt(state.x_stats.rms / divisor);
  state.y_stats.rms = std::sqrt(state.y_stats.rms / divisor);
  state.z_stats.rms = std::sqrt(state.z_stats.rms / divisor);
  state.overall_rms = std::sqrt(std::pow(state.z_stats.rms, 2.0) +
                                std::pow(state.y_stats.rms, 2.0) +
                                std::pow(state.x_stats.rms, 2.0));

  const double rms_values[4] = {state.x_stats.rms, state.y_stats.rms,
                                state.z_stats.rms, state.overall_rms};
  append_summary_line(state, state.summary.rms_file, rms_values, 4);
  const double peak_values[3] = {state.x_stats.peak, state.y_stats.peak,
                                 state.z_stats.peak};
  append_summary_line(state, state.summary.peak_file, peak_values, 3);

  state.x_stats.rms = 0.0;
  state.y_stats.rms = 0.0;
  state.z_stats.rms = 0.0;
  state.overall_rms = 0.0;
}

}  // namespace varnex
