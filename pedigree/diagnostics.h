// The one place through which the program talks to the console.
// Errors, warnings and notes go to standard error prefixed "Haplotor: ";
// standard output carries only what the tool's contract puts there (usage
// text, Mendelian error lines, the block-extension diagnostics).
#pragma once

#include <string>
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

// Text written as is to standard output (buffered).
void console(std::string_view text);
void flushConsole();

// What one thread sent to the console while a Capture was active.
struct Captured {
  std::string standardOutput;
  std::string standardError;
};

// While a Capture lives, what the calling thread sends to the console (both
// streams) is kept in it instead. Families solved on several threads are
// reported in input order this way.
class Capture {
 public:
  Capture();
  ~Capture();
  Capture(const Capture&) = delete;
  Capture& operator=(const Capture&) = delete;
  // Ends the capture and hands over what it holds.
  Captured take();

 private:
  friend void report(Level, std::string_view);
  friend void console(std::string_view);
  Captured held_;
  Capture* previous_;
  bool active_ = true;
};

// Writes captured text to the console as if it were sent just now.
void release(const Captured& captured);

}  // namespace diagnostics
