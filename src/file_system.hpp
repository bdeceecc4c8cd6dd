// File system: the few operating-system calls the buffered streams and the
// sample store need, kept in one place so that the rest of the program has
// no platform code. The file functions return 0 or an errno value instead of
// setting errno.
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
// Lets a write to a pipe whose reader has gone fail with EPIPE instead of
// ending the process, so that closing the console's reader (say, piping the
// transcript into head) cannot cut the output files short.
void keep_running_on_broken_pipe();

// Zero-filled memory for `count` doubles, taken as address space: the
// operating system commits each page when it is first touched, so the parts
// never written cost no memory. Where the system offers transparent huge
// pages, everything past the first 2 MiB is backed by them, so that filling
// a large array takes one page fault per 2 MiB instead of one per 4 KiB,
// while a small array stays on small pages. Returns nullptr when the memory
// cannot be had.
double* reserve_zeroed_doubles(std::size_t count);
// Gives back memory from reserve_zeroed_doubles; `count` is the one it was
// reserved with. A null pointer is ignored.
void release_doubles(double* data, std::size_t count);

}  // namespace varnex
