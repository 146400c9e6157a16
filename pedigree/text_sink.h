// Buffered text output for the result files ("dat", "res", "out", the simulated
// linkage table). A sink either writes to an open file or, with no file, keeps
// everything in memory (used by tests and by callers that want the text).
#pragma once

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

class TextSink {
 public:
  TextSink() = default;  // memory sink
  explicit TextSink(std::FILE* file) : file_(file) {}
  TextSink(const TextSink&) = delete;
  TextSink& operator=(const TextSink&) = delete;
  ~TextSink() { flush(); }

  TextSink& put(std::string_view text) {
    if (text.size() > kChunkSize / 2) {
      drain();
      writeThrough(text);
      return *this;
    }
    reserve(text.size());
    std::memcpy(chunk_.get() + used_, text.data(), text.size());
    used_ += text.size();
    return *this;
  }
  TextSink& put(const char* text) { return put(std::string_view(text)); }
  TextSink& put(char c) {
    reserve(1);
    chunk_[used_++] = c;
    return *this;
  }
  TextSink& put(int value) {
    reserve(kIntRoom);
    used_ = static_cast<std::size_t>(formatInt(chunk_.get() + used_, value) - chunk_.get());
    return *this;
  }
  TextSink& put(long long value) {
    reserve(kMaxDigits);
    char* start = chunk_.get() + used_;
    used_ += static_cast<std::size_t>(std::to_chars(start, start + kMaxDigits, value).ptr - start);
    return *this;
  }
  // Writers that format many values claim room for them at once, write
  // through the returned pointer and commit the end of what they wrote.
  // At most kMaxClaim characters may be claimed at a time.
  static constexpr std::size_t kMaxClaim = 1 << 12;
  static constexpr std::size_t kIntRoom = 11;  // "-2147483648"
  char* claim(std::size_t length) {
    reserve(length);
    return chunk_.get() + used_;
  }
  void commit(const char* end) { used_ = static_cast<std::size_t>(end - chunk_.get()); }
  // Writes `value` in decimal at `at` (room for kIntRoom characters needed)
  // and returns the end.
  static char* formatInt(char* at, int value) {
    if (static_cast<unsigned>(value) < 10) {
      *at = static_cast<char>('0' + value);
      return at + 1;
    }
    if (value == -1) {  // an undetermined source
      at[0] = '-';
      at[1] = '1';
      return at + 2;
    }
    return std::to_chars(at, at + kIntRoom, value).ptr;
  }

  // Floating-point number in a stream's default notation with the given
  // number of significant digits (6 unless the stream's precision was changed).
  TextSink& putFloat(double value, int significantDigits = 6);

  // Moves the write position back by one character, so that the next
  // character replaces the last one written.
  void backUpOne();

  // Hands everything buffered to the file (or to the memory text).
  void flush() { drain(); }
  bool failed() const { return failed_; }
  // The text of a memory sink (everything written so far).
  const std::string& text() const {
    drain();
    return memory_;
  }
  void clear() {
    used_ = 0;
    memory_.clear();
  }

  // A memory sink that comes to hold more than `limit` characters calls
  // `onFull` once; the callback may move the sink to a file.
  void setOverflow(std::size_t limit, std::function<void()> onFull) {
    overflowLimit_ = limit;
    onFull_ = std::move(onFull);
  }
  // Writes what the memory holds to `file` and writes there from now on.
  void switchToFile(std::FILE* file);
  std::FILE* file() const { return file_; }

 private:
  static constexpr std::size_t kChunkSize = 1 << 16;
  static constexpr std::size_t kMaxDigits = 24;

  void reserve(std::size_t length) {
    if (!chunk_) chunk_ = std::make_unique<char[]>(kChunkSize);
    if (kChunkSize - used_ < length) drain();
  }
  void drain() const;
  void writeThrough(std::string_view text);
  void checkOverflow() const;

  mutable std::FILE* file_ = nullptr;
  std::size_t overflowLimit_ = 0;
  mutable std::function<void()> onFull_;
  // Output collects in a fixed chunk; a full chunk goes to the file, or to
  // the memory text of a memory sink.
  mutable std::unique_ptr<char[]> chunk_;
  mutable std::size_t used_ = 0;
  mutable std::string memory_;
  mutable bool failed_ = false;
};
