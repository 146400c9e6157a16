#include "pedigree/diagnostics.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

namespace diagnostics {

namespace {

bool consoleFailed = false;
thread_local Capture* currentCapture = nullptr;

// Bytes taken from an input file may be anything; a control byte copied raw
// would corrupt the terminal or the log, so it is written as \xNN.
void appendEscaped(std::string& line, std::string_view message) {
  static const char kHex[] = "0123456789abcdef";
  for (const char c : message) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) {
      line.append("\\x").push_back(kHex[byte >> 4]);
      line.push_back(kHex[byte & 15]);
    } else {
      line.push_back(c);
    }
  }
}

// Standard output only carries reports of the run; when it cannot be written
// (a closed pipe, a full disk) the run goes on and its result files are still
// written whole. The failure is said once.
void noteConsoleFailure(int error) {
  if (consoleFailed) return;
  consoleFailed = true;
  std::string line = "Haplotor: cannot write to standard output: ";
  line.append(std::strerror(error)).append("; the run goes on and its result files are written\n");
  std::fwrite(line.data(), 1, line.size(), stderr);
}

void writeStandardOutput(std::string_view text) {
  if (consoleFailed) return;
  errno = 0;
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size())
    noteConsoleFailure(errno ? errno : EIO);
}

void flushStandardOutput() {
  if (consoleFailed) return;
  errno = 0;
  if (std::fflush(stdout) != 0) noteConsoleFailure(errno ? errno : EIO);
}

void writeStandardError(std::string_view text) {
  flushStandardOutput();
  std::fwrite(text.data(), 1, text.size(), stderr);
}

}  // namespace

void report(Level, std::string_view message) {
  std::string line = "Haplotor: ";
  appendEscaped(line, message);
  line.push_back('\n');
  if (currentCapture != nullptr) {
    currentCapture->held_.standardError += line;
  } else {
    writeStandardError(line);
  }
}

void console(std::string_view text) {
  if (currentCapture != nullptr) {
    currentCapture->held_.standardOutput += text;
  } else {
    writeStandardOutput(text);
  }
}

void flushConsole() {
  if (currentCapture == nullptr) flushStandardOutput();
}

Capture::Capture() : previous_(currentCapture) { currentCapture = this; }

Capture::~Capture() { take(); }

Captured Capture::take() {
  if (active_) {
    active_ = false;
    currentCapture = previous_;
  }
  return std::move(held_);
}

void release(const Captured& captured) {
  if (!captured.standardOutput.empty()) writeStandardOutput(captured.standardOutput);
  if (!captured.standardError.empty()) writeStandardError(captured.standardError);
}

}  // namespace diagnostics
