#include "run_state.hpp"

#include "file_system.hpp"

namespace varnex {

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
