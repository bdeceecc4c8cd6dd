// Buffered I/O: the input file read in large blocks and split into the
// scanner's lines, output files written through large buffers, and the
// console's standard input read the way scanf reads it.
//
// None of these report errors themselves: each keeps the first failure's
// errno so that the run control can name the file and the reason in one line
// on standard error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace varnex {

// fgets gives each read 100 characters of room, the terminator included, so
// a line is taken in pieces of at most 99 characters.
inline constexpr std::size_t kLineLimit = 100;

// The input file, read front to back in large blocks.
class InputFile {
 public:
  InputFile();
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Opens `name` for reading without translation. A directory counts as a
  // file that cannot be opened (EISDIR). Returns 0 or the errno.
  int open(const std::string& name);

  // Takes the next line as fgets(buffer, kLineLimit, file) would: the bytes
  // up to and including the next line feed, but at most kLineLimit - 1 of
  // them. Gives only the line's text up to its first NUL byte, which is what
  // C's string functions see of the line that fgets stored; where the line
  // ends is unchanged. Returns false when no byte is left, or when reading
  // failed (then error() is set). The view stays valid until the next call.
  bool read_line_text(std::string_view& text) {
    if (static_cast<std::size_t>(end_ - pos_) < kLineLimit - 1 && !at_eof_)
      refill();
    const char* nul = nul_;
    if (!take_line(text)) return false;
    if (nul < text.data() + text.size()) {
      text = std::string_view(text.data(),
                              static_cast<std::size_t>(nul - text.data()));
    }
    return true;
  }

  // The first read error's errno, or 0.
  int error() const noexcept { return error_; }

 private:
  bool take_line(std::string_view& line) {
    const std::size_t avail = static_cast<std::size_t>(end_ - pos_);
    if (avail == 0) return false;
    const std::size_t limit = avail < kLineLimit - 1 ? avail : kLineLimit - 1;
    const void* nl = std::memchr(pos_, '\n', limit);
    const std::size_t len =
        nl ? static_cast<std::size_t>(static_cast<const char*>(nl) - pos_) + 1
           : limit;
    line = std::string_view(pos_, len);
    pos_ += len;
    if (nul_ < pos_) find_next_nul();
    return true;
  }
  // Moves the unread tail to the front and reads until a whole line piece
  // is in the buffer or the file ends.
  void refill();
  // Points nul_ at the first NUL byte at or after pos_, or at end_.
  void find_next_nul() noexcept {
    const void* hit =
        std::memchr(pos_, '\0', static_cast<std::size_t>(end_ - pos_));
    nul_ = hit ? static_cast<const char*>(hit) : end_;
  }

  int fd_ = -1;
  int error_ = 0;
  bool at_eof_ = false;
  std::unique_ptr<char[]> buffer_;
  char* pos_ = nullptr;
  char* end_ = nullptr;
  // The first NUL byte at or after pos_, or end_ when the buffered bytes
  // hold none. Exports hold no NUL, so one search per block settles every
  // line of the block.
  const char* nul_ = nullptr;
};

// An output file written through a large buffer, one system call per buffer.
// After the first failure further output is dropped; error() tells why.
class OutputFile {
 public:
  explicit OutputFile(std::size_t capacity);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates or empties `name` for writing. Returns 0 or the errno.
  int open(const std::string& name);
  // Writes to an already open descriptor (standard output), not owned.
  void attach(int fd, std::string name);
  bool is_open() const noexcept { return fd_ >= 0; }
  const std::string& name() const noexcept { return name_; }

  // Makes room for at least `n` bytes and returns where to write them;
  // `n` must not exceed the capacity. Finish with commit().
  char* reserve(std::size_t n) {
    if (static_cast<std::size_t>(limit_ - pos_) < n) drain();
    return pos_;
  }
  void commit(char* end) noexcept { pos_ = end; }

  void write(std::string_view text);

  // Hands everything buffered to the system. Returns false after a failure.
  bool flush();
  // Flushes and closes. Returns 0 or the first errno of this file's life.
  int close();
  // The first failure's errno, or 0.
  int error() const noexcept { return error_; }

 private:
  void drain();

  int fd_ = -1;
  bool owned_ = false;
  int error_ = 0;
  std::string name_;
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_;
  char* pos_;
  char* limit_;
};

// Standard input read as scanf reads it: white-space separated items, read
// lazily so that a console user is asked before anything is read.
class ConsoleInput {
 public:
  explicit ConsoleInput(int fd = 0);

  // "%s": skips white space, takes the run of other bytes. At the end of the
  // input returns false and leaves `word` unchanged.
  bool read_word(std::string& word);
  // "%d" / "%ld": skips white space, takes an optional sign and decimal
  // digits, saturated to the signed 32-bit range. Without digits returns
  // false and leaves `value`; a sign with no digit after it is consumed,
  // the byte after it is not.
  bool read_long(std::int32_t& value);

 private:
  int peek();  // next byte or -1 at the end
  void skip() { ++pos_; }

  int fd_;
  bool at_eof_ = false;
  char buffer_[4096];
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
};

// Writes one line "Varnex_data: <name>: <reason>" to standard error.
void report_file_error(std::string_view name, int error_number);

}  // namespace varnex
