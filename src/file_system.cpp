#include "file_system.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>

namespace varnex {

namespace {

// The size of a transparent huge page (x86-64, and 64-bit Arm with 4 KiB
// pages). Below it the store stays on small pages.
constexpr std::size_t kHugePage = std::size_t{2} << 20;

// Bytes mapped for `count` doubles: whole huge pages, so that the last part
// of a large array is a huge page too; 0 when the size cannot be mapped.
std::size_t mapped_bytes(std::size_t count) {
  if (count == 0 || count > (SIZE_MAX - 2 * kHugePage) / sizeof(double)) return 0;
  const std::size_t bytes = count * sizeof(double);
  return (bytes + kHugePage - 1) & ~(kHugePage - 1);
}

}  // namespace

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

void keep_running_on_broken_pipe() { ::signal(SIGPIPE, SIG_IGN); }

double* reserve_zeroed_doubles(std::size_t count) {
  const std::size_t bytes = mapped_bytes(count);
  if (bytes == 0) return nullptr;
  // A private anonymous mapping is zero-filled and committed page by page
  // as it is written. It is taken one huge page larger than needed and
  // trimmed so that the array starts on a huge-page boundary: only aligned
  // 2 MiB blocks can become huge pages.
  void* const raw = ::mmap(nullptr, bytes + kHugePage, PROT_READ | PROT_WRITE,
                           MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<std::uintptr_t>(raw);
  const std::uintptr_t aligned = (start + kHugePage - 1) & ~std::uintptr_t{kHugePage - 1};
  const std::size_t head = aligned - start;
  if (head > 0) ::munmap(raw, head);
  ::munmap(reinterpret_cast<void*>(aligned + bytes), kHugePage - head);
#if defined(MADV_HUGEPAGE) && defined(MADV_NOHUGEPAGE)
  // The first 2 MiB stay on small pages, so that a small export commits a
  // few kilobytes rather than a huge page per array; that is said
  // explicitly, since a system whose huge pages are "always" on would
  // otherwise back it with one on the first write. The advice may be
  // refused (no huge pages on this system); the memory works the same.
  ::madvise(reinterpret_cast<void*>(aligned), std::min(bytes, kHugePage), MADV_NOHUGEPAGE);
  if (bytes > kHugePage) {
    ::madvise(reinterpret_cast<void*>(aligned + kHugePage), bytes - kHugePage,
              MADV_HUGEPAGE);
  }
#endif
  return reinterpret_cast<double*>(aligned);
}

void release_doubles(double* data, std::size_t count) {
  if (data != nullptr) ::munmap(data, mapped_bytes(count));
}

}  // namespace varnex
