// Arbitrary bytes as an input file, through the whole scan: the block reader
// and its 99-character line splitter, the record scanner, the data-row
// parser, the sample store and the record writer with its buffered files.
//
// The first two bytes choose the run options, the rest is the file:
//   byte 0 % 3: scale factor 1.0, 0.102 or 1,000,000.0
//   byte 1 % 3: mean-removal answer 0, 1 (yes) or 2
// With the digits '0' to '2' in front, a seed stays a readable export.
//
// One RunState serves every input: its store reserves four arrays of
// 4,100,000 doubles, too costly to map and poison anew for each input. Each
// input starts from the state's start values all the same, so that a
// finding replays alone exactly as it arose.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "buffered_io.hpp"
#include "record_scanner.hpp"
#include "run_state.hpp"
#include "sample_store.hpp"

namespace {

namespace fs = std::filesystem;

struct Workspace {
  fs::path dir;
  std::string input_path;
  int null_fd = -1;
  std::unique_ptr<varnex::RunState> state;

  Workspace() {
    char pattern[] = "/dev/shm/varnex-fuzz-scan-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    if (!made) std::abort();
    dir = made;
    input_path = (dir / "input.txt").string();
    null_fd = ::open("/dev/null", O_WRONLY);
    if (null_fd < 0) std::abort();
    state = std::make_unique<varnex::RunState>();
  }
  ~Workspace() {
    state.reset();
    std::error_code ec;
    fs::remove_all(dir, ec);
    ::close(null_fd);
  }
};

Workspace& workspace() {
  static Workspace w;
  return w;
}

void write_input(const std::string& path, const std::uint8_t* data,
                 std::size_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) std::abort();
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n <= 0) std::abort();
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  ::close(fd);
}

std::size_t count_lines(const fs::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) std::abort();
  std::size_t lines = 0;
  char buffer[1 << 14];
  ssize_t n;
  while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
    for (ssize_t i = 0; i < n; ++i) lines += buffer[i] == '\n';
  ::close(fd);
  return lines;
}

// Puts every field the scan reads or writes back to its start value. The
// store's slots are zeroed as far as this input can reach: no input takes
// more rows than it has bytes.
void reset_state(varnex::RunState& state, std::size_t input_size) {
  state.input_name.clear();
  state.output_prefix.clear();
  state.conversion_answer = 0;
  state.options = varnex::RunOptions{};
  state.line_buffer = {};
  state.header = varnex::RecordHeader{};
  state.last_count = 0;
  varnex::SampleStore& store = state.store;
  const std::size_t reach =
      input_size + 1 < store.capacity() ? input_size + 1 : store.capacity();
  for (double* a : {store.t, store.x, store.y, store.z})
    std::memset(a, 0, reach * sizeof(double));
  store.sample_count = 0;
  state.scratch = varnex::ScratchSample{};
  state.x_stats = varnex::ChannelStats{};
  state.y_stats = varnex::ChannelStats{};
  state.z_stats = varnex::ChannelStats{};
  state.overall_rms = 0.0;
  state.output_incomplete = false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size < 2) return 0;
  Workspace& w = workspace();
  // A store grown past its reservation (impossible below 4 MB of input)
  // would make the zeroing above incomplete: start from a new state then.
  if (w.state->store.capacity() != varnex::kStoreCapacity)
    w.state = std::make_unique<varnex::RunState>();
  varnex::RunState& state = *w.state;

  static constexpr double kScales[] = {1.0, 0.102, 1000000.0};
  const double scale = kScales[data[0] % 3];
  const std::int32_t mean_removal = data[1] % 3;
  data += 2;
  size -= 2;

  write_input(w.input_path, data, size);
  reset_state(state, size);
  state.console.out.attach(w.null_fd, "/dev/null");
  state.console.interactive = false;
  state.input_name = w.input_path;
  // The input file keeps its descriptor until it is destroyed, and building
  // a new one for each input costs a megabyte block whose mapping dominates
  // the run under ASan. open() reuses its buffer and takes the lowest free
  // descriptor, which is known beforehand, so that descriptor is closed
  // after the scan instead.
  const int input_fd = ::open("/dev/null", O_RDONLY);
  if (input_fd < 0) std::abort();
  ::close(input_fd);
  if (state.input_file.open(state.input_name) != 0) std::abort();
  struct stat opened {}, named {};
  if (::fstat(input_fd, &opened) != 0 || ::stat(w.input_path.c_str(), &named) != 0 ||
      opened.st_ino != named.st_ino)
    std::abort();
  // The outputs go to a directory of their own, made afresh for each input:
  // a long-lived directory that has seen thousands of files come and go
  // becomes slow to list.
  const fs::path out_dir = w.dir / "out";
  if (::mkdir(out_dir.c_str(), 0755) != 0) std::abort();
  state.output_prefix = (out_dir / "run").string();
  if (state.summary.log_file.open(state.output_prefix + "_log.txt") != 0 ||
      state.summary.rms_file.open(state.output_prefix + "_rms.txt") != 0 ||
      state.summary.peak_file.open(state.output_prefix + "_peak.txt") != 0)
    std::abort();
  state.options.scale_factor = scale;
  state.options.mean_removal = mean_removal;

  varnex::scan_records(state);
  ::close(input_fd);

  // Every record ends with its channel files closed; the summary files and
  // the console are written out as the run's end would write them.
  if (state.x_file.is_open() || state.y_file.is_open() ||
      state.z_file.is_open())
    std::abort();
  state.summary.log_file.close();
  state.summary.rms_file.close();
  state.summary.peak_file.close();
  state.console.out.flush();
  if (state.last_count < 0 || state.line_buffer.size() >= varnex::kLineLimit)
    std::abort();

  // The three channel files of a record hold the same samples, so the same
  // number of lines.
  for (const auto& entry : fs::directory_iterator(out_dir)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("run_x_", 0) != 0) continue;
    const std::string id = name.substr(6);
    const std::size_t lines = count_lines(out_dir / name);
    if (count_lines(out_dir / ("run_y_" + id)) != lines ||
        count_lines(out_dir / ("run_z_" + id)) != lines)
      std::abort();
  }

  fs::remove_all(out_dir);
  return 0;
}
