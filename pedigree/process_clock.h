// The process clock of the run reports: readings in milliseconds of processor
// time, printed as seconds (count x 0.001).
#pragma once

#include <cstdint>
#include <ctime>

using ClockReading = std::int64_t;

inline ClockReading processClockMs() {
  return static_cast<ClockReading>(std::clock()) * 1000 / CLOCKS_PER_SEC;
}

inline double clockSecondsBetween(ClockReading start, ClockReading end) {
  return static_cast<double>(end - start) * 0.001;
}
