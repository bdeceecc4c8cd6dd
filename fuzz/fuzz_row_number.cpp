// parse_row_number against a plain reference: the accepted syntax scanned
// by hand, then strtod on exactly the matched text. The two must agree on
// where the number ends and, bit for bit, on its value; without a match the
// destination must keep its content.
//
// The bytes are the text, unterminated: libFuzzer hands them over in a heap
// block of exactly their size, so a read past `end` is caught.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "number_text.hpp"

namespace {

bool digit(char c) { return c >= '0' && c <= '9'; }
bool space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

// Returns the length of the number at `p` (white space, sign, digits and
// point, exponent), 0 when there is none; `start` is where the sign or the
// first digit lies.
std::size_t reference_match(const char* p, std::size_t n, std::size_t& start) {
  std::size_t i = 0;
  while (i < n && space(p[i])) ++i;
  start = i;
  if (i < n && (p[i] == '+' || p[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < n && digit(p[i])) ++i, ++digits;
  if (i < n && p[i] == '.') {
    ++i;
    while (i < n && digit(p[i])) ++i, ++digits;
  }
  if (digits == 0) return 0;
  if (i < n && (p[i] == 'e' || p[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < n && (p[j] == '+' || p[j] == '-')) ++j;
    if (j < n && digit(p[j])) {
      while (j < n && digit(p[j])) ++j;
      i = j;
    }
  }
  return i;
}

// The text with its control and non-ASCII bytes as \xNN, for the report.
std::string escaped(const char* p, std::size_t n) {
  std::string out;
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(p[i]);
    if (c >= 32 && c < 127 && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    }
  }
  return out;
}

std::uint64_t bits(double v) {
  std::uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

[[noreturn]] void fail(const std::string& text, const char* what, double got,
                       double want) {
  std::fprintf(stderr, "parse_row_number(\"%s\"): %s: got %a, want %a\n",
               text.c_str(), what, got, want);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  const std::string shown = escaped(text, size);

  std::size_t start = 0;
  const std::size_t length = reference_match(text, size, start);

  // A destination holding a recognisable non-number: a match must replace
  // it, a non-match must leave its bits alone.
  const std::uint64_t kSentinel = 0x7ff4dead0000beefULL;
  double dest;
  std::memcpy(&dest, &kSentinel, sizeof dest);

  const char* end = varnex::parse_row_number(text, text + size, &dest);
  if (length == 0) {
    if (end != nullptr) fail(shown, "matched where nothing matches", dest, 0);
    if (bits(dest) != kSentinel) fail(shown, "destination changed", dest, 0);
    return 0;
  }
  const std::string matched(text + start, length - start);
  char* strtod_end = nullptr;
  const double want = std::strtod(matched.c_str(), &strtod_end);
  if (strtod_end != matched.c_str() + matched.size())
    fail(shown, "reference text not wholly numeric", 0, want);
  if (end != text + length) {
    std::fprintf(stderr, "parse_row_number(\"%s\"): ends at %td, want %zu\n",
                 shown.c_str(), end ? end - text : std::ptrdiff_t{-1}, length);
    std::abort();
  }
  if (bits(dest) != bits(want)) fail(shown, "value differs", dest, want);
  return 0;
}
