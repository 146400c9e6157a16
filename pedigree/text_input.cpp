#include "pedigree/text_input.h"

#include <cstring>

namespace {
constexpr std::size_t kChunkSize = 1 << 20;
}

bool LineSource::refill() {
  if (file_ == nullptr || atEnd_) return false;
  chunk_.resize(kChunkSize);
  std::size_t got = std::fread(chunk_.data(), 1, kChunkSize, file_);
  chunk_.resize(got);
  chunkPos_ = 0;
  if (got == 0) atEnd_ = true;
  return got > 0;
}

bool LineSource::next(std::string& line) {
  line.clear();
  bool readSomething = false;
  if (file_ == nullptr) {
    if (textPos_ >= text_.size()) return false;
    std::size_t end = text_.find('\n', textPos_);
    if (end == std::string_view::npos) end = text_.size();
    line.assign(text_.substr(textPos_, end - textPos_));
    textPos_ = end + 1;
    readSomething = true;
  } else {
    while (true) {
      if (chunkPos_ >= chunk_.size() && !refill()) break;
      const char* start = chunk_.data() + chunkPos_;
      std::size_t available = chunk_.size() - chunkPos_;
      const void* feed = std::memchr(start, '\n', available);
      readSomething = true;
      if (feed != nullptr) {
        std::size_t length = static_cast<std::size_t>(static_cast<const char*>(feed) - start);
        line.append(start, length);
        chunkPos_ += length + 1;
        break;
      }
      line.append(start, available);
      chunkPos_ = chunk_.size();
    }
    if (!readSomething) return false;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return readSomething;
}

bool parseLeadingInt(std::string_view field, int& value) {
  std::size_t i = 0;
  // Like "%d", leading white space other than the delimiters is skipped.
  while (i < field.size() && (field[i] == '\r' || field[i] == '\v' || field[i] == '\f' || field[i] == '\n'))
    ++i;
  bool negative = false;
  if (i < field.size() && (field[i] == '+' || field[i] == '-')) negative = field[i++] == '-';
  if (i >= field.size() || field[i] < '0' || field[i] > '9') return false;
  long long v = 0;
  for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i) {
    v = v * 10 + (field[i] - '0');
    if (v > 2147483648LL) return false;
  }
  if (negative) v = -v;
  if (v > 2147483647LL) return false;
  value = static_cast<int>(v);
  return true;
}
