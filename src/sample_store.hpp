// The sample store and the data-row parser: one record's samples in four
// parallel arrays, filled one taken row at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace varnex {

struct RunState;

// Slots reserved for each array at the start of the run.
inline constexpr std::size_t kStoreCapacity = 4'100'000;

// Four parallel arrays t, x, y, z. They are reserved once at kStoreCapacity
// slots, zero-filled, and never cleared; the operating system commits their
// pages only as rows reach them, so a small export costs little memory, and
// a large record fills them in huge pages where the system has them. A
// record with more rows than the reservation grows all four arrays, keeping
// what they hold, so no row is ever written outside them.
class SampleStore {
 public:
  SampleStore();
  ~SampleStore();
  SampleStore(const SampleStore&) = delete;
  SampleStore& operator=(const SampleStore&) = delete;

  double* t = nullptr;
  double* x = nullptr;
  double* y = nullptr;
  double* z = nullptr;
  // Rows taken since the scanner last set it to 0: the next slot to fill.
  std::int32_t sample_count = 0;

  std::size_t capacity() const noexcept { return capacity_; }
  // Makes slot `index` exist. Returns false only when memory is exhausted.
  bool ensure_slot(std::size_t index) {
    return index < capacity_ || grow(index);
  }

 private:
  bool grow(std::size_t index);
  std::size_t capacity_ = 0;
};

// The parser's channel targets and the writer's working values, shared on
// purpose: a row that lacks a channel stores what the other left here.
struct ScratchSample {
  double cur_x = 0.0;
  double cur_y = 0.0;
  double cur_z = 0.0;
};

// True when the line holds "e-" or "e+": only such a row stores a sample.
bool is_taken_row(std::string_view line) noexcept;

// Takes one data row from state.line_buffer: when it is a taken row, reads
// "%lf,%lf,%lf,%lf" into t[i], cur_x, cur_y, cur_z (stopping at the first
// number or comma that does not match), scales the three channel values and
// stores them in slot i = sample_count, which then advances by one.
// Returns false only when the store could not grow (out of memory).
bool parse_sample_line(RunState& state);

}  // namespace varnex
