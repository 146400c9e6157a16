#include "genetic_map/genetic_map.h"

#include <htslib/bgzf.h>
#include <htslib/hts_log.h>
#include <htslib/kstring.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>

namespace {

std::vector<std::string_view> columnsOf(std::string_view line) {
  std::vector<std::string_view> columns;
  std::size_t pos = 0;
  while (true) {
    pos = line.find_first_not_of(" \t\r", pos);
    if (pos == std::string_view::npos) break;
    const std::size_t end = std::min(line.find_first_of(" \t\r", pos), line.size());
    columns.push_back(line.substr(pos, end - pos));
    pos = end;
  }
  return columns;
}

bool parsePosition(std::string_view field, std::int64_t& value) {
  const char* end = field.data() + field.size();
  const auto [stop, error] = std::from_chars(field.data(), end, value);
  return error == std::errc() && stop == end;
}

bool parseCm(std::string_view field, double& value) {
  const char* end = field.data() + field.size();
  const auto [stop, error] = std::from_chars(field.data(), end, value);
  return error == std::errc() && stop == end && std::isfinite(value);
}

// The name without a leading "chr" (any case), so "20" and "chr20" meet.
std::string_view bareName(std::string_view name) {
  if (name.size() > 3 && (name[0] == 'c' || name[0] == 'C') && (name[1] == 'h' || name[1] == 'H') &&
      (name[2] == 'r' || name[2] == 'R')) {
    name.remove_prefix(3);
  }
  return name;
}

// A line buffer of htslib's, freed at the end.
struct LineBuffer {
  LineBuffer() = default;
  LineBuffer(const LineBuffer&) = delete;
  LineBuffer& operator=(const LineBuffer&) = delete;
  ~LineBuffer() { ks_free(&s); }
  kstring_t s = KS_INITIALIZE;
};

struct BgzfCloser {
  void operator()(BGZF* file) const { bgzf_close(file); }
};

// cM per base pair of the first (or, from the back, the last) interval of
// positive length; `fallback` when every point shares one position.
double endRate(const MapChromosome& points, bool fromBack, double fallback) {
  for (std::size_t k = 0; k + 1 < points.size(); ++k) {
    const std::size_t i = fromBack ? points.size() - 2 - k : k;
    const std::int64_t length = points[i + 1].position - points[i].position;
    if (length > 0) return (points[i + 1].cM - points[i].cM) / static_cast<double>(length);
  }
  return fallback;
}

}  // namespace

double haldaneFraction(double morgans) { return 0.5 * (1.0 - std::exp(-2.0 * morgans)); }

