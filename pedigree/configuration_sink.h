// Where a method hands what it found for a family. A method fills the
// family's records (alleles in paternal/maternal order where resolved, the
// sources, the recombinant count) and passes the family here once per
// configuration; it never formats result text itself. The formats' writers
// (the seven-column result files, the phased VCF) are sinks.
#pragma once

#include "pedigree/family.h"

class ConfigurationSink {
 public:
  virtual ~ConfigurationSink() = default;
  // One configuration: the family's records as they stand now.
  virtual void configuration(Family& family) = 0;
  // The family is beyond the size the method takes; nothing else comes for it.
  virtual void tooBig(const Family& family) = 0;
  // The method proved that the family has no configuration of its kind.
  virtual void noSolution(const Family& family) = 0;
};
