// Line-by-line text input and the field conversion shared by the pedigree
// reader and the structure reader of the simulation tool.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

// Reads lines of any length from a file or from text held in memory.
class LineSource {
 public:
  explicit LineSource(std::FILE* file) : file_(file) {}
  explicit LineSource(std::string_view text) : text_(text) {}
  // Next line without its line feed (and without a carriage return before
  // it); false at the end of the input with nothing read. The view stays
  // valid until the next call.
  bool next(std::string_view& line);
  // The same line copied into `line`.
  bool next(std::string& line);
  // Hands the line the last next() returned out once more (a look at the
  // first line before reading starts, which works on a pipe too).
  void unreadLine() {
    if (file_ == nullptr) {
      textPos_ = lineStart_;
    } else {
      begin_ = lineStart_;
    }
  }

 private:
  bool nextFromText(std::string_view& line);
  bool nextFromFile(std::string_view& line);
  // Reads more of the file behind the unread part of the buffer, moving that
  // part to the front and growing the buffer when one line fills it.
  bool refill();

  std::FILE* file_ = nullptr;
  std::string_view text_;
  std::size_t textPos_ = 0;
  std::size_t lineStart_ = 0;  // of the last line returned (in text_ or buffer_)
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_ = 0;
  std::size_t begin_ = 0;  // first unread byte
  std::size_t end_ = 0;    // one past the last byte read from the file
  bool atEnd_ = false;
};

// Converts a field like a "%d" conversion: optional sign and decimal digits
// at its start, the rest of the field ignored. False (value unchanged) when
// the field does not begin with a number or the number does not fit in 32 bits.
bool parseLeadingInt(std::string_view field, int& value);

// Walks the fields of a line: runs of " ,\t" separate them, and delimiters at
// either end or repeated delimiters produce no empty fields.
class FieldCursor {
 public:
  explicit FieldCursor(std::string_view line) : pos_(line.data()), end_(line.data() + line.size()) {}
  bool next(std::string_view& field) {
    while (pos_ != end_ && isDelimiter(*pos_)) ++pos_;
    if (pos_ == end_) return false;
    const char* start = pos_;
    while (pos_ != end_ && !isDelimiter(*pos_)) ++pos_;
    field = std::string_view(start, static_cast<std::size_t>(pos_ - start));
    return true;
  }

  // Next field converted like parseLeadingInt. Returns false at the end of
  // the line; otherwise `field` is the field and `converted` says whether
  // `value` was set (it is left unchanged when not).
  bool nextInt(std::string_view& field, int& value, bool& converted) {
    while (pos_ != end_ && isDelimiter(*pos_)) ++pos_;
    if (pos_ == end_) return false;
    const char* start = pos_;
    // Most fields are short non-negative numbers followed by a delimiter.
    unsigned digit = static_cast<unsigned char>(*pos_) - unsigned{'0'};
    if (digit < 10) {
      unsigned number = digit;
      const char* p = pos_ + 1;
      int count = 1;
      while (p != end_ && (digit = static_cast<unsigned char>(*p) - unsigned{'0'}) < 10 && count < 9) {
        number = number * 10 + digit;
        ++p;
        ++count;
      }
      if (p == end_ || isDelimiter(*p)) {
        pos_ = p;
        field = std::string_view(start, static_cast<std::size_t>(p - start));
        value = static_cast<int>(number);
        converted = true;
        return true;
      }
    }
    while (pos_ != end_ && !isDelimiter(*pos_)) ++pos_;
    field = std::string_view(start, static_cast<std::size_t>(pos_ - start));
    converted = parseLeadingInt(field, value);
    return true;
  }

 private:
  static bool isDelimiter(char c) { return c == ' ' || c == ',' || c == '\t'; }
  const char* pos_;
  const char* end_;
};

// Calls `callback` with every field of the line in order.
template <typename Callback>
void forEachField(std::string_view line, Callback&& callback) {
  FieldCursor cursor(line);
  std::string_view field;
  while (cursor.next(field)) callback(field);
}
