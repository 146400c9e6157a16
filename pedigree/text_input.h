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

// Splits at runs of " ,\t"; no empty fields.
template <typename Callback>
void forEachField(std::string_view line, Callback&& callback) {
  std::size_t i = 0;
  const std::size_t n = line.size();
  while (i < n) {
    while (i < n && (line[i] == ' ' || line[i] == ',' || line[i] == '\t')) ++i;
    if (i >= n) break;
    std::size_t start = i;
    while (i < n && line[i] != ' ' && line[i] != ',' && line[i] != '\t') ++i;
    callback(line.substr(start, i - start));
  }
}
