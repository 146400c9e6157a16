#include "pedigree/text_input.h"

#include <charconv>
#include <cstdint>
#include <cstring>

namespace {
constexpr std::size_t kInitialBufferSize = 1 << 20;

std::string_view withoutCarriageReturn(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}
}  // namespace

bool LineSource::refill() {
  if (file_ == nullptr || atEnd_) return false;
  if (begin_ > 0) {
    std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (end_ == capacity_) {
    // The unread part is one line longer than the buffer: double it.
    const std::size_t grown = capacity_ == 0 ? kInitialBufferSize : capacity_ * 2;
    auto larger = std::make_unique<char[]>(grown);
    if (end_ > 0) std::memcpy(larger.get(), buffer_.get(), end_);
    buffer_ = std::move(larger);
    capacity_ = grown;
  }
  const std::size_t got = std::fread(buffer_.get() + end_, 1, capacity_ - end_, file_);
  end_ += got;
  if (got == 0) atEnd_ = true;
  return got > 0;
}

bool LineSource::nextFromText(std::string_view& line) {
  if (textPos_ >= text_.size()) return false;
  std::size_t end = text_.find('\n', textPos_);
  if (end == std::string_view::npos) end = text_.size();
  line = withoutCarriageReturn(text_.substr(textPos_, end - textPos_));
  lineStart_ = textPos_;
  textPos_ = end + 1;
  return true;
}

bool LineSource::nextFromFile(std::string_view& line) {
  // Bytes before `scanned` are known to hold no line feed.
  std::size_t scanned = begin_;
  while (true) {
    const char* feed = nullptr;
    if (scanned < end_) {
      feed = static_cast<const char*>(std::memchr(buffer_.get() + scanned, '\n', end_ - scanned));
    }
    if (feed != nullptr) {
      const char* start = buffer_.get() + begin_;
      line = withoutCarriageReturn(std::string_view(start, static_cast<std::size_t>(feed - start)));
      lineStart_ = begin_;
      begin_ = static_cast<std::size_t>(feed - buffer_.get()) + 1;
      return true;
    }
    const std::size_t unread = end_ - begin_;
    if (!refill()) {
      // The last line of a file without a final line feed.
      if (unread == 0) return false;
      line = withoutCarriageReturn(std::string_view(buffer_.get() + begin_, unread));
      lineStart_ = begin_;
      begin_ = end_;
      return true;
    }
    scanned = begin_ + unread;
  }
}

bool LineSource::next(std::string_view& line) {
  return file_ == nullptr ? nextFromText(line) : nextFromFile(line);
}

bool LineSource::next(std::string& line) {
  std::string_view view;
  if (!next(view)) {
    line.clear();
    return false;
  }
  line.assign(view);
  return true;
}

bool parseLeadingInt(std::string_view field, int& value) {
  const char* p = field.data();
  const char* const end = p + field.size();
  // Like "%d", leading white space other than the delimiters is skipped.
  while (p != end && (*p == '\r' || *p == '\v' || *p == '\f' || *p == '\n')) ++p;
  bool negative = false;
  if (p != end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  if (p == end || *p < '0' || *p > '9') return false;
  std::uint32_t magnitude = 0;
  if (std::from_chars(p, end, magnitude).ec != std::errc()) return false;
  if (magnitude > (negative ? 2147483648U : 2147483647U)) return false;
  value = negative ? static_cast<int>(-static_cast<std::int64_t>(magnitude)) : static_cast<int>(magnitude);
  return true;
}
