// kestrava-cli's local store against its own export, each a process of its
// own, over 100,000 transactions (2,000 pages of 50) from the sandbox on
// loopback (a process of its own, its clock stopped at its start):
//   - the peer: transactions --format compact --output FILE of the range;
//   - a first sync of the range into a new store;
//   - a second sync of the same range, every record unchanged;
//   - history transactions --format csv --output FILE of all of them, from
//     the store alone.
// Five repetitions of each, interleaved at random. The summary gives each
// run's median time over the export's, the highest peak memory, and the
// store's size over the compact text of its records. The goals: a first
// and a second sync at most 1.3 x the export, history at most 0.25 x; peak
// RSS at most 64 MB; the store at most 1.5 x the compact text.

#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bench/common/Interleaved.h"
#include "bench/common/ProcessRun.h"
#include "bench/common/SandboxProcess.h"
#include "bench/common/TempFolder.h"
#include "datetime/DateTime.h"
#include "datetime/FormatSettings.h"
#include "sandbox/CivilTime.h"
#include "sandbox/SandboxService.h"

namespace kestrava {
namespace {

constexpr int kTransactionsPerDay = 2000;
constexpr int kDays = 50;
constexpr long long kRecords = 100'000;

using Run = bench::ProcessRun;

sandbox::DataScale Scale() {
  sandbox::DataScale scale;
  scale.transactionsPerDay = kTransactionsPerDay;
  scale.days = kDays + 3;
  return scale;
}

struct Fixture {
  bench::TSandboxProcess sandbox{Scale(), sandbox::LocalNow()};
  bench::TTempFolder folder{"sync"};
  std::string from, to;  // the range; `to` lies after the sandbox's now
  long long records = 0;
  std::string db = (folder.path / "bench.db").string();
  std::map<std::string, std::vector<Run>> runs;
  std::string failure;
};

Fixture* fixture = nullptr;

std::string ReadWhole(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

std::uintmax_t SizeOf(const std::string& path) {
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  return error ? 0 : size;
}

// kestrava-cli with the store and `args`; false (with the failure kept)
// when it fails.
bool RunCli(const std::vector<std::string>& args, Run& run) {
  std::vector<std::string> argv = {KESTRAVA_CLI_PATH, "--host", fixture->sandbox.Host(), "--db",
                                   fixture->db};
  argv.insert(argv.end(), args.begin(), args.end());
  const std::string out = (fixture->folder.path / "cli.out").string();
  const std::string err = (fixture->folder.path / "cli.err").string();
  run = bench::RunProcess(std::move(argv), out, err);
  if (run.exitCode == 0) return true;
  fixture->failure = ReadWhole(err);
  return false;
}

void RemoveStore() {
  for (const char* end : {"", "-wal", "-shm", ".lock"}) std::remove((fixture->db + end).c_str());
}

void Measure(benchmark::State& state, const std::string& name, const std::vector<std::string>& args,
             bool freshStore) {
  for (auto _ : state) {
    if (freshStore) RemoveStore();
    Run run;
    if (!RunCli(args, run)) {
      state.SkipWithError(("kestrava-cli failed: " + fixture->failure).c_str());
      break;
    }
    state.SetIterationTime(run.seconds);
    state.counters["peak_rss_MB"] = run.peakMB;
    fixture->runs[name].push_back(run);
  }
}

std::string TimeText(TDateTime value) {
  return FormatDateTime("yyyy-mm-dd\"T\"hh:nn", value, TFormatSettings{});
}

}  // namespace
}  // namespace kestrava

int main(int argc, char** argv) {
  using namespace kestrava;
  Fixture data;  // the sandbox process starts before anything else
  fixture = &data;
  bench::InitializeInterleaved(argc, argv);
  setenv("SSL_CERT_FILE", data.sandbox.CaFile().c_str(), 1);
  setenv("KESTRAVA_CLIENT_ID", sandbox::kDefaultClientId, 1);
  setenv("KESTRAVA_CLIENT_SECRET", sandbox::kDefaultClientSecret, 1);

  // The range ends after the sandbox's now, so a sync (which ends at the
  // program's now) reads the same records; it starts where 100,000 are
  // left, found by the compact export itself.
  const TDateTime now = Now();
  data.to = TimeText(IncHour(now, 24));
  const std::string compact = (data.folder.path / "export.json").string();
  long long hoursBack = 24 * kDays;
  for (int step = 0; step < 8; ++step) {
    data.from = TimeText(IncHour(now, -hoursBack));
    Run run;
    if (!RunCli({"--format", "ndjson", "--output", compact, "transactions", "--from", data.from,
                 "--to", data.to},
                run)) {
      std::fprintf(stderr, "export failed: %s\n", data.failure.c_str());
      return 1;
    }
    // Counted piece by piece: a child's peak memory starts at this
    // process's (Linux keeps it across exec), so this one stays small.
    std::size_t lines = 0;
    std::ifstream file(compact, std::ios::binary);
    std::vector<char> piece(1 << 16);
    while (file.read(piece.data(), static_cast<std::streamsize>(piece.size())) || file.gcount() > 0)
      lines +=
          static_cast<std::size_t>(std::count(piece.data(), piece.data() + file.gcount(), '\n'));
    data.records = static_cast<long long>(lines);
    if (std::llabs(data.records - kRecords) <= kRecords / 200) break;
    // The records are spread evenly enough over the days to home in fast.
    hoursBack = hoursBack * kRecords / std::max<long long>(data.records, 1);
  }
  std::printf("range %s to %s: %lld transactions\n", data.from.c_str(), data.to.c_str(),
              data.records);

  const std::vector<std::string> exportArgs = {"--format", "compact",      "--output",
                                               compact,    "transactions", "--from",
                                               data.from,  "--to",         data.to};
  const std::vector<std::string> syncArgs = {"sync", "--from", data.from};
  const std::string csv = (data.folder.path / "history.csv").string();
  const std::vector<std::string> historyArgs = {"--format", "csv",     "--output",
                                                csv,        "history", "transactions"};
  // The store the second sync and history read.
  Run first;
  RemoveStore();
  if (!RunCli(syncArgs, first)) {
    std::fprintf(stderr, "sync failed: %s\n", data.failure.c_str());
    return 1;
  }
  std::printf("%s", ReadWhole((data.folder.path / "cli.out").string()).c_str());

  const auto add = [](const char* name, auto function) {
    benchmark::RegisterBenchmark(name, function)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(1)
        ->Repetitions(5);
  };
  const std::string firstStore = (data.folder.path / "first.db").string();
  add("peer/transactions_compact_output_file",
      [&](benchmark::State& s) { Measure(s, "export", exportArgs, false); });
  add("store/first_sync", [&](benchmark::State& s) {
    // A store of its own, so that the others keep theirs.
    const std::string kept = data.db;
    data.db = firstStore;
    Measure(s, "first sync", syncArgs, true);
    data.db = kept;
  });
  add("store/second_sync_unchanged",
      [&](benchmark::State& s) { Measure(s, "second sync", syncArgs, false); });
  add("store/history_csv_output_file",
      [&](benchmark::State& s) { Measure(s, "history csv", historyArgs, false); });
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  const double peer = bench::Median(data.runs["export"], &Run::seconds);
  std::printf("summary (medians): transactions --format compact --output %.2f s\n", peer);
  const struct {
    const char* name;
    double goal;
  } goals[] = {{"first sync", 1.3}, {"second sync", 1.3}, {"history csv", 0.25}};
  for (const auto& goal : goals) {
    const auto& runs = data.runs[goal.name];
    if (runs.empty()) continue;
    const double seconds = bench::Median(runs, &Run::seconds);
    std::printf(
        "  %-12s %.2f s = %.2f x the export (goal <= %.2f), peak RSS %.1f MB (goal <= 64)\n",
        goal.name, seconds, seconds / peer, goal.goal, bench::HighestPeak(runs));
  }
  const std::uintmax_t text = SizeOf(compact);
  const std::uintmax_t store = SizeOf(data.db) + SizeOf(data.db + "-wal");
  std::printf("  store %.1f MB = %.2f x the compact text's %.1f MB (goal <= 1.5)\n", store / 1e6,
              static_cast<double>(store) / static_cast<double>(text), text / 1e6);
  fixture = nullptr;
  return 0;
}
