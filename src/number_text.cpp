#include "number_text.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

namespace varnex {

namespace {

bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

// "inf", "-inf", "nan", "-nan" as glibc's printf spells them; the sign of a
// NaN is its sign bit (0.0/0.0 on x86 yields a NaN with the sign bit set).
char* format_non_finite(char* out, double v) noexcept {
  if (std::signbit(v)) *out++ = '-';
  const char* word = std::isnan(v) ? "nan" : "inf";
  std::memcpy(out, word, 3);
  return out + 3;
}

}  // namespace

char* format_fixed6(char* out, double v) noexcept {
  if (!std::isfinite(v)) return format_non_finite(out, v);
  // std::to_chars with a precision is specified as printf with that
  // precision, computed from the exact binary value.
  auto res = std::to_chars(out, out + kMaxNumberChars, v,
                           std::chars_format::fixed, 6);
  return res.ptr;
}

char* format_g9_4(char* out, double v) noexcept {
  char text[32];
  char* end;
  if (!std::isfinite(v)) {
    end = format_non_finite(text, v);
  } else {
    end = std::to_chars(text, text + sizeof text, v,
                        std::chars_format::general, 4)
              .ptr;
  }
  const std::size_t len = static_cast<std::size_t>(end - text);
  for (std::size_t pad = len; pad < 9; ++pad) *out++ = ' ';
  std::memcpy(out, text, len);
  return out + len;
}

char* format_long(char* out, long v) noexcept {
  return std::to_chars(out, out + 24, v).ptr;
}

const char* parse_row_number(const char* p, const char* end,
                             double* dest) noexcept {
  while (p < end && is_c_space(*p)) ++p;
  const char* start = p;
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  const char* digits_start = p;
  bool any_digit = false;
  while (p < end && is_digit(*p)) {
    ++p;
    any_digit = true;
  }
  if (p < end && *p == '.') {
    ++p;
    while (p < end && is_digit(*p)) {
      ++p;
      any_digit = true;
    }
  }
  if (!any_digit) return nullptr;
  if (p < end && (*p == 'e' || *p == 'E')) {
    const char* q = p + 1;
    if (q < end && (*q == '+' || *q == '-')) ++q;
    if (q < end && is_digit(*q)) {
      while (q < end && is_digit(*q)) ++q;
      p = q;
    }
  }
  double value = 0.0;
  auto res = std::from_chars(digits_start, p, value,
                             std::chars_format::general);
  if (res.ec != std::errc() || res.ptr != p) {
    // from_chars stores nothing for results beyond the range of a double;
    // strtod gives the infinity, subnormal or zero that such a number rounds
    // to. The matched text is short (a line holds at most 99 characters).
    std::string copy(digits_start, p);
    value = std::strtod(copy.c_str(), nullptr);
  }
  (void)start;
  *dest = negative ? -value : value;
  return p;
}

const char* scan_long(const char* p, const char* end,
                      std::int32_t* dest) noexcept {
  while (p < end && is_c_space(*p)) ++p;
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  if (p >= end || !is_digit(*p)) return nullptr;
  // Accumulate toward the sign so that INT32_MIN is reachable; clamp once
  // the magnitude passes the 32-bit range, but consume every digit.
  std::int64_t value = 0;
  constexpr std::int64_t kLimit = std::int64_t{1} << 32;
  while (p < end && is_digit(*p)) {
    if (value < kLimit) value = value * 10 + (*p - '0');
    ++p;
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<std::int32_t>::max())
    value = std::numeric_limits<std::int32_t>::max();
  if (value < std::numeric_limits<std::int32_t>::min())
    value = std::numeric_limits<std::int32_t>::min();
  *dest = static_cast<std::int32_t>(value);
  return p;
}

}  // namespace varnex
