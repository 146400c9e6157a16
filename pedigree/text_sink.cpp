#include "pedigree/text_sink.h"

TextSink& TextSink::putFloat(double value, int significantDigits) {
  // "%g" with a precision is exactly a stream's default floating notation.
  char digits[64];
  int length = std::snprintf(digits, sizeof digits, "%.*g", significantDigits, value);
  if (length > 0) put(std::string_view(digits, static_cast<std::size_t>(length)));
  return *this;
}

void TextSink::backUpOne() {
  if (failed_) return;
  if (used_ > 0) {
    --used_;
  } else if (file_ == nullptr) {
    if (!memory_.empty()) memory_.pop_back();
  } else if (std::fseek(file_, -1, SEEK_CUR) != 0) {
    failed_ = true;
  }
}

void TextSink::drain() const {
  if (used_ == 0) return;
  if (file_ == nullptr) {
    memory_.append(chunk_.get(), used_);
  } else if (!failed_ && std::fwrite(chunk_.get(), 1, used_, file_) != used_) {
    failed_ = true;
  }
  used_ = 0;
  checkOverflow();
}

void TextSink::writeThrough(std::string_view text) {
  if (file_ == nullptr) {
    memory_.append(text);
    checkOverflow();
  } else if (!failed_ && std::fwrite(text.data(), 1, text.size(), file_) != text.size()) {
    failed_ = true;
  }
}

void TextSink::checkOverflow() const {
  if (file_ != nullptr || !onFull_ || memory_.size() <= overflowLimit_) return;
  const std::function<void()> onFull = std::move(onFull_);
  onFull_ = nullptr;
  onFull();
}

void TextSink::switchToFile(std::FILE* file) {
  drain();
  file_ = file;
  if (!failed_ && !memory_.empty() &&
      std::fwrite(memory_.data(), 1, memory_.size(), file_) != memory_.size()) {
    failed_ = true;
  }
  std::string().swap(memory_);
}
