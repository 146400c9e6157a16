#include "vcf/first_configuration.h"

#include <algorithm>
#include <charconv>

namespace {

constexpr long long kReportHeaderLines = 3;
constexpr long long kMinimumReportLoci = 10;

ssize_t swallow(void*, const char*, std::size_t size) { return static_cast<ssize_t>(size); }

bool nextLine(const std::string& text, std::size_t& position, std::string_view& line) {
  if (position >= text.size()) return false;
  const std::size_t end = text.find('\n', position);
  if (end == std::string::npos) return false;
  line = std::string_view(text).substr(position, end - position);
  position = end + 1;
  return true;
}

// Reads an integer and moves past it; false when there is none.
bool readInt(std::string_view& text, int& value) {
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc()) return false;
  text.remove_prefix(static_cast<std::size_t>(end - text.data()));
  return true;
}

bool expect(std::string_view& text, char c) {
  if (text.empty() || text.front() != c) return false;
  text.remove_prefix(1);
  return true;
}

bool parseLocus(std::string_view line, LocusGenotype& g) {
  int a = 0;
  int b = 0;
  if (!readInt(line, a) || line.empty()) return false;
  if (line.front() == ' ') {
    line.remove_prefix(1);
    if (!readInt(line, b) || !line.empty()) return false;
    g.allele1 = a;
    g.allele2 = b;
    g.resolved = false;
    return true;
  }
  int s = 0;
  int t = 0;
  if (!expect(line, '|') || !readInt(line, b) || !expect(line, '(') || !readInt(line, s) ||
      !expect(line, ',') || !readInt(line, t) || !expect(line, ')') || !line.empty()) {
    return false;
  }
  g.allele1 = a;
  g.allele2 = b;
  g.paternalSource = s;
  g.maternalSource = t;
  g.resolved = true;
  return true;
}

}  // namespace

std::FILE* FirstConfiguration::nullFile() {
  static std::FILE* const file =
      fopencookie(nullptr, "w", cookie_io_functions_t{nullptr, swallow, nullptr, nullptr});
  return file;
}

ssize_t FirstConfiguration::keep(void* cookie, const char* data, std::size_t size) {
  Capture& capture = *static_cast<Capture*>(cookie);
  for (std::size_t i = 0; i < size && capture.linesSeen < capture.linesWanted; ++i) {
    capture.text.push_back(data[i]);
    if (data[i] == '\n') ++capture.linesSeen;
  }
  return static_cast<ssize_t>(size);
}

FirstConfiguration::FirstConfiguration(const Family& family) {
  const long long perMember = kReportHeaderLines + std::max<long long>(family.locusCount, kMinimumReportLoci);
  capture_.linesWanted = perMember * static_cast<long long>(family.members.size());
  file_ = fopencookie(&capture_, "w", cookie_io_functions_t{nullptr, keep, nullptr, nullptr});
  sink_ = std::make_unique<TextSink>(file_ != nullptr ? file_ : nullFile());
}

FirstConfiguration::~FirstConfiguration() {
  sink_.reset();
  if (file_ != nullptr) std::fclose(file_);
}

const std::string& FirstConfiguration::text() {
  sink_->flush();
  if (file_ != nullptr) std::fflush(file_);
  return capture_.text;
}

bool FirstConfiguration::restoreInto(Family& family) {
  const std::string& caught = text();
  if (capture_.linesSeen < capture_.linesWanted || capture_.linesWanted == 0) return false;
  std::size_t position = 0;
  for (auto& [id, member] : family.members) {
    if (!parseGenotypeReportBlock(caught, position, member)) return false;
  }
  return true;
}

bool parseGenotypeReportBlock(const std::string& text, std::size_t& position, Member& member) {
  std::string_view line;
  for (long long i = 0; i < kReportHeaderLines; ++i) {
    if (!nextLine(text, position, line)) return false;
  }
  for (LocusGenotype& g : member.genotypes) {
    if (!nextLine(text, position, line) || !parseLocus(line, g)) return false;
  }
  for (auto i = static_cast<long long>(member.genotypes.size()); i < kMinimumReportLoci; ++i) {
    if (!nextLine(text, position, line) || !line.empty()) return false;
  }
  return true;
}
