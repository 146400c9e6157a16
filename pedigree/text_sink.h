// Buffered text output for the result files ("dat", "res", "out", the simulated
// linkage table). A sink either writes to an open file or, with no file, keeps
// everything in memory (used by tests and by callers that want the text).
#pragma once

#include <cstdint>
#include <cstdio>
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
    buffer_.append(text);
    maybeFlush();
    return *this;
  }
  TextSink& put(char c) {
    buffer_.push_back(c);
    maybeFlush();
    return *this;
  }
  TextSink& put(int value);
  TextSink& put(long long value);
  // Floating-point number in a stream's default notation with the given
  // number of significant digits (6 unless the stream's precision was changed).
  TextSink& putFloat(double value, int significantDigits = 6);

  // Moves the write position back by one character, so that the next
  // character replaces the last one written.
  void backUpOne();

  void flush();
  bool failed() const { return failed_; }
  // The text of a memory sink (everything written so far).
  const std::string& text() const { return buffer_; }
  void clear() { buffer_.clear(); }

 private:
  void maybeFlush() {
    if (file_ != nullptr && buffer_.size() >= kFlushSize) flush();
  }
  static constexpr std::size_t kFlushSize = 1 << 16;
  std::FILE* file_ = nullptr;
  std::string buffer_;
  bool failed_ = false;
};
