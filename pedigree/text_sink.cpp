#include "pedigree/text_sink.h"

#include <charconv>

TextSink& TextSink::put(int value) { return put(static_cast<long long>(value)); }

TextSink& TextSink::put(long long value) {
  char digits[24];
  auto result = std::to_chars(digits, digits + sizeof digits, value);
  buffer_.append(digits, result.ptr);
  maybeFlush();
  return *this;
}

TextSink& TextSink::putFloat(double value, int significantDigits) {
  // "%g" with a precision is exactly a stream's default floating notation.
  char digits[64];
  int length = std::snprintf(digits, sizeof digits, "%.*g", significantDigits, value);
  if (length > 0) buffer_.append(digits, static_cast<std::size_t>(length));
  maybeFlush();
  return *this;
}

void TextSink::backUpOne() {
  if (failed_) return;
  if (!buffer_.empty()) {
    buffer_.pop_back();
    return;
  }
  if (file_ != nullptr && std::fseek(file_, -1, SEEK_CUR) != 0) failed_ = true;
}

void TextSink::flush() {
  if (file_ == nullptr || buffer_.empty()) return;
  if (!failed_ && std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) failed_ = true;
  buffer_.clear();
}
