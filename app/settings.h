// Reading the settings from the environment.
#pragma once

#include <string>

#include "pedigree/settings.h"

// Reads every HAPLOTOR_* variable the program knows. False, with a message
// naming the variable and what it takes in `problem`, when one is set to a
// value that cannot be used.
bool readSettings(Settings& settings, std::string& problem);
