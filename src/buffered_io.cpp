#include "buffered_io.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "file_system.hpp"
#include "number_text.hpp"

namespace varnex {

namespace {

// Input block size. A block must hold at least one whole line piece beyond
// the unread tail that is moved to its front.
constexpr std::size_t kInputBlock = std::size_t{1} << 20;

}  // namespace

// ---------------------------------------------------------------- InputFile

InputFile::InputFile() : buffer_(new char[kInputBlock + kLineLimit]) {
  pos_ = end_ = buffer_.get();
  nul_ = end_;
}

InputFile::~InputFile() {
  if (fd_ >= 0) close_file(fd_);
}

int InputFile::open(const std::string& name) {
  if (fd_ >= 0) {
    close_file(fd_);
    fd_ = -1;
  }
  int fd = -1;
  const int err = open_for_reading(name, fd);
  if (err != 0) return err;
  fd_ = fd;
  at_eof_ = false;
  error_ = 0;
  pos_ = end_ = buffer_.get();
  nul_ = end_;
  return 0;
}

void InputFile::refill() {
  // Move the unread tail (less than one line piece) to the front, then fill
  // the block behind it until a whole piece is available or the file ends.
  const std::size_t tail = static_cast<std::size_t>(end_ - pos_);
  std::memmove(buffer_.get(), pos_, tail);
  pos_ = buffer_.get();
  end_ = pos_ + tail;
  while (!at_eof_ && static_cast<std::size_t>(end_ - pos_) < kLineLimit - 1) {
    if (fd_ < 0) {
      at_eof_ = true;
      break;
    }
    const std::size_t room =
        kInputBlock + kLineLimit - static_cast<std::size_t>(end_ - pos_);
    long got = read_some(fd_, end_, room);
    if (got > 0) {
      end_ += got;
    } else {
      if (got < 0) {
        // A read error ends the input as its end would; the partial piece
        // in hand is dropped, as fgets drops it.
        error_ = static_cast<int>(-got);
        pos_ = end_;
      }
      at_eof_ = true;
    }
  }
  find_next_nul();
}

// --------------------------------------------------------------- OutputFile

OutputFile::OutputFile(std::size_t capacity)
    : buffer_(new char[capacity]), capacity_(capacity) {
  pos_ = buffer_.get();
  limit_ = pos_ + capacity_;
}

OutputFile::~OutputFile() {
  if (owned_ && fd_ >= 0) close_file(fd_);
}

int OutputFile::open(const std::string& name) {
  name_ = name;
  error_ = 0;
  pos_ = buffer_.get();
  int fd = -1;
  const int err = open_for_writing(name, fd);
  if (err != 0) {
    fd_ = -1;
    owned_ = false;
    error_ = err;
    return err;
  }
  fd_ = fd;
  owned_ = true;
  return 0;
}

void OutputFile::attach(int fd, std::string name) {
  fd_ = fd;
  owned_ = false;
  name_ = std::move(name);
  error_ = 0;
  pos_ = buffer_.get();
}

void OutputFile::write(std::string_view text) {
  while (!text.empty()) {
    if (pos_ == limit_) drain();
    std::size_t n = static_cast<std::size_t>(limit_ - pos_);
    if (n > text.size()) n = text.size();
    std::memcpy(pos_, text.data(), n);
    pos_ += n;
    text.remove_prefix(n);
  }
}

void OutputFile::drain() {
  const std::size_t n = static_cast<std::size_t>(pos_ - buffer_.get());
  pos_ = buffer_.get();
  if (n == 0 || error_ != 0 || fd_ < 0) return;
  const int err = write_all(fd_, buffer_.get(), n);
  if (err != 0) error_ = err;
}

bool OutputFile::flush() {
  drain();
  return error_ == 0;
}

int OutputFile::close() {
  drain();
  if (owned_ && fd_ >= 0) {
    const int err = close_file(fd_);
    if (err != 0 && error_ == 0) error_ = err;
  }
  fd_ = -1;
  owned_ = false;
  return error_;
}

// ------------------------------------------------------------- ConsoleInput

ConsoleInput::ConsoleInput(int fd) : fd_(fd) {}

int ConsoleInput::peek() {
  if (pos_ == end_) {
    if (at_eof_) return -1;
    // One read at a time: on a console this returns the line just typed,
    // so nothing is asked of the user before its prompt is shown.
    const long got = read_some(fd_, buffer_, sizeof buffer_);
    if (got <= 0) {
      at_eof_ = true;
      return -1;
    }
    pos_ = 0;
    end_ = static_cast<std::size_t>(got);
  }
  return static_cast<unsigned char>(buffer_[pos_]);
}

bool ConsoleInput::read_word(std::string& word) {
  int c = peek();
  while (c >= 0 && is_c_space(static_cast<char>(c))) {
    skip();
    c = peek();
  }
  if (c < 0) return false;
  word.clear();
  while (c >= 0 && !is_c_space(static_cast<char>(c))) {
    word.push_back(static_cast<char>(c));
    skip();
    c = peek();
  }
  return true;
}

bool ConsoleInput::read_long(std::int32_t& value) {
  int c = peek();
  while (c >= 0 && is_c_space(static_cast<char>(c))) {
    skip();
    c = peek();
  }
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    skip();
    c = peek();
  }
  if (c < 0 || !is_c_digit(static_cast<char>(c))) return false;
  LongDigits digits;
  while (c >= 0 && is_c_digit(static_cast<char>(c))) {
    digits.add(static_cast<char>(c));
    skip();
    c = peek();
  }
  value = digits.value(negative);
  return true;
}

void report_file_error(std::string_view name, int error_number) {
  std::fprintf(stderr, "Varnex_data: %.*s: %s\n",
               static_cast<int>(name.size()), name.data(),
               std::strerror(error_number));
  std::fflush(stderr);
}

}  // namespace varnex
