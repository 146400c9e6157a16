// The one place through which the program talks to the console.
// Errors, warnings and notes go to standard error prefixed "Haplotor: ";
// standard output carries only what the tool's contract puts there (usage
// text, Mendelian error lines, the block-extension diagnostics).
#pragma once

#include <string_view>

namespace diagnostics {

enum class Level {
  kError,    // the run, or a family, cannot go on as asked
  kWarning,  // input taken in a way the user may not have meant
  kNote,     // information about a limit applied or a choice made
};

// One line "Haplotor: <message>" on standard error.
void report(Level level, std::string_view message);
inline void error(std::string_view message) { report(Level::kError, message); }
inline void warning(std::string_view message) { report(Level::kWarning, message); }
inline void note(std::string_view message) { report(Level::kNote, message); }

// While one is alive, report() prints nothing: for a first reading of an
// input whose problems the second reading reports.
class MutedReports {
 public:
  MutedReports();
  ~MutedReports();
  MutedReports(const MutedReports&) = delete;
  MutedReports& operator=(const MutedReports&) = delete;
};

// Text written as is to standard output (buffered).
void console(std::string_view text);
void flushConsole();

}  // namespace diagnostics
