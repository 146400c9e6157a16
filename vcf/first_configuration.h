// Catches the first configuration a method writes for a family. The methods
// that write every optimal configuration (constraint finding, member-based
// DP) leave the last one in the family's genotypes; the VCF carries the
// first. Its genotype report ("dat" text: per member three header lines,
// then one line per locus, "a|b(s,t)" phased or "a b" not, padded to ten)
// is kept as it is written, and read back into the family afterwards.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "pedigree/family.h"
#include "pedigree/text_sink.h"

class FirstConfiguration {
 public:
  explicit FirstConfiguration(const Family& family);
  ~FirstConfiguration();
  FirstConfiguration(const FirstConfiguration&) = delete;
  FirstConfiguration& operator=(const FirstConfiguration&) = delete;

  // The sink to hand to the method as its genotype report.
  TextSink& sink() { return *sink_; }
  // A file that swallows everything written to it, for the reports not kept.
  std::FILE* discardFile() { return nullFile(); }
  static std::FILE* nullFile();

  // Writes the caught configuration into the family's genotypes; false when
  // the method wrote no complete configuration.
  bool restoreInto(Family& family);

  // The caught text (for tests).
  const std::string& text();

 private:
  struct Capture {
    std::string text;
    long long linesWanted = 0;
    long long linesSeen = 0;
  };
  static ssize_t keep(void* cookie, const char* data, std::size_t size);

  Capture capture_;
  std::FILE* file_ = nullptr;
  std::unique_ptr<TextSink> sink_;
};

// Parses one member's block of a genotype report into its genotypes (which
// must already have the family's locus count); false on text that is not a
// report block. `position` moves past the block.
bool parseGenotypeReportBlock(const std::string& text, std::size_t& position, Member& member);
