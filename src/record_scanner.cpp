#include "record_scanner.hpp"

#include <cerrno>

#include "number_text.hpp"
#include "record_writer.hpp"
#include "run_state.hpp"
#include "sample_store.hpp"

namespace varnex {

namespace {

constexpr std::string_view kEventKey = "Event";
constexpr std::string_view kCountKey = "Number of samples";
constexpr std::string_view kColumnKey = "Seconds";
constexpr std::string_view kEventFormat = "Event number: %ld of OnOff block: %ld ";
constexpr std::string_view kCountFormat = "Number of samples: %ld ";

bool contains(std::string_view line, std::string_view key) noexcept {
  return line.find(key) != std::string_view::npos;
}

void event_line_step(RunState& state) {
  std::int32_t* fields[] = {&state.header.event_number,
                            &state.header.block_number};
  match_line_format(state.line_buffer, kEventFormat, fields);
  Console& console = state.console;
  console.out.write("\n\n ");
  console.out.write(state.line_buffer);
  console.out.write(" \n");
  console.show();
  OutputFile& log = state.summary.log_file;
  log.write(state.line_buffer);
  log.write(" \n");
  state.store.sample_count = 0;
}

void count_line_step(RunState& state) {
  std::int32_t* fields[] = {&state.header.samples_announced};
  match_line_format(state.line_buffer, kCountFormat, fields);
  state.console.print_number_line(" Number of samples: ",
                                  state.header.samples_announced);
}

void completion_step(RunState& state) {
  state.last_count = state.store.sample_count;
  state.console.print_number_line("\n last=", state.last_count);
  write_record(state);
}

}  // namespace

int match_line_format(std::string_view line, std::string_view format,
                      std::int32_t* const* fields) {
  const char* p = line.data();
  const char* end = p + line.size();
  int stored = 0;
  std::size_t f = 0;
  while (f < format.size()) {
    const char c = format[f];
    if (c == ' ') {
      while (p < end && is_c_space(*p)) ++p;
      ++f;
    } else if (c == '%') {
      // The only conversion these formats hold is "%ld".
      const char* next = scan_long(p, end, fields[stored]);
      if (!next) break;
      p = next;
      ++stored;
      f += 3;
    } else {
      if (p == end || *p != c) break;
      ++p;
      ++f;
    }
  }
  return stored;
}

void scan_records(RunState& state) {
  enum class Section { kSeeking, kHeader, kData };
  Section section = Section::kSeeking;
  InputFile& input = state.input_file;
  SampleStore& store = state.store;
  // A NUL byte ends a line's text for every test and echo, as it ends a C
  // string; the line itself still ends where the line feed or the
  // 99-character limit puts it. read_line_text gives that text.
  std::string_view& line = state.line_buffer;

  for (;;) {
    if (section == Section::kSeeking) {
      store.sample_count = 0;
      if (!input.read_line_text(line)) break;
      if (contains(line, kEventKey)) {
        event_line_step(state);
        section = Section::kHeader;
      }
    } else if (section == Section::kHeader) {
      if (!input.read_line_text(line)) break;  // the record in hand is dropped
      if (contains(line, kCountKey)) count_line_step(state);
      if (contains(line, kEventKey)) {
        event_line_step(state);
      } else if (contains(line, kColumnKey)) {
        Console& console = state.console;
        console.out.write(" ");
        console.out.write(line);
        console.out.write(" \n");
        console.show();
        section = Section::kData;
      }
    } else {
      // Data section: one read, one parse and one comparison per row; no
      // keyword test, so an event line here is just another row.
      const std::int32_t announced = state.header.samples_announced;
      bool complete = false;
      while (input.read_line_text(line)) {
        if (!parse_sample_line(state)) {
          report_output_failure(state, state.input_name, ENOMEM);
          return;
        }
        if (store.sample_count == announced) {
          complete = true;
          break;
        }
      }
      if (!complete) break;  // the input ended: the record is dropped
      completion_step(state);
      section = Section::kSeeking;
    }
  }
}

}  // namespace varnex
