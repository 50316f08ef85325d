// `kestrava-cli format` of a 100,000-transaction export (some 39 MB of
// compact JSON in a file) as a process of its own: its wall time and peak
// memory (wait4, the figures /usr/bin/time -v gives), writing the display
// text to standard output (a file) and with --output. The peer, in the same
// run: RapidJSON's parse and pretty-print of the same file to standard
// output, as a process of its own (rapidjson_format).
//
// Five repetitions of each, interleaved at random. After the benchmarks a
// summary gives each CLI run's median time over the peer's (the goal: at
// most 1.0) and its highest peak memory over the peer's (the goal: at most
// 1.0).

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "bench/common/TransactionExport.h"

extern char** environ;

namespace kestrava {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRecords = 100000;

struct Run {
  double seconds = 0;     // wall time, start to end of the process
  double cpuSeconds = 0;  // user and system
  double peakMB = 0;      // the highest resident set
};

// A folder for the benchmark's files, removed at the end.
struct Folder {
  Folder() {
    char name[] = "/tmp/kestrava-bench-format-XXXXXX";
    if (mkdtemp(name) != nullptr) path = name;
  }
  ~Folder() { std::filesystem::remove_all(path); }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  std::filesystem::path path;
};

struct Fixture {
  Folder folder;
  std::string input;  // the export's file
  std::map<std::string, std::vector<Run>> runs;
};

Fixture* fixture = nullptr;

// `argv` as a process, standard output to `stdoutFile`; false when it did
// not end with exit status 0.
bool RunProcess(std::vector<std::string> argv, const std::string& stdoutFile, Run& run) {
  std::vector<char*> pointers;
  for (std::string& a : argv) pointers.push_back(a.data());
  pointers.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, stdoutFile.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = -1;
  const auto begun = Clock::now();
  const int spawned =
      posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, pointers.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return false;
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  run.seconds = std::chrono::duration<double>(Clock::now() - begun).count();
  const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  run.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
  run.peakMB = static_cast<double>(usage.ru_maxrss) / 1024.0;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double FileMB(const std::string& path) {
  struct stat written {};
  stat(path.c_str(), &written);
  return static_cast<double>(written.st_size) / 1e6;
}

// `argv` once per iteration; the text it writes goes to out.<name> in the
// folder: standard output is sent there unless `toFile` (the process is
// told to write that file itself).
void BM_Process(benchmark::State& state, const std::string& name,
                const std::vector<std::string>& argv, bool toFile) {
  const std::string output = (fixture->folder.path / ("out." + name)).string();
  for (auto _ : state) {
    std::remove(output.c_str());
    Run run;
    if (!RunProcess(argv, toFile ? "/dev/null" : output, run)) {
      state.SkipWithError((name + " failed").c_str());
      break;
    }
    state.SetIterationTime(run.seconds);
    fixture->runs[name].push_back(run);
    state.counters["peak_rss_MB"] = run.peakMB;
    state.counters["cpu_s"] = run.cpuSeconds;
    state.counters["output_MB"] = FileMB(output);
  }
}

double Median(std::vector<Run> runs, double Run::*field) {
  if (runs.empty()) return NAN;
  std::sort(runs.begin(), runs.end(),
            [&](const Run& a, const Run& b) { return a.*field < b.*field; });
  return runs[runs.size() / 2].*field;
}

double Highest(const std::vector<Run>& runs) {
  double highest = 0;
  for (const Run& run : runs) highest = std::max(highest, run.peakMB);
  return highest;
}

}  // namespace
}  // namespace kestrava

int main(int argc, char** argv) {
  using namespace kestrava;
  Fixture data;
  fixture = &data;
  data.input = (data.folder.path / "export.json").string();
  std::ofstream(data.input, std::ios::binary) << bench::MakeTransactionExport(kRecords);
  std::printf("input: %d transactions, %.1f MB of compact JSON\n", kRecords, FileMB(data.input));

  // Processes on a shared machine drift: the repetitions of all runs are
  // interleaved, so the peer and the CLI see the same moments.
  std::vector<char*> args(argv, argv + argc);
  std::string interleave = "--benchmark_enable_random_interleaving=true";
  args.insert(args.begin() + 1, interleave.data());
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());

  const std::string output = (data.folder.path / "out.file").string();
  const struct {
    const char* benchmark;
    const char* name;
    std::vector<std::string> argv;
    bool toFile;
  } processes[] = {
      {"peer/rapidjson_parse_pretty_print",
       "rapidjson",
       {KESTRAVA_RAPIDJSON_FORMAT_PATH, data.input},
       false},
      {"cli/format_standard_output", "stdout", {KESTRAVA_CLI_PATH, "format", data.input}, false},
      {"cli/format_output_file",
       "file",
       {KESTRAVA_CLI_PATH, "--output", output, "format", data.input},
       true},
  };
  for (const auto& p : processes) {
    benchmark::RegisterBenchmark(
        p.benchmark, [&p](benchmark::State& s) { BM_Process(s, p.name, p.argv, p.toFile); })
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(1)
        ->Repetitions(5);
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  const auto& peer = data.runs["rapidjson"];
  const double peerTime = Median(peer, &Run::seconds);
  const double peerPeak = Highest(peer);
  std::printf("summary (medians, highest peaks): rapidjson %.2f s (CPU %.2f s), peak RSS %.1f MB\n",
              peerTime, Median(peer, &Run::cpuSeconds), peerPeak);
  for (const char* name : {"stdout", "file"}) {
    const auto& runs = data.runs[name];
    if (runs.empty()) continue;
    const double seconds = Median(runs, &Run::seconds);
    const double peak = Highest(runs);
    std::printf(
        "  format to %-6s %.2f s (CPU %.2f s) = %.2f x rapidjson (goal <= 1.0), peak RSS %.1f MB = "
        "%.2f x rapidjson (goal <= 1.0)\n",
        name, seconds, Median(runs, &Run::cpuSeconds), seconds / peerTime, peak, peak / peerPeak);
  }
  fixture = nullptr;
  return 0;
}
