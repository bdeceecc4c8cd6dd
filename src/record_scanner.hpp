// The record scanner: the run's one pass over the input, line by line,
// finding records, their header values and the point where each is complete.
#pragma once

#include <cstdint>
#include <string_view>

namespace varnex {

struct RunState;

// Matches `line` against a scanf format made of literal characters, blanks
// and "%ld" conversions, from the line's first character: a literal must
// equal the next character, a blank matches any run of white space (or
// none), "%ld" takes an optional sign and digits after white space. Stops at
// the first mismatch; fields matched before it are stored, the others keep
// their values. Returns the number of fields stored.
int match_line_format(std::string_view line, std::string_view format,
                      std::int32_t* const* fields);

// Reads the input to its end: Seeking, Header scan, Data section, Done.
// Echoes event lines, sample counts and column headers to the console, logs
// event lines, hands data rows to parse_sample_line and calls write_record
// for every complete record.
void scan_records(RunState& state);

}  // namespace varnex
