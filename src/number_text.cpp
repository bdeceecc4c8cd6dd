#include "number_text.hpp"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

namespace varnex {

namespace {

// A 128-bit product holds a 53-bit significand times 10^6 exactly.
__extension__ typedef unsigned __int128 uint128;

unsigned digit_value(char c) noexcept { return static_cast<unsigned>(c - '0'); }

// "00", "01", ..., "99": two digits per division by 100.
constexpr char kDigitPairs[] =
    "0001020304050607080910111213141516171819"
    "2021222324252627282930313233343536373839"
    "4041424344454647484950515253545556575859"
    "6061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

void put_pair(char* out, unsigned pair) noexcept {
  std::memcpy(out, kDigitPairs + 2 * pair, 2);
}

// Decimal digits of `value`, without leading zeros ("0" for zero).
char* write_decimal(char* out, std::uint64_t value) noexcept {
  int digits = 1;
  for (std::uint64_t bound = 10; digits < 20 && value >= bound; bound *= 10)
    ++digits;
  char* p = out + digits;
  while (value >= 100) {
    p -= 2;
    put_pair(p, static_cast<unsigned>(value % 100));
    value /= 100;
  }
  if (value >= 10) {
    put_pair(p - 2, static_cast<unsigned>(value));
  } else {
    p[-1] = static_cast<char>('0' + value);
  }
  return out + digits;
}

// Below 2^43 the value times 10^6, rounded, stays below 2^63, so the fixed
// text comes from one integer: its quotient and remainder by 10^6.
constexpr int kFixedFastExponentLimit = 1023 + 43;

// The powers of ten that a double holds exactly: 10^k = 5^k * 2^k is exact
// while 5^k fits in 53 bits, which holds up to 5^22.
constexpr double kExactPowersOfTen[] = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int kMaxExactPowerOfTen = 22;
constexpr std::uint64_t kMaxExactInteger = std::uint64_t{1} << 53;

// Decimal exponents are counted up to here and no further: far beyond any
// that leaves a finite non-zero double, and safe from int overflow. Only the
// fast path uses the count; the general conversion reads the text itself.
constexpr int kExponentSaturation = 100000;

// "inf", "-inf", "nan", "-nan" as glibc's printf spells them; the sign of a
// NaN is its sign bit (0.0/0.0 on x86 yields a NaN with the sign bit set).
char* format_non_finite(char* out, double v) noexcept {
  if (std::signbit(v)) *out++ = '-';
  const char* word = std::isnan(v) ? "nan" : "inf";
  std::memcpy(out, word, 3);
  return out + 3;
}

// Eight bytes as one integer, the first byte lowest, on any byte order.
std::uint64_t load_eight(const char* p) noexcept {
  std::uint64_t word;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&word, p, sizeof word);
  } else {
    word = 0;
    for (int k = 7; k >= 0; --k)
      word = word << 8 | static_cast<unsigned char>(p[k]);
  }
  return word;
}

// True when all eight bytes of a load_eight word are '0' to '9': each byte
// must have the high nibble 3, and adding 6 must keep it 3 (a byte of 0xFA
// or more, which could carry into the next, fails the first test itself).
bool eight_digits(std::uint64_t word) noexcept {
  constexpr std::uint64_t kHigh = 0xF0F0F0F0F0F0F0F0u;
  return ((word & kHigh) | (((word + 0x0606060606060606u) & kHigh) >> 4)) ==
         0x3333333333333333u;
}

// Eight digit values (0 to 9, one per byte of a load_eight word) as one
// number, the first byte the most significant digit: pairs, then
// quadruples, then the whole, each step a multiply-add on all lanes at once.
std::uint32_t eight_digit_number(std::uint64_t values) noexcept {
  values = values * 10 + (values >> 8);
  values =
      ((values & 0x000000FF000000FFu) * (100 + (std::uint64_t{1000000} << 32)) +
       ((values >> 16) & 0x000000FF000000FFu) *
           (1 + (std::uint64_t{10000} << 32))) >>
      32;
  return static_cast<std::uint32_t>(values);
}

// Appends the digits at p (up to `end`) to w and returns the position after
// them; eight at a time while eight bytes remain. w wraps once more than 19
// digits come, which the caller sees from the count and then ignores w.
const char* read_digits(const char* p, const char* end,
                        std::uint64_t& w) noexcept {
  while (end - p >= 8) {
    const std::uint64_t word = load_eight(p);
    if (!eight_digits(word)) break;
    w = w * 100000000u + eight_digit_number(word - 0x3030303030303030u);
    p += 8;
  }
  while (p < end && is_c_digit(*p)) w = w * 10 + digit_value(*p++);
  return p;
}

