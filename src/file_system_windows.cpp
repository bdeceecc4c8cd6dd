// File system on Windows: the C runtime's descriptors, every one used in
// binary mode, with the text translation of output done here. The buffered
// streams hand whole buffers to write_all; translating them in one pass and
// writing the result with one WriteFile per chunk is much cheaper than the
// runtime's text-mode _write, which writes a few hundred bytes at a time.
//
// Names are passed to _open as they are, so they are taken in the ANSI code
// page, as fopen takes them.
#include "file_system.hpp"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>

namespace varnex {

namespace {

// The C runtime hands out descriptors below this bound.
constexpr int kMaxDescriptors = 2048;

// Descriptors whose line feeds are written as CR LF: the output files, and
// standard output and standard error, which the C runtime opens as text.
bool text_output[kMaxDescriptors] = {false, true, true};

// Input bytes translated per chunk; the translation at most doubles them.
constexpr std::size_t kTextChunk = std::size_t{1} << 16;
char text_buffer[2 * kTextChunk];

bool is_text(int fd) { return fd >= 0 && fd < kMaxDescriptors && text_output[fd]; }

void mark_text(int fd, bool text) {
  if (fd >= 0 && fd < kMaxDescriptors) text_output[fd] = text;
}

int errno_from(DWORD error) {
  switch (error) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
      return EACCES;
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
      return EPIPE;
    case ERROR_INVALID_HANDLE:
      return EBADF;
    default:
      return EIO;
  }
}

// _open refuses a directory with EACCES, as it refuses a file it may not
// open; the two are told apart here so that the message names the reason.
int open_error(const std::string& name) {
  const int err = errno;
  if (err == EACCES) {
    const DWORD attributes = ::GetFileAttributesA(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
      return EISDIR;
  }
  return err;
}

int write_raw(HANDLE handle, const char* data, std::size_t size) {
  while (size > 0) {
    const DWORD chunk = size > (DWORD{1} << 30) ? (DWORD{1} << 30)
                                                 : static_cast<DWORD>(size);
    DWORD put = 0;
    if (!::WriteFile(handle, data, chunk, &put, nullptr)) {
      return errno_from(::GetLastError());
    }
    if (put == 0) return EIO;
    data += put;
    size -= put;
  }
  return 0;
}

// Writes `data` with every line feed preceded by a carriage return, as the
// C runtime writes a text stream: a carriage return already in the data
// stays, so "\r\n" becomes "\r\r\n".
int write_text(HANDLE handle, const char* data, std::size_t size) {
  while (size > 0) {
    const std::size_t take = size < kTextChunk ? size : kTextChunk;
    const char* p = data;
    const char* const end = data + take;
    char* out = text_buffer;
    while (p < end) {
      const void* nl = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
      const char* stop = nl ? static_cast<const char*>(nl) : end;
      std::memcpy(out, p, static_cast<std::size_t>(stop - p));
      out += stop - p;
      p = stop;
      if (nl) {
        *out++ = '\r';
        *out++ = '\n';
        ++p;
      }
    }
    const int err = write_raw(handle, text_buffer,
                              static_cast<std::size_t>(out - text_buffer));
    if (err != 0) return err;
    data += take;
    size -= take;
  }
  return 0;
}

}  // namespace

int open_for_reading(const std::string& name, int& fd) {
  const int f = ::_open(name.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  if (f < 0) return open_error(name);
  fd = f;
  return 0;
}

int open_for_writing(const std::string& name, int& fd) {
  const int f = ::_open(name.c_str(),
                        _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT,
                        _S_IREAD | _S_IWRITE);
  if (f < 0) return open_error(name);
  mark_text(f, true);
  fd = f;
  return 0;
}

long read_some(int fd, char* data, std::size_t size) {
  const unsigned int n =
      size > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<unsigned int>(size);
  const int got = ::_read(fd, data, n);
  if (got >= 0) return got;
  return -static_cast<long>(errno);
}

int write_all(int fd, const char* data, std::size_t size) {
  // The operating system's handle, so that the runtime's own text mode
  // (standard output's) cannot translate a second time.
  const std::intptr_t os_handle = ::_get_osfhandle(fd);
  if (os_handle == -1) return EBADF;
  const HANDLE handle = reinterpret_cast<HANDLE>(os_handle);
  return is_text(fd) ? write_text(handle, data, size)
                     : write_raw(handle, data, size);
}

int close_file(int fd) {
  mark_text(fd, false);
  if (::_close(fd) != 0) return errno;
  return 0;
}

bool is_terminal(int fd) {
  // _isatty holds for every character device, the NUL device too; only a
  // console shows what is written at once.
  const std::intptr_t os_handle = ::_get_osfhandle(fd);
  DWORD mode = 0;
  return os_handle != -1 &&
         ::GetConsoleMode(reinterpret_cast<HANDLE>(os_handle), &mode) != 0;
}

// Windows has no SIGPIPE: a write to a closed pipe already fails.
void keep_running_on_broken_pipe() {}

double* reserve_zeroed_doubles(std::size_t count) {
  if (count == 0 || count > SIZE_MAX / sizeof(double)) return nullptr;
  // Committed memory is zero-filled and gets physical pages only as it is
  // first touched.
  return static_cast<double*>(::VirtualAlloc(
      nullptr, count * sizeof(double), MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
}

void release_doubles(double* data, std::size_t /*count*/) {
  if (data != nullptr) ::VirtualFree(data, 0, MEM_RELEASE);
}

}  // namespace varnex
