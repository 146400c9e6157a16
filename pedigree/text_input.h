// Line-by-line text input and the field conversion shared by the pedigree
// reader and the structure reader of the simulation tool.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

// Reads lines of any length from a file or from text held in memory.
class LineSource {
 public:
  explicit LineSource(std::FILE* file) : file_(file) {}
  explicit LineSource(std::string_view text) : text_(text) {}
  // Next line without its line feed (and without a carriage return before
  // it); false at the end of the input with nothing read.
  bool next(std::string& line);

 private:
  bool refill();
  std::FILE* file_ = nullptr;
  std::string_view text_;
  std::size_t textPos_ = 0;
  std::string chunk_;
  std::size_t chunkPos_ = 0;
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
  explicit FieldCursor(std::string_view line) : line_(line) {}
  bool next(std::string_view& field) {
    const std::size_t n = line_.size();
    while (pos_ < n && isDelimiter(line_[pos_])) ++pos_;
    if (pos_ >= n) return false;
    const std::size_t start = pos_;
    while (pos_ < n && !isDelimiter(line_[pos_])) ++pos_;
    field = line_.substr(start, pos_ - start);
    return true;
  }

 private:
  static bool isDelimiter(char c) { return c == ' ' || c == ',' || c == '\t'; }
  std::string_view line_;
  std::size_t pos_ = 0;
};

// Calls `callback` with every field of the line in order.
template <typename Callback>
void forEachField(std::string_view line, Callback&& callback) {
  FieldCursor cursor(line);
  std::string_view field;
  while (cursor.next(field)) callback(field);
}
