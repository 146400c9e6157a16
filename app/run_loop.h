// The one run loop of every method and both formats: open the format, go
// through its segments (a seven-column file, a VCF's chromosomes), let the
// method learn from a first reading where it needs one, hand every checked
// family to a pool of solving threads in the order the method needs, and
// close the results.
#pragma once

#include <memory>
#include <string>

#include "app/methods.h"
#include "pedigree/run_format.h"
#include "pedigree/settings.h"

// Runs `method` over `format`; returns the process exit status (0 after a
// completed run, 1 after a fatal input/output error, which is reported on
// standard error).
int runMethod(const Method& method, const Settings& settings, const std::string& inputName,
              RunFormat& format);
