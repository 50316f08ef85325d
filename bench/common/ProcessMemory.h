#pragma once

// The resident memory of this process, as Linux reports it in
// /proc/self/status, for the benchmarks' peak figures.

#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>

namespace kestrava::bench {

// A field of /proc/self/status in MiB: "VmRSS" (now) or "VmHWM" (the peak
// since the start or the last ResetPeakMemory); 0 when there is none.
inline double StatusMb(std::string_view field) {
  std::ifstream status("/proc/self/status");
  const std::string prefix = std::string(field) + ":";
  for (std::string line; std::getline(status, line);)
    if (line.starts_with(prefix)) return std::strtod(line.c_str() + prefix.size(), nullptr) / 1024;
  return 0;
}

// Starts the peak (VmHWM) again from the memory resident now.
inline void ResetPeakMemory() {
  std::ofstream("/proc/self/clear_refs") << "5";
}

}  // namespace kestrava::bench
