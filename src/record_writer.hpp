// The record writer: a complete record's three channel files, its
// statistics, and its lines in the RMS and peak files.
#pragma once

#include <cstdint>
#include <string>

namespace varnex {

struct RunState;

// "<prefix>_x_<block>.<event>": block first, event second, minus signs kept.
std::string channel_file_name(const std::string& prefix, char channel,
                              std::int32_t block_number,
                              std::int32_t event_number);

// Writes the record of state.last_count samples held in the store.
void write_record(RunState& state);

}  // namespace varnex
