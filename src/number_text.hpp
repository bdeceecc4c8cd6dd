// Number text: the exact conversions between doubles or integers and the
// text the converter reads and writes.
//
// Every formatter here produces the bytes that C's printf produces for the
// named format on glibc, and every parser reads exactly the syntax the input
// format allows and converts as strtod/strtol would. The tests hold them to
// that against snprintf and strtod on large random and adversarial sets.
#pragma once

#include <cstddef>
#include <cstdint>

namespace varnex {

// Room that any single formatted number below may need: "%lf" of the
// largest double prints 309 integer digits, a sign, a point and 6 decimals.
inline constexpr std::size_t kMaxNumberChars = 330;

// printf("%lf", v): fixed notation, six decimals, correctly rounded from the
// double's exact binary value (ties to even), "-0.000000" for negative values
// that round to zero, "inf", "-inf", "nan", "-nan".
// Writes at most kMaxNumberChars bytes at `out` and returns the end.
char* format_fixed6(char* out, double v) noexcept;

// printf("%9.4g", v): at most four significant digits, exponent with at
// least two digits, right-aligned in a field of at least nine characters.
char* format_g9_4(char* out, double v) noexcept;

// printf("%ld", v).
char* format_long(char* out, long v) noexcept;

// True for the characters C's isspace accepts in the "C" locale:
// blank, tab, line feed, vertical tab, form feed, carriage return.
constexpr bool is_c_space(char c) noexcept {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

constexpr bool is_c_digit(char c) noexcept { return c >= '0' && c <= '9'; }

// The digits of one "%ld" item, taken one at a time as scanf takes them, and
// the value they give, saturated to the signed 32-bit range: past that range
// the magnitude stops growing, while the reader still consumes every digit.
class LongDigits {
 public:
  void add(char digit) noexcept {
    if (magnitude_ < kBeyondRange) magnitude_ = magnitude_ * 10 + (digit - '0');
  }
  std::int32_t value(bool negative) const noexcept;

 private:
  static constexpr std::int64_t kBeyondRange = std::int64_t{1} << 32;
  std::int64_t magnitude_ = 0;
};

// One data-row number as "%lf" takes it: leading white space, then an
// optional sign, digits with an optional decimal point (at least one digit),
// then optionally "e"/"E", an optional sign and at least one digit. Words for
// infinity or not-a-number and hexadecimal forms are not numbers. An exponent
// marker not followed by a digit (after an optional sign) is not part of the
// number: "1e,2" reads 1 and stops before "e".
//
// On a match the value is what strtod gives for the matched text (including
// +-inf on overflow and subnormals or signed zero on underflow), it is stored
// in *dest and the position after the number is returned. Without a match
// *dest is left unchanged and nullptr is returned. Reads no further than
// `end`; the text need not be terminated.
const char* parse_row_number(const char* p, const char* end,
                             double* dest) noexcept;

// One "%ld" as scanf matches it inside a line: skip white space, then an
// optional sign and decimal digits. Values beyond the signed 32-bit range
// saturate at its bounds. On a match stores into *dest and returns the
// position after the digits; otherwise returns nullptr and leaves *dest.
const char* scan_long(const char* p, const char* end,
                      std::int32_t* dest) noexcept;

}  // namespace varnex