bool GeneticMap::read(const std::string& path, std::string& problem) {
  *this = GeneticMap();
  fileName_ = path;
  const std::string name = "genetic map '" + path + "'";
  // htslib's own messages stay off: the problem is reported in the run's words.
  hts_set_log_level(HTS_LOG_OFF);
  errno = 0;
  std::unique_ptr<BGZF, BgzfCloser> file(bgzf_open(path.c_str(), "r"));
  if (file == nullptr) {
    problem = "cannot open " + name + ": " + std::strerror(errno != 0 ? errno : EIO);
    return false;
  }
  LineBuffer text;
  std::size_t columnCount = 0;  // of the file's layout, once known
  std::size_t chromosomeColumn = 0, cmColumn = 0, positionColumn = 0;
  for (long lineNumber = 1;; ++lineNumber) {
    errno = 0;
    const int got = bgzf_getline(file.get(), '\n', &text.s);
    if (got == -1) break;
    if (got < -1) {
      const std::string after = " after line " + std::to_string(lineNumber - 1);
      problem = errno != 0 && errno != EIO ? "cannot read " + name + after + ": " + std::strerror(errno)
                                           : name + " is damaged or cut short" + after;
      return false;
    }
    const std::vector<std::string_view> columns = columnsOf(std::string_view(text.s.s, text.s.l));
    if (columns.empty()) continue;
    const std::string where = name + ", line " + std::to_string(lineNumber) + ": ";
    if (columnCount == 0) {
      columnCount = columns.size();
      if (columnCount == 3) {
        positionColumn = 0, chromosomeColumn = 1, cmColumn = 2;
        std::int64_t position = 0;
        if (!parsePosition(columns[0], position)) continue;  // the header
      } else if (columnCount == 4) {
        chromosomeColumn = 0, cmColumn = 2, positionColumn = 3;
      } else {
        problem = where + std::to_string(columnCount) +
                  " columns; a map has 3 (pos chr cM, after a header line) or 4 (chr id cM bp)";
        return false;
      }
    }
    if (columns.size() != columnCount) {
      problem = where + std::to_string(columns.size()) + " columns where the map has " +
                std::to_string(columnCount);
      return false;
    }
    MapPoint point;
    if (!parsePosition(columns[positionColumn], point.position)) {
      problem = where + "the position '" + std::string(columns[positionColumn]) + "' is not a whole number";
      return false;
    }
    if (!parseCm(columns[cmColumn], point.cM)) {
      problem = where + "the centimorgan value '" + std::string(columns[cmColumn]) + "' is not a number";
      return false;
    }
    const std::string_view chromosome = columns[chromosomeColumn];
    auto [known, added] = indexOf_.try_emplace(std::string(chromosome), chromosomes_.size());
    if (added) {
      chromosomes_.emplace_back();
      bareNames_.try_emplace(std::string(bareName(chromosome)), known->second);
    }
    MapChromosome& points = chromosomes_[known->second];
    if (!points.empty() && point.position < points.back().position) {
      problem = where + "the map is not sorted: on chromosome " + std::string(chromosome) + " position " +
                std::string(columns[positionColumn]) + " comes after " +
                std::to_string(points.back().position);
      return false;
    }
    if (!points.empty() && point.cM < points.back().cM) {
      problem = where + "the map is not sorted: on chromosome " + std::string(chromosome) + " " +
                std::string(columns[cmColumn]) + " cM comes after a larger value";
      return false;
    }
    points.push_back(point);
    lines_.push_back(Line{known->second, point.cM});
  }
  if (lines_.empty()) {
    problem = name + " holds no map line";
    return false;
  }
  return true;
}

const MapChromosome* GeneticMap::find(std::string_view chromosome) const {
  if (const auto exact = indexOf_.find(chromosome); exact != indexOf_.end())
    return &chromosomes_[exact->second];
  const auto bare = bareNames_.find(bareName(chromosome));
  return bare == bareNames_.end() ? nullptr : &chromosomes_[bare->second];
}

std::vector<double> GeneticMap::lineFractions() const {
  std::vector<double> fractions;
  for (std::size_t i = 1; i < lines_.size(); ++i) {
    const Line& left = lines_[i - 1];
    const Line& right = lines_[i];
    fractions.push_back(left.chromosome != right.chromosome ? 0.5
                                                            : haldaneFraction((right.cM - left.cM) / 100.0));
  }
  return fractions;
}

std::vector<double> interpolateCm(const MapChromosome& points, const std::vector<std::int64_t>& positions,
                                  double fallbackCmPerMb) {
  const double fallback = fallbackCmPerMb / 1e6;
  const double firstRate = endRate(points, false, fallback);
  const double lastRate = endRate(points, true, fallback);
  std::vector<double> cM;
  cM.reserve(positions.size());
  for (const std::int64_t position : positions) {
    // The first point beyond the position: the position lies at or after
    // the one before it.
    const auto after =
        std::upper_bound(points.begin(), points.end(), position,
                         [](std::int64_t p, const MapPoint& point) { return p < point.position; });
    if (after == points.begin()) {
      cM.push_back(points.front().cM - static_cast<double>(points.front().position - position) * firstRate);
    } else if (after == points.end()) {
      cM.push_back(points.back().cM + static_cast<double>(position - points.back().position) * lastRate);
    } else {
      const MapPoint& left = *(after - 1);
      const double share = static_cast<double>(position - left.position) /
                           static_cast<double>(after->position - left.position);
      cM.push_back(left.cM + share * (after->cM - left.cM));
    }
  }
  return cM;
}

std::vector<double> mapFractions(const MapChromosome& points, const std::vector<std::int64_t>& positions,
                                 double fallbackCmPerMb) {
  const std::vector<double> cM = interpolateCm(points, positions, fallbackCmPerMb);
  std::vector<double> fractions;
  for (std::size_t i = 1; i < cM.size(); ++i)
    fractions.push_back(haldaneFraction((cM[i] - cM[i - 1]) / 100.0));
  return fractions;
}
