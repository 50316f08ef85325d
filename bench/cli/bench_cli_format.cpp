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
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "bench/common/Interleaved.h"
#include "bench/common/ProcessRun.h"
#include "bench/common/TempFolder.h"
#include "bench/common/TransactionExport.h"

namespace kestrava {
namespace {

constexpr int kRecords = 100000;

using Run = bench::ProcessRun;

struct Fixture {
  bench::TTempFolder folder{"format"};
  std::string input;  // the export's file
  std::map<std::string, std::vector<Run>> runs;
};

Fixture* fixture = nullptr;

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
    const Run run = bench::RunProcess(argv, toFile ? "/dev/null" : output);
    if (run.exitCode != 0) {
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
  bench::InitializeInterleaved(argc, argv);

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
  const double peerTime = bench::Median(peer, &Run::seconds);
  const double peerPeak = bench::HighestPeak(peer);
  std::printf("summary (medians, highest peaks): rapidjson %.2f s (CPU %.2f s), peak RSS %.1f MB\n",
              peerTime, bench::Median(peer, &Run::cpuSeconds), peerPeak);
  for (const char* name : {"stdout", "file"}) {
    const auto& runs = data.runs[name];
    if (runs.empty()) continue;
    const double seconds = bench::Median(runs, &Run::seconds);
    const double peak = bench::HighestPeak(runs);
    std::printf(
        "  format to %-6s %.2f s (CPU %.2f s) = %.2f x rapidjson (goal <= 1.0), peak RSS %.1f MB = "
        "%.2f x rapidjson (goal <= 1.0)\n",
        name, seconds, bench::Median(runs, &Run::cpuSeconds), seconds / peerTime, peak,
        peak / peerPeak);
  }
  fixture = nullptr;
  return 0;
}
