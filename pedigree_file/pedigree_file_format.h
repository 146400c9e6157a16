// The seven-column format: families read from a pedigree file, their
// configurations written into the "dat", "res" and "out" files named after it
// (its last three characters replaced).
#pragma once

#include <memory>
#include <string>

#include "genetic_map/genetic_map.h"
#include "pedigree/method_needs.h"
#include "pedigree/run_format.h"

// With a genetic map (one line per marker, in marker order) the interval
// fractions are those of consecutive map lines; the map's line count must be
// the marker count of the file's first line, which open() checks before any
// result file is touched. `map` must outlive the format. `xLinked`: every
// family's markers are X-linked.
std::unique_ptr<RunFormat> pedigreeFileFormat(const std::string& inputName, const MethodNeeds& needs,
                                              const GeneticMap* map = nullptr, bool xLinked = false);
