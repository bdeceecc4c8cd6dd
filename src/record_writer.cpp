#include "record_writer.hpp"

#include <cmath>
#include <cstring>

#include "number_text.hpp"
#include "run_state.hpp"

namespace varnex {

namespace {

// Room one channel line may need: time, blank, value, blank, line feed.
constexpr std::size_t kMaxLineChars = 2 * kMaxNumberChars + 3;

// Times of up to this many characters are copied with one fixed-size move.
constexpr std::size_t kShortTimeChars = 16;

// The three means in one pass over the store. Each sum still adds its
// channel's values in ascending index order, so every mean is the same
// double that a pass of its own would give.
void channel_means(const SampleStore& store, std::int32_t n, double means[3]) {
  double sx = 0.0, sy = 0.0, sz = 0.0;
  for (std::int32_t i = 0; i < n; ++i) {
    sx += store.x[i];
    sy += store.y[i];
    sz += store.z[i];
  }
  means[0] = sx / n;
  means[1] = sy / n;
  means[2] = sz / n;
}

// Appends "<time> <value>\n", with the time already formatted into `time`
// (a buffer of at least kShortTimeChars bytes). Only the x file has a blank
// before the line end; the recorder's own tools have always read the files
// that way, so it is kept.
template <bool kBlankBeforeEnd>
inline void put_line(OutputFile& file, const char* time, std::size_t time_len,
                     double v) {
  char* out = file.reserve(kMaxLineChars);
  // Copying a fixed 16 bytes is one move; the bytes past the time are
  // overwritten by the rest of the line or lie beyond its end.
  if (time_len <= kShortTimeChars) {
    std::memcpy(out, time, kShortTimeChars);
  } else {
    std::memcpy(out, time, time_len);
  }
  out += time_len;
  *out++ = ' ';
  out = format_fixed6(out, v);
  if constexpr (kBlankBeforeEnd) *out++ = ' ';
  *out++ = '\n';
  file.commit(out);
}

// One channel's running statistics, kept in locals during the pass.
struct ChannelSums {
  double peak = 0.0;
  double squares = 0.0;

  void add(double v) {
    if (std::fabs(v) > peak) peak = std::fabs(v);
    squares += std::pow(v, 2.0);
  }
};

// Samples handled per round of write_channels: small enough that a round's
// slice of the four arrays stays in the first-level cache between its
// statistics loop and its formatting loop.
constexpr std::int32_t kRoundSamples = 256;

// Writes every sample after the first whose time is strictly greater than
// its predecessor's in the store (written or not), keeping per channel the
// peak by absolute value and the sum of squares of the values written. The
// three files are filled side by side in one pass over the store, the time
// formatted once per line; each channel's values, statistics and scratch
// value come out as separate passes per channel would leave them, because
// every channel still sees its samples in ascending index order.
//
// Each round of samples is taken twice: once for the statistics, a loop
// without calls that keeps its sums in registers, then once for the lines,
// which recomputes each value by the same subtraction.
void write_channels(RunState& state, const double means[3], std::int32_t n) {
  const SampleStore& store = state.store;
  const double* t = store.t;
  const double* xs = store.x;
  const double* ys = store.y;
  const double* zs = store.z;
  const double mx = means[0], my = means[1], mz = means[2];
  OutputFile& x_file = state.x_file;
  OutputFile& y_file = state.y_file;
  OutputFile& z_file = state.z_file;
  const bool write_x = x_file.is_open();
  const bool write_y = y_file.is_open();
  const bool write_z = z_file.is_open();
  const bool any_writing = write_x || write_y || write_z;

  // A record that writes no line leaves the scratch values as they were.
  ScratchSample last = state.scratch;
  ChannelSums x_sums, y_sums, z_sums;
  char time_text[kMaxNumberChars] = {};
  for (std::int32_t first = 1; first < n; first += kRoundSamples) {
    const std::int32_t stop = n - first > kRoundSamples ? first + kRoundSamples : n;
    for (std::int32_t i = first; i < stop; ++i) {
      if (!(t[i] > t[i - 1])) continue;
      last.cur_x = xs[i] - mx;
      last.cur_y = ys[i] - my;
      last.cur_z = zs[i] - mz;
      x_sums.add(last.cur_x);
      y_sums.add(last.cur_y);
      z_sums.add(last.cur_z);
    }
    if (!any_writing) continue;
    for (std::int32_t i = first; i < stop; ++i) {
      if (!(t[i] > t[i - 1])) continue;
      const std::size_t time_len = static_cast<std::size_t>(
          format_fixed6(time_text, t[i]) - time_text);
      if (write_x) put_line<true>(x_file, time_text, time_len, xs[i] - mx);
      if (write_y) put_line<false>(y_file, time_text, time_len, ys[i] - my);
      if (write_z) put_line<false>(z_file, time_text, time_len, zs[i] - mz);
    }
  }
  state.scratch = last;
  state.x_stats = {x_sums.peak, x_sums.squares};
  state.y_stats = {y_sums.peak, y_sums.squares};
  state.z_stats = {z_sums.peak, z_sums.squares};
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
  double means[3] = {0.0, 0.0, 0.0};
  if (state.options.mean_removal == 1) channel_means(store, n, means);

  write_channels(state, means, n);
  // The console reads as if the channels were written one after another.
  state.console.print("\n finished writing x");
  state.console.print("\n finished writing y");
  state.console.print("\n finished writing z \n");

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
