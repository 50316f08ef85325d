#pragma once

// A program run to its end as a process of its own, with the figures
// /usr/bin/time -v gives for it (wait4), for the benchmarks that measure
// whole programs; and the summaries of several runs.

#include <string>
#include <vector>

namespace kestrava::bench {

struct ProcessRun {
  double seconds = 0;     // wall time, from the start to the end of the process
  double cpuSeconds = 0;  // user and system
  double peakMB = 0;      // the highest resident set
  int exitCode = -1;      // -1: not started, or ended by a signal
};

// Runs `argv` (argv[0]: the program's path) with this process's
// environment, standard output to `stdoutFile` and standard error to
// `stderrFile` (none: this process's), both made anew.
ProcessRun RunProcess(std::vector<std::string> argv, const std::string& stdoutFile,
                      const std::string& stderrFile = "");

// The median of a field of the runs (NaN for none), and the highest peak.
double Median(std::vector<ProcessRun> runs, double ProcessRun::*field);
double HighestPeak(const std::vector<ProcessRun>& runs);

}  // namespace kestrava::bench
