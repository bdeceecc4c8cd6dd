#include "sample_store.hpp"

#include <cstring>
#include <initializer_list>

#include "file_system.hpp"
#include "number_text.hpp"
#include "run_state.hpp"

namespace varnex {

SampleStore::SampleStore() {
  t = reserve_zeroed_doubles(kStoreCapacity);
  x = reserve_zeroed_doubles(kStoreCapacity);
  y = reserve_zeroed_doubles(kStoreCapacity);
  z = reserve_zeroed_doubles(kStoreCapacity);
  if (t && x && y && z) {
    capacity_ = kStoreCapacity;
  } else {
    // Without memory the store starts empty; the first row then tries to
    // grow it and reports the failure.
    for (double* a : {t, x, y, z}) release_doubles(a, kStoreCapacity);
    t = x = y = z = nullptr;
  }
}

SampleStore::~SampleStore() {
  for (double* a : {t, x, y, z}) release_doubles(a, capacity_);
}

bool SampleStore::grow(std::size_t index) {
  std::size_t wanted = capacity_ == 0 ? kStoreCapacity : capacity_ * 2;
  while (wanted <= index) wanted *= 2;
  double* arrays[4] = {reserve_zeroed_doubles(wanted), reserve_zeroed_doubles(wanted),
                       reserve_zeroed_doubles(wanted), reserve_zeroed_doubles(wanted)};
  if (!arrays[0] || !arrays[1] || !arrays[2] || !arrays[3]) {
    for (double* a : arrays) release_doubles(a, wanted);
    return false;
  }
  double** mine[4] = {&t, &x, &y, &z};
  for (int k = 0; k < 4; ++k) {
    if (capacity_ > 0) {
      std::memcpy(arrays[k], *mine[k], capacity_ * sizeof(double));
    }
    release_doubles(*mine[k], capacity_);
    *mine[k] = arrays[k];
  }
  capacity_ = wanted;
  return true;
}

bool is_taken_row(std::string_view line) noexcept {
  // The recorder writes the time first as "d.dddddde-dd", so the marker of a
  // taken row is almost always at this fixed place; only other rows need
  // the search.
  if (line.size() > 9 && line[8] == 'e' && (line[9] == '-' || line[9] == '+'))
    return true;
  const char* p = line.data();
  const char* end = p + line.size();
  // Look at every 'e' once; the marker's second character decides.
  while (p + 1 < end) {
    const void* hit = std::memchr(p, 'e', static_cast<std::size_t>(end - p - 1));
    if (!hit) return false;
    p = static_cast<const char*>(hit);
    if (p[1] == '-' || p[1] == '+') return true;
    ++p;
  }
  return false;
}

bool parse_sample_line(RunState& state) {
  const std::string_view line = state.line_buffer;
  if (!is_taken_row(line)) return true;

  SampleStore& store = state.store;
  const std::size_t i = static_cast<std::size_t>(store.sample_count);
  if (!store.ensure_slot(i)) return false;

  ScratchSample& s = state.scratch;
  const char* p = line.data();
  const char* const end = p + line.size();
  // Each number must be followed directly by a comma; the first mismatch
  // ends the row and the destinations after it keep what they held.
  const auto comma_then = [end](const char* q) -> const char* {
    return q && q != end && *q == ',' ? q + 1 : nullptr;
  };
  if ((p = comma_then(parse_row_number(p, end, &store.t[i]))) &&
      (p = comma_then(parse_row_number(p, end, &s.cur_x))) &&
      (p = comma_then(parse_row_number(p, end, &s.cur_y)))) {
    parse_row_number(p, end, &s.cur_z);
  }

  const double scale = state.options.scale_factor;
  s.cur_x *= scale;
  s.cur_y *= scale;
  s.cur_z *= scale;
  store.x[i] = s.cur_x;
  store.y[i] = s.cur_y;
  store.z[i] = s.cur_z;
  store.sample_count = static_cast<std::int32_t>(i + 1);
  return true;
}

}  // namespace varnex
