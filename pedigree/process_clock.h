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

// Processor time of the calling thread alone: a family solved on one of
// several threads is timed without the others' work.
inline ClockReading threadClockMs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<ClockReading>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}
