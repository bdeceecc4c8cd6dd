#include "file_system.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace varnex {

int open_for_reading(const std::string& name, int& fd) {
  int f;
  do {
    f = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  } while (f < 0 && errno == EINTR);
  if (f < 0) return errno;
  struct stat info {};
  if (::fstat(f, &info) == 0 && S_ISDIR(info.st_mode)) {
    ::close(f);
    return EISDIR;
  }
  fd = f;
  return 0;
}

int open_for_writing(const std::string& name, int& fd) {
  int f;
  do {
    f = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  } while (f < 0 && errno == EINTR);
  if (f < 0) return errno;
  fd = f;
  return 0;
}

long read_some(int fd, char* data, std::size_t size) {
  for (;;) {
    const ssize_t got = ::read(fd, data, size);
    if (got >= 0) return static_cast<long>(got);
    if (errno != EINTR) return -static_cast<long>(errno);
  }
}

int write_all(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t put = ::write(fd, data, size);
    if (put < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    data += put;
    size -= static_cast<std::size_t>(put);
  }
  return 0;
}

int close_file(int fd) {
  if (::close(fd) != 0 && errno != EINTR) return errno;
  return 0;
}

bool is_terminal(int fd) { return ::isatty(fd) != 0; }

}  // namespace varnex
