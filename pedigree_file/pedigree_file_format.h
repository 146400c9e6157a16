// The seven-column format: families read from a pedigree file, their
// configurations written into the "dat", "res" and "out" files named after it
// (its last three characters replaced).
#pragma once

#include <memory>
#include <string>

#include "pedigree/method_needs.h"
#include "pedigree/run_format.h"

std::unique_ptr<RunFormat> pedigreeFileFormat(const std::string& inputName, const MethodNeeds& needs);
