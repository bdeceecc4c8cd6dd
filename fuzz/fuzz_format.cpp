// format_fixed6 and format_g9_4 against snprintf("%lf") and ("%9.4g"): each
// 8 bytes of the input are one double's bit pattern (any pattern: zeros,
// subnormals, infinities, non-numbers of either sign), and the formatters
// must give snprintf's bytes exactly. They write into a heap block of the
// room they promise to need at most, so a longer text is caught too.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include "number_text.hpp"

namespace {

using Formatter = char* (*)(char*, double) noexcept;

void check(double v, Formatter format, const char* printf_format,
           const char* name) {
  char want[512];
  const int want_len = std::snprintf(want, sizeof want, printf_format, v);
  auto room = std::make_unique<char[]>(varnex::kMaxNumberChars);
  char* end = format(room.get(), v);
  const std::string_view got(room.get(),
                             static_cast<std::size_t>(end - room.get()));
  if (got != std::string_view(want, static_cast<std::size_t>(want_len))) {
    std::fprintf(stderr, "%s(%a): got \"%.*s\", want \"%s\"\n", name, v,
                 static_cast<int>(got.size()), got.data(), want);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  for (std::size_t at = 0; at + 8 <= size; at += 8) {
    double v;
    std::memcpy(&v, data + at, sizeof v);
    check(v, varnex::format_fixed6, "%lf", "format_fixed6");
    check(v, varnex::format_g9_4, "%9.4g", "format_g9_4");
  }
  return 0;
}
