#include "bench/common/ProcessRun.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>

extern char** environ;

namespace kestrava::bench {

ProcessRun RunProcess(std::vector<std::string> argv, const std::string& stdoutFile,
                      const std::string& stderrFile) {
  std::vector<char*> pointers;
  for (std::string& a : argv) pointers.push_back(a.data());
  pointers.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, stdoutFile.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (!stderrFile.empty())
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, stderrFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = -1;
  const auto begun = std::chrono::steady_clock::now();
  const int spawned =
      posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, pointers.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ProcessRun run;
  if (spawned != 0) return run;
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
  const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  run.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
  run.peakMB = static_cast<double>(usage.ru_maxrss) / 1024.0;
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

double Median(std::vector<ProcessRun> runs, double ProcessRun::*field) {
  if (runs.empty()) return NAN;
  std::sort(runs.begin(), runs.end(),
            [&](const ProcessRun& a, const ProcessRun& b) { return a.*field < b.*field; });
  return runs[runs.size() / 2].*field;
}

double HighestPeak(const std::vector<ProcessRun>& runs) {
  double highest = 0;
  for (const ProcessRun& run : runs) highest = std::max(highest, run.peakMB);
  return highest;
}

}  // namespace kestrava::bench
