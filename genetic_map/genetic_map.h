// A genetic map (HAPLOTOR_MAP): centimorgans along each chromosome, read from
// the map files users already have, and the recombination fractions of the
// intervals between markers that follow from it.
//
// Two layouts are read, plain or gzipped, told apart by the column count of
// the first line that is not empty:
//   three columns  `pos chr cM`, a header line first (a first line whose
//                  position is not a number is the header);
//   four columns   `chr id cM bp` (PLINK and linkage maps), no header.
// Columns are separated by spaces or tabs.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

struct MapPoint {
  std::int64_t position = 0;  // base pairs
  double cM = 0;
};

// The points of one chromosome in position order.
using MapChromosome = std::vector<MapPoint>;

class GeneticMap {
 public:
  // Reads `path` (plain text or gzip, through htslib). False with the
  // reason in `problem` (naming the file and, for a line that cannot be
  // used, its number) when the file cannot be read, a line has another
  // column count or a value that is not a number, or positions or
  // centimorgans decrease along a chromosome.
  bool read(const std::string& path, std::string& problem);

  const std::string& fileName() const { return fileName_; }
  // The points of a chromosome; the name matches with or without a "chr"
  // prefix on either side ("20" finds "chr20" and the reverse). Null when
  // the map does not hold it.
  const MapChromosome* find(std::string_view chromosome) const;
  // Data lines of the file (one per marker in a map of a pedigree file).
  std::size_t lineCount() const { return lines_.size(); }
  // Fractions between consecutive data lines in file order (Haldane on the
  // difference of their centimorgans; 0.5 between lines of two chromosomes).
  std::vector<double> lineFractions() const;

 private:
  struct Line {
    std::size_t chromosome;  // index into chromosomes_
    double cM;
  };
  std::string fileName_;
  std::vector<MapChromosome> chromosomes_;  // in the order the file first names them
  std::map<std::string, std::size_t, std::less<>> indexOf_;
  // Names without a "chr" prefix; the first chromosome of each bare name.
  std::map<std::string, std::size_t, std::less<>> bareNames_;
  std::vector<Line> lines_;
};

// Haldane's map function: the recombination fraction over `morgans`.
double haldaneFraction(double morgans);

// The centimorgan of every position by linear interpolation between the
// chromosome's points; before the first point and after the last, linear
// with the rate of the first or last interval of positive length (or with
// `fallbackCmPerMb` when there is none). `points` must not be empty.
std::vector<double> interpolateCm(const MapChromosome& points, const std::vector<std::int64_t>& positions,
                                  double fallbackCmPerMb);

// Fractions of the intervals between consecutive positions (one fewer than
// there are positions): Haldane on the interpolated centimorgans.
std::vector<double> mapFractions(const MapChromosome& points, const std::vector<std::int64_t>& positions,
                                 double fallbackCmPerMb);
