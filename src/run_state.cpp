#include "run_state.hpp"

#include "file_system.hpp"
#include "number_text.hpp"

namespace varnex {

void Console::print_number_line(std::string_view head, long value) {
  char digits[24];
  const char* end = format_long(digits, value);
  out.write(head);
  out.write(std::string_view(digits, static_cast<std::size_t>(end - digits)));
  out.write(" \n");
  show();
}

RunState::RunState() {
  console.out.attach(1, "standard output");
  console.interactive = is_terminal(1);
}

void report_output_failure(RunState& state, std::string_view name,
                           int error) {
  report_file_error(name, error);
  state.output_incomplete = true;
}

}  // namespace varnex