// The shape the recorder writes every number in, "%e": an optional sign, one
// digit, a point, six digits, "e" or "E", a sign and two digits, with no
// digit after it (another digit would extend the exponent; nothing else can
// continue the number). Read with fixed-offset tests; when the text has this
// shape and the power of ten is exact, stores the value in *dest and returns
// the position after the number, otherwise returns nullptr and leaves *dest
// for the general conversion.
const char* parse_recorder_shape(const char* p, const char* end,
                                 double* dest) noexcept {
  constexpr std::ptrdiff_t kLength = 12;  // "d.dddddde+dd"
  if (end - p < kLength) return nullptr;
  const bool negative = *p == '-';
  if (negative || *p == '+') {
    ++p;
    if (end - p < kLength) return nullptr;
  }
  // "d.dddddd" xor "0.000000" leaves the digit values 0 to 9 in the digits'
  // bytes and 0 in the point's exactly when the text has that shape: adding
  // 0x76 to a byte (0x7F to the point's) keeps its top bit clear only for
  // those values, and a byte whose top bit is set already, the only kind
  // whose sum could carry into the next, fails by itself.
  const std::uint64_t head = load_eight(p) ^ 0x3030303030302E30u;
  if (((head + 0x7676767676767F76u) | head) & 0x8080808080808080u)
    return nullptr;
  if ((p[8] | 0x20) != 'e' || (p[9] != '-' && p[9] != '+') ||
      !is_c_digit(p[10]) || !is_c_digit(p[11]) ||
      (end - p > kLength && is_c_digit(p[kLength]))) {
    return nullptr;
  }
  const int exponent =
      static_cast<int>(digit_value(p[10]) * 10 + digit_value(p[11]));
  const int exponent10 = (p[9] == '-' ? -exponent : exponent) - 6;
  if (exponent10 < -kMaxExactPowerOfTen || exponent10 > kMaxExactPowerOfTen)
    return nullptr;
  // Read as the eight digits "d0dddddd", the leading digit counts 10^7
  // where it means 10^6. Seven digits are far below 2^53: as in the general
  // conversion, one exact operand and one exact power of ten give one
  // correct rounding.
  const auto lead = static_cast<std::uint32_t>(head & 0xFF);
  const std::uint32_t seven_digits = eight_digit_number(head) - lead * 9000000u;
  const double w = static_cast<double>(seven_digits);
  const double value = exponent10 < 0 ? w / kExactPowersOfTen[-exponent10]
                                      : w * kExactPowersOfTen[exponent10];
  *dest = negative ? -value : value;
  return p + kLength;
}

// Any number of the data-row syntax; see parse_row_number. Kept out of line
// so that the recorder's shape pays for none of its registers or frame.
[[gnu::noinline]] const char* parse_general_number(const char* p,
                                                   const char* end,
                                                   double* dest) noexcept {
  while (p < end && is_c_space(*p)) ++p;
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  const char* digits_start = p;

  // The number is w * 10^exponent10 with w its digits read as one integer.
  // Up to 19 digits (leading zeros included) w is exact; longer digit
  // strings take the general conversion below, which ignores w.
  std::uint64_t w = 0;
  const char* int_start = p;
  p = read_digits(p, end, w);
  std::ptrdiff_t digit_count = p - int_start;
  int exponent10 = 0;
  if (p < end && *p == '.') {
    const char* fraction_start = ++p;
    p = read_digits(p, end, w);
    const std::ptrdiff_t fraction_digits = p - fraction_start;
    digit_count += fraction_digits;
    exponent10 = -static_cast<int>(
        std::min<std::ptrdiff_t>(fraction_digits, kExponentSaturation));
  }
  if (digit_count == 0) return nullptr;
  const bool too_many_digits = digit_count > 19;

  if (p < end && (*p == 'e' || *p == 'E')) {
    const char* q = p + 1;
    bool exponent_negative = false;
    if (q < end && (*q == '+' || *q == '-')) {
      exponent_negative = *q == '-';
      ++q;
    }
    if (q < end && is_c_digit(*q)) {
      int exponent = 0;
      while (q < end && is_c_digit(*q)) {
        if (exponent < kExponentSaturation)
          exponent = exponent * 10 + static_cast<int>(digit_value(*q));
        ++q;
      }
      exponent10 += exponent_negative ? -exponent : exponent;
      p = q;
    }
  }

  double value;
  if (!too_many_digits && w == 0) {
    value = 0.0;
  } else if (!too_many_digits && w <= kMaxExactInteger &&
             exponent10 >= -kMaxExactPowerOfTen &&
             exponent10 <= kMaxExactPowerOfTen) {
    // Both w and the power of ten are exact doubles, so one multiplication
    // or division rounds once, correctly, as strtod does.
    const double exact_w = static_cast<double>(w);
    value = exponent10 < 0 ? exact_w / kExactPowersOfTen[-exponent10]
                           : exact_w * kExactPowersOfTen[exponent10];
  } else {
    value = 0.0;
    auto res =
        std::from_chars(digits_start, p, value, std::chars_format::general);
    if (res.ec != std::errc() || res.ptr != p) {
      // from_chars stores nothing for results beyond the range of a double;
      // strtod gives the infinity, subnormal or zero that such a number
      // rounds to. It needs a terminated copy.
      std::string copy(digits_start, p);
      value = std::strtod(copy.c_str(), nullptr);
    }
  }
  *dest = negative ? -value : value;
  return p;
}

}  // namespace

