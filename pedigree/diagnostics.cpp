#include "pedigree/diagnostics.h"

#include <cstdio>
#include <string>

namespace diagnostics {

namespace {
int mutedDepth = 0;
}  // namespace

MutedReports::MutedReports() { ++mutedDepth; }
MutedReports::~MutedReports() { --mutedDepth; }

void report(Level, std::string_view message) {
  if (mutedDepth > 0) return;
  std::fflush(stdout);
  std::string line = "Haplotor: ";
  line.append(message);
  line.push_back('\n');
  std::fwrite(line.data(), 1, line.size(), stderr);
}

void console(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); }

void flushConsole() { std::fflush(stdout); }

}  // namespace diagnostics
