// The store with 100,000 transactions in 2,000 pages of 50, shaped like the
// sandbox's: a first sync into a new store, a second sync of the same pages
// (all unchanged), and the history of all 100,000 streamed to a file. Each
// is timed with its peak memory (VmHWM), and the store's size is compared
// with the compact text of its records (the goal: at most 1.5 times).
//
// The peer, in the same run: the same pages made and parsed, their records'
// compact text written to a file, as an export to a file does after the
// network. A sync's time less the peer's is the store's own share. Three
// repetitions of each, interleaved at random.

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/common/Interleaved.h"
#include "bench/common/ProcessMemory.h"
#include "datetime/DateTime.h"
#include "json/JSON.h"
#include "store/Store.h"

namespace kestrava {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPages = 2000;
constexpr int kPerPage = 50;
constexpr int kAccounts = 4;

// splitmix64, so every run makes the same records.
std::uint64_t Mix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

const char* const kDescriptions[] = {
    "Plată card POS Brașov",
    "Încasare factură FCT-4821",
    "Plată furnizor conform facturii nr. 1733",
    "Transfer între conturi proprii",
    "Comision administrare cont",
    "Salariu și bonus lunar, ștat 2210",
    "Chirie spațiu comercial Sibiu",
    "Abonament telefonie și internet",
};
const char* const kCounterparties[] = {
    "Mega Image SRL",           "Enel Energie Muntenia SA", "Dedeman SRL",
    "Brânzeturi Câmpulung SRL", "Fan Courier Express SRL",  "Primăria Municipiului Constanța",
};

// Page `page` as the service's "result" array: the members, order and
// texts of the sandbox's transactions, over 50 days from 2026-01-01.
std::string PageText(int page) {
  std::string text = "[";
  char record[1024];
  for (int i = 0; i < kPerPage; ++i) {
    const int n = page * kPerPage + i;
    const std::uint64_t r = Mix(static_cast<std::uint64_t>(n));
    const int day = 1 + n / 2000, account = 1 + static_cast<int>(r % kAccounts);
    const int second = static_cast<int>((n % 2000) * 43);
    const long long cents = static_cast<long long>(r % 2'500'000) - 1'250'000;
    const bool credit = cents > 0;
    const int month = 1 + (day - 1) / 31, monthDay = 1 + (day - 1) % 31;
    std::snprintf(
        record, sizeof record,
        "%s{\"transactionId\":\"TRX2026-%02d-%02d-%04d-%02d\",\"accountId\":%d,"
        "\"iban\":\"RO%02dBTRL%016llu\",\"bookingDate\":\"2026-%02d-%02dT%02d:%02d:%02d.%03dZ\","
        "\"valueDate\":\"2026-%02d-%02d\",\"amount\":%s%lld.%02lld,\"currency\":\"RON\","
        "\"creditDebitIndicator\":\"%s\",\"description\":\"%s\",\"counterpartyName\":\"%s\","
        "\"counterpartyIban\":%s}",
        i == 0 ? "" : ",", month, monthDay, n % 2000 + 1, account, account, 10 + account,
        1000000000000000ULL + static_cast<unsigned long long>(account) * 7919ULL, month, monthDay,
        second / 3600, second / 60 % 60, second % 60, static_cast<int>(r % 1000), month, monthDay,
        cents < 0 ? "-" : "", std::llabs(cents) / 100, std::llabs(cents) % 100,
        credit ? "CRDT" : "DBIT", kDescriptions[r % 8], kCounterparties[(r >> 8) % 6],
        r % 3 == 0 ? "null" : "\"RO49RNCB0000123456789012\"");
    text += record;
  }
  return text + "]";
}

const char* const kAccountsText =
    R"([{"accountId":1,"iban":"RO11BTRL1000000000007919","name":"Cont curent în lei","owner":"Țesătoria Bârsei SRL","currency":"RON","bankName":"Banca Transilvania","bic":"BTRLRO22","balance":1234.56,"status":"ACTIVE"},)"
    R"({"accountId":2,"iban":"RO12BTRL1000000000015838","name":"Cont curent în euro","owner":"Țesătoria Bârsei SRL","currency":"EUR","bankName":"Banca Transilvania","bic":"BTRLRO22","balance":99.01,"status":"ACTIVE"},)"
    R"({"accountId":3,"iban":"RO13BTRL1000000000023757","name":"Cont salarii și diurne","owner":"Pâine și Cozonac Tradițional SA","currency":"RON","bankName":"CEC Bank","bic":"CECEROBU","balance":0.10,"status":"ACTIVE"},)"
    R"({"accountId":4,"iban":"RO14BTRL1000000000031676","name":"Cont colector încasări POS","owner":"Pâine și Cozonac Tradițional SA","currency":"RON","bankName":"CEC Bank","bic":"CECEROBU","balance":77.00,"status":"ACTIVE"}])";

const store::TSource kSource{"api.test.kestrava.example", "bench"};
const store::TTimeRange kRange{EncodeDateTime(2026, 1, 1, 0, 0, 0, 0),
                               EncodeDateTime(2026, 2, 20, 0, 0, 0, 0)};

struct Run {
  double seconds = 0;
  double cpuSeconds = 0;  // of the process: a shared machine stretches the wall time
  double peakMB = 0;
};

struct Fixture {
  std::filesystem::path folder;
  std::map<std::string, std::vector<Run>> runs;
  double compactBytes = 0;  // of all records
  double storeBytes = 0;    // of the store after the first sync
  std::string failure;
};

Fixture* fixture = nullptr;

std::string File(const char* name) {
  return (fixture->folder / name).string();
}

void RemoveStore(const std::string& path) {
  for (const char* suffix : {"", "-wal", "-shm", ".lock"}) std::remove((path + suffix).c_str());
}

// Runs `work` timed, its peak memory from a fresh start.
template <class Work>
void Measure(benchmark::State& state, const std::string& name, Work&& work) {
  bench::ResetPeakMemory();
  const std::clock_t cpu = std::clock();
  const auto begun = Clock::now();
  work();
  Run run;
  run.seconds = std::chrono::duration<double>(Clock::now() - begun).count();
  run.cpuSeconds = static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC;
  run.peakMB = bench::StatusMb("VmHWM");
  state.SetIterationTime(run.seconds);
  state.counters["peak_rss_MB"] = run.peakMB;
  fixture->runs[name].push_back(run);
}

// Every page made, parsed and handed to `page`.
template <class PageWork>
void EachPage(PageWork&& page) {
  for (int n = 0; n < kPages; ++n) {
    const std::unique_ptr<TJSONArray> records = AsJSONArray(ParseJSONValue(PageText(n)));
    page(*records);
  }
}

void Sync(const std::string& path) {
  const auto store = store::OpenStore({.Path = path, .Create = true});
  auto session = store->BeginSync(kSource, kRange, store::kAllAccounts);
  session->AddAccounts(*AsJSONArray(ParseJSONValue(kAccountsText)));
  EachPage([&](const TJSONArray& records) { session->AddPage(records); });
  session->Succeed();
}

void BM_Peer(benchmark::State& state) {
  for (auto _ : state) {
    Measure(state, "peer", [] {
      std::FILE* file = std::fopen(File("export.json").c_str(), "wb");
      EachPage([&](const TJSONArray& records) {
        const std::string text = records.ToString();
        std::fwrite(text.data(), 1, text.size(), file);
      });
      std::fclose(file);
    });
  }
}

void BM_FirstSync(benchmark::State& state) {
  const std::string path = File("first.db");
  for (auto _ : state) {
    RemoveStore(path);
    try {
      Measure(state, "first sync", [&] { Sync(path); });
    } catch (const std::exception& e) {
      state.SkipWithError(e.what());
      break;
    }
    struct stat info {};
    stat(path.c_str(), &info);
    fixture->storeBytes = static_cast<double>(info.st_size);
    state.counters["store_MB"] = fixture->storeBytes / 1e6;
  }
}

void BM_SecondSync(benchmark::State& state) {
  const std::string path = File("kept.db");
  for (auto _ : state) {
    try {
      Measure(state, "second sync", [&] { Sync(path); });
    } catch (const std::exception& e) {
      state.SkipWithError(e.what());
      break;
    }
  }
}

void BM_History(benchmark::State& state) {
  const std::string path = File("kept.db");
  for (auto _ : state) {
    std::size_t count = 0;
    Measure(state, "history", [&] {
      const auto store = store::OpenStore({.Path = path});
      std::FILE* file = std::fopen(File("history.ndjson").c_str(), "wb");
      store->History(kSource, {}, [&](std::string_view text) {
        std::fwrite(text.data(), 1, text.size(), file);
        std::fputc('\n', file);
        ++count;
        return true;
      });
      std::fclose(file);
    });
    state.counters["records"] = static_cast<double>(count);
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
  char name[] = "/tmp/kestrava-bench-store-XXXXXX";
  if (mkdtemp(name) == nullptr) return 1;
  data.folder = name;
  fixture = &data;
  bench::InitializeInterleaved(argc, argv);

  // The store the second sync and history read, filled once; and the size
  // of the records' compact text.
  for (int n = 0; n < kPages; ++n)
    data.compactBytes +=
        static_cast<double>(PageText(n).size() - 2 - (kPerPage - 1));  // brackets and commas
  Sync(File("kept.db"));

  const auto add = [](const char* name, auto function) {
    benchmark::RegisterBenchmark(name, function)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(1)
        ->Repetitions(3);
  };
  add("peer/parse_and_write_compact", BM_Peer);
  add("store/first_sync", BM_FirstSync);
  add("store/second_sync_unchanged", BM_SecondSync);
  add("store/history_all", BM_History);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  const auto line = [&](const char* name, const char* goal) {
    const std::vector<Run>& runs = data.runs[name];
    std::printf("  %-12s %5.2f s (CPU %5.2f s), peak RSS %5.1f MB%s\n", name,
                Median(runs, &Run::seconds), Median(runs, &Run::cpuSeconds), Highest(runs), goal);
  };
  std::printf("summary (medians) for %d records in %d pages:\n", kPages * kPerPage, kPages);
  line("peer", "");
  line("first sync", "");
  line("second sync", "");
  line("history", " (goal <= 64)");
  const double peerCpu = Median(data.runs["peer"], &Run::cpuSeconds);
  for (const char* phase : {"first sync", "second sync"})
    std::printf("  the store's own share of the %s: CPU %.2f s\n", phase,
                Median(data.runs[phase], &Run::cpuSeconds) - peerCpu);
  std::printf(
      "  history / peer: %.2f (CPU %.2f)\n",
      Median(data.runs["history"], &Run::seconds) / Median(data.runs["peer"], &Run::seconds),
      Median(data.runs["history"], &Run::cpuSeconds) / peerCpu);
  std::printf("  store %.1f MB for %.1f MB of compact text = %.2f x (goal <= 1.5)\n",
              data.storeBytes / 1e6, data.compactBytes / 1e6, data.storeBytes / data.compactBytes);
  // KESTRAVA_BENCH_KEEP keeps the stores for a look with sqlite3.
  if (!std::getenv("KESTRAVA_BENCH_KEEP")) std::filesystem::remove_all(data.folder);
  fixture = nullptr;
  return 0;
}