char* format_fixed6(char* out, double v) noexcept {
  std::uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  const int biased_exponent = static_cast<int>((bits >> 52) & 0x7ff);
  if (biased_exponent == 0x7ff) return format_non_finite(out, v);
  if (biased_exponent >= kFixedFastExponentLimit) {
    // std::to_chars with a precision is specified as printf with that
    // precision, computed from the exact binary value.
    return std::to_chars(out, out + kMaxNumberChars, v,
                         std::chars_format::fixed, 6)
        .ptr;
  }

  // |v| = m * 2^-shift exactly, and shift >= 10 here. Then |v| * 10^6 is
  // m * 10^6 / 2^shift: the quotient of the shift, rounded half to even on
  // the exact remainder as printf rounds. The product is below 2^73, so a
  // shift of 74 or more leaves less than a half: the result is 0.
  const std::uint64_t fraction_bits = bits & ((std::uint64_t{1} << 52) - 1);
  const std::uint64_t m = biased_exponent == 0
                              ? fraction_bits
                              : fraction_bits | (std::uint64_t{1} << 52);
  const int shift = biased_exponent == 0 ? 1074 : 1075 - biased_exponent;
  std::uint64_t micros = 0;
  if (shift < 64) {
    // The same with the product's two halves in 64-bit words, as for every
    // magnitude from 2^-11 up. Rounding up is wanted when the remainder
    // exceeds the half, or equals it with an odd quotient: exactly when
    // remainder + half - 1 + (quotient & 1) reaches 2^shift, a sum that
    // stays below 2^64.
    const uint128 product = static_cast<uint128>(m) * 1000000u;
    const auto high = static_cast<std::uint64_t>(product >> 64);
    const auto low = static_cast<std::uint64_t>(product);
    micros = high << (64 - shift) | low >> shift;
    const std::uint64_t remainder = low & ((std::uint64_t{1} << shift) - 1);
    const std::uint64_t half = std::uint64_t{1} << (shift - 1);
    micros += (remainder + half - 1 + (micros & 1)) >> shift;
  } else if (shift < 74) {
    const uint128 product = static_cast<uint128>(m) * 1000000u;
    micros = static_cast<std::uint64_t>(product >> shift);
    const uint128 remainder = product & ((uint128{1} << shift) - 1);
    const uint128 half = uint128{1} << (shift - 1);
    if (remainder > half || (remainder == half && (micros & 1))) ++micros;
  }

  // The sign bit alone decides the minus: -0.0 and -1e-9 print "-0.000000".
  if (bits >> 63) *out++ = '-';
  const std::uint64_t integer = micros / 1000000;
  const auto decimals = static_cast<std::uint32_t>(micros - integer * 1000000);
  if (integer < 10) {
    *out++ = static_cast<char>('0' + integer);
  } else if (integer < 100) {
    put_pair(out, static_cast<unsigned>(integer));
    out += 2;
  } else if (integer < 1000) {
    const auto hundreds = static_cast<unsigned>(integer / 100);
    *out = static_cast<char>('0' + hundreds);
    put_pair(out + 1, static_cast<unsigned>(integer) - 100 * hundreds);
    out += 3;
  } else {
    out = write_decimal(out, integer);
  }
  // The six decimals as three pairs without divisions: decimals * 429497
  // (2^32 / 10^4 rounded up) holds decimals / 10^4 above bit 32 and the
  // rest as a 32-bit fraction, which each multiplication by 100 moves two
  // digits further up. The rounding up stays below the last digit's weight
  // for every value under 10^6 (the tests try all of them).
  std::uint64_t shifted = std::uint64_t{decimals} * 429497u;
  *out = '.';
  put_pair(out + 1, static_cast<unsigned>(shifted >> 32));
  shifted = (shifted & 0xFFFFFFFFu) * 100;
  put_pair(out + 3, static_cast<unsigned>(shifted >> 32));
  shifted = (shifted & 0xFFFFFFFFu) * 100;
  put_pair(out + 5, static_cast<unsigned>(shifted >> 32));
  return out + 7;
}

char* format_g9_4(char* out, double v) noexcept {
  char text[32];
  char* end;
  if (!std::isfinite(v)) {
    end = format_non_finite(text, v);
  } else {
    const auto res = std::to_chars(text, text + sizeof text, v,
                                   std::chars_format::general, 4);
    end = res.ptr;
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
  if (const char* after = parse_recorder_shape(p, end, dest)) return after;
  return parse_general_number(p, end, dest);
}

std::int32_t LongDigits::value(bool negative) const noexcept {
  const std::int64_t v = negative ? -magnitude_ : magnitude_;
  return static_cast<std::int32_t>(
      std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(),
                               std::numeric_limits<std::int32_t>::max()));
}

const char* scan_long(const char* p, const char* end,
                      std::int32_t* dest) noexcept {
  while (p < end && is_c_space(*p)) ++p;
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  if (p >= end || !is_c_digit(*p)) return nullptr;
  LongDigits digits;
  while (p < end && is_c_digit(*p)) digits.add(*p++);
  *dest = digits.value(negative);
  return p;
}

}  // namespace varnex
