// File system: the few operating-system calls the buffered streams need,
// kept in one place so that the rest of the program has no platform code.
// Every function returns 0 or an errno value instead of setting errno.
#pragma once

#include <cstddef>
#include <string>

namespace varnex {

// Opens an existing file for reading, without line-end translation.
// A directory is refused with EISDIR.
int open_for_reading(const std::string& name, int& fd);
// Creates or empties a file for writing as text: on Windows write_all
// writes each of its line feeds as CR LF; elsewhere bytes go out unchanged.
int open_for_writing(const std::string& name, int& fd);
// Reads up to `size` bytes; returns the count, 0 at the end, -errno on error.
long read_some(int fd, char* data, std::size_t size);
// Writes all `size` bytes, retrying short writes. On Windows standard
// output and standard error are text too, as the C runtime opens them.
int write_all(int fd, const char* data, std::size_t size);
int close_file(int fd);
bool is_terminal(int fd);

}  // namespace varnex
