// The converter's executable: command-line arguments are ignored; the
// dialogue on standard input is the program's only input besides the file.
#include <memory>

#include "Varnex_data.hpp"
#include "run_state.hpp"

int main() {
  // The run state holds large buffers, so it lives on the heap;
  // run_conversion ends the process and never returns.
  auto state = std::make_unique<varnex::RunState>();
  varnex::run_conversion(*state);
}
