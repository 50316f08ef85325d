// kestrava-cli exporting 100,000 transactions (2,000 pages of 50) from the
// sandbox on loopback (in a process of its own), as a process of its own: its wall time and peak
// memory (wait4) writing with --output in display, csv and xlsx, and writing
// the display text to standard output (held until the export is complete).
// The peer, in the same run: a plain libcurl loop that signs in, downloads
// the same pages over one kept connection and writes the raw bodies to a
// file.
//
// Five repetitions of each, interleaved at random. After the benchmarks a
// summary gives each CLI run's median time over the loop's (the goal: at
// most 2.0 with --output) and its highest peak memory (the goal: at most
// 64 MB with --output); and the workbook's median time over the same
// export in csv (the goal: at most 2.5).

#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
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

using Clock = std::chrono::steady_clock;

// 2,000 transactions a day: some 50 days hold 100,000, 2,000 pages.
constexpr int kTransactionsPerDay = 2000;
constexpr int kDays = 50;
constexpr long long kPages = 2000;

using Run = bench::ProcessRun;

sandbox::DataScale Scale() {
  sandbox::DataScale scale;
  scale.transactionsPerDay = kTransactionsPerDay;
  scale.days = kDays + 3;
  return scale;
}

struct Fixture {
  bench::TSandboxProcess sandbox{Scale(), sandbox::LocalNow()};
  bench::TTempFolder folder{"cli"};
  std::string from, to;  // whole days, as the CLI takes them
  std::map<std::string, std::vector<Run>> runs;
  std::string failure;
};

Fixture* fixture = nullptr;

std::string DayText(TDateTime day) {
  return FormatDateTime("yyyy-mm-dd\"T\"hh:nn", day, TFormatSettings{});
}

// The service's form of the same range.
std::string QueryTime(const std::string& cliTime) {
  return cliTime + ":00.000Z";
}

std::string ReadWhole(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// kestrava-cli with `args`, standard output to `stdoutFile`.
Run RunCli(const std::vector<std::string>& args, const std::string& stdoutFile, int& exitCode) {
  std::vector<std::string> argv = {KESTRAVA_CLI_PATH, "--host", fixture->sandbox.Host()};
  argv.insert(argv.end(), args.begin(), args.end());
  const std::string errFile = (fixture->folder.path / "cli.err").string();
  const Run run = bench::RunProcess(std::move(argv), stdoutFile, errFile);
  exitCode = run.exitCode;
  if (exitCode != 0) fixture->failure = ReadWhole(errFile);
  return run;
}

void Record(benchmark::State& state, const std::string& name, const Run& run,
            const std::string& output) {
  state.SetIterationTime(run.seconds);
  fixture->runs[name].push_back(run);
  if (run.peakMB > 0) state.counters["peak_rss_MB"] = run.peakMB;
  struct stat written {};
  stat(output.c_str(), &written);
  state.counters["output_MB"] = static_cast<double>(written.st_size) / 1e6;
}

void BM_Cli(benchmark::State& state, const std::string& name, const std::string& format,
            bool toFile) {
  const std::string output = (fixture->folder.path / ("out." + format)).string();
  const std::string devNull = "/dev/null";
  for (auto _ : state) {
    std::vector<std::string> args = {"--format", format};
    if (toFile) args.insert(args.end(), {"--output", output});
    args.insert(args.end(), {"transactions", "--from", fixture->from, "--to", fixture->to});
    std::remove(output.c_str());
    int exitCode = 0;
    const Run run = RunCli(args, toFile ? devNull : output, exitCode);
    if (exitCode != 0) {
      state.SkipWithError(("kestrava-cli failed: " + fixture->failure).c_str());
      break;
    }
    Record(state, name, run, output);
  }
}

std::size_t ToFile(char* data, std::size_t size, std::size_t count, void* file) {
  return std::fwrite(data, size, count, static_cast<std::FILE*>(file)) * size;
}

std::size_t ToText(char* data, std::size_t size, std::size_t count, void* text) {
  static_cast<std::string*>(text)->append(data, size * count);
  return size * count;
}

// The number after `"name":` in a JSON text, or -1.
long long NumberAfter(const std::string& text, const std::string& name) {
  const std::size_t at = text.find("\"" + name + "\":");
  if (at == std::string::npos) return -1;
  return std::atoll(text.c_str() + at + name.size() + 3);
}

// Plain libcurl: one easy handle, so one kept connection.
class CurlSession {
 public:
  CurlSession() : curl_(curl_easy_init()) {
    curl_easy_setopt(curl_, CURLOPT_CAINFO, fixture->sandbox.CaFile().c_str());
  }
  ~CurlSession() {
    curl_slist_free_all(headers_);
    curl_easy_cleanup(curl_);
  }
  CurlSession(const CurlSession&) = delete;
  CurlSession& operator=(const CurlSession&) = delete;

  bool SignIn() {
    const std::string body = std::string(R"({"grant_type":"client_credentials","client_id":")") +
                             sandbox::kDefaultClientId + R"(","client_secret":")" +
                             sandbox::kDefaultClientSecret + "\"}";
    SetHeader("Content-Type: application/json");
    curl_easy_setopt(curl_, CURLOPT_URL, (Base() + sandbox::kTokenPath).c_str());
    curl_easy_setopt(curl_, CURLOPT_POSTFIELDS, body.c_str());
    std::string reply;
    if (!Perform(ToText, &reply)) return false;
    const std::size_t at = reply.find("\"accessToken\":\"") + 15;
    SetHeader("Authorization: Bearer " + reply.substr(at, reply.find('"', at) - at));
    curl_easy_setopt(curl_, CURLOPT_HTTPGET, 1L);
    return true;
  }
  // Page `page` of the range, its body to `write` with `sink`.
  bool Page(const std::string& from, const std::string& to, long long page,
            curl_write_callback write, void* sink) {
    const std::string url = Base() + sandbox::kTransactionsPath + "?startDate=" + QueryTime(from) +
                            "&endDate=" + QueryTime(to) + "&pageNumber=" + std::to_string(page) +
                            "&pageSize=50";
    curl_easy_setopt(curl_, CURLOPT_URL, url.c_str());
    return Perform(write, sink);
  }

 private:
  static std::string Base() { return "https://" + fixture->sandbox.Host(); }
  void SetHeader(const std::string& header) {
    curl_slist_free_all(headers_);
    headers_ = curl_slist_append(nullptr, header.c_str());
    curl_easy_setopt(curl_, CURLOPT_HTTPHEADER, headers_);
  }
  bool Perform(curl_write_callback write, void* sink) {
    curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, write);
    curl_easy_setopt(curl_, CURLOPT_WRITEDATA, sink);
    return curl_easy_perform(curl_) == CURLE_OK;
  }
  CURL* curl_;
  curl_slist* headers_ = nullptr;
};

// The pages of a range, from its first page.
long long PagesOf(const std::string& from, const std::string& to) {
  CurlSession session;
  std::string reply;
  if (!session.SignIn() || !session.Page(from, to, 0, ToText, &reply)) return -1;
  return NumberAfter(reply, "totalPages");
}

void BM_PlainCurlLoop(benchmark::State& state) {
  const std::string output = (fixture->folder.path / "raw-pages").string();
  for (auto _ : state) {
    const auto begun = Clock::now();
    {
      CurlSession session;
      std::FILE* file = std::fopen(output.c_str(), "wb");
      std::string first;
      bool read = session.SignIn() && session.Page(fixture->from, fixture->to, 0, ToText, &first);
      std::fwrite(first.data(), 1, first.size(), file);
      const long long pages = NumberAfter(first, "totalPages");
      for (long long page = 1; read && page < pages; ++page)
        read = session.Page(fixture->from, fixture->to, page, ToFile, file);
      std::fclose(file);
      if (!read) {
        state.SkipWithError("download failed");
        break;
      }
      state.counters["pages"] = static_cast<double>(pages);
    }
    Run run;  // its memory is the benchmark's, the sandbox's included: not shown
    run.seconds = std::chrono::duration<double>(Clock::now() - begun).count();
    Record(state, "curl", run, output);
  }
}

}  // namespace
}  // namespace kestrava

int main(int argc, char** argv) {
  using namespace kestrava;
  Fixture data;  // the sandbox process starts before anything else
  fixture = &data;
  // Loopback timings on a shared machine drift: the repetitions of all
  // runs are interleaved, so the loop and the CLI see the same moments.
  bench::InitializeInterleaved(argc, argv);
  curl_global_init(CURL_GLOBAL_DEFAULT);
  // Whole days up to yesterday, begun an hour earlier at a time until they
  // hold 2,000 pages.
  const TDateTime today = static_cast<double>(static_cast<long long>(Now()));
  data.to = DayText(today - 1);
  long long pages = 0;
  for (int hours = 0; hours < 24 * 5 && pages < kPages; ++hours) {
    data.from = DayText(IncHour(today - (kDays + 1), -hours));
    pages = PagesOf(data.from, data.to);
  }
  setenv("SSL_CERT_FILE", data.sandbox.CaFile().c_str(), 1);
  setenv("KESTRAVA_CLIENT_ID", sandbox::kDefaultClientId, 1);
  setenv("KESTRAVA_CLIENT_SECRET", sandbox::kDefaultClientSecret, 1);
  std::printf("range %s to %s: %lld pages of 50 transactions\n", data.from.c_str(), data.to.c_str(),
              pages);

  const auto add = [](const char* name, auto function) {
    benchmark::RegisterBenchmark(name, function)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(1)
        ->Repetitions(5);
  };
  add("peer/plain_curl_loop", BM_PlainCurlLoop);
  add("cli/display_output_file",
      [](benchmark::State& s) { BM_Cli(s, "display file", "display", true); });
  add("cli/csv_output_file", [](benchmark::State& s) { BM_Cli(s, "csv file", "csv", true); });
  add("cli/xlsx_output_file", [](benchmark::State& s) { BM_Cli(s, "xlsx file", "xlsx", true); });
  add("cli/display_standard_output",
      [](benchmark::State& s) { BM_Cli(s, "display stdout", "display", false); });
  add("cli/csv_standard_output",
      [](benchmark::State& s) { BM_Cli(s, "csv stdout", "csv", false); });
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  const double loop = bench::Median(data.runs["curl"], &Run::seconds);
  std::printf("summary (medians): plain libcurl loop %.2f s\n", loop);
  for (const char* name :
       {"display file", "csv file", "xlsx file", "display stdout", "csv stdout"}) {
    const auto& runs = data.runs[name];
    if (runs.empty()) continue;
    const double seconds = bench::Median(runs, &Run::seconds);
    const bool file = std::string(name).find("file") != std::string::npos;
    std::printf("  %-15s %.2f s = %.2f x the loop%s, peak RSS %.1f MB%s\n", name, seconds,
                seconds / loop, file ? " (goal <= 2.0)" : "", bench::HighestPeak(runs),
                file ? " (goal <= 64)" : "");
  }
  const auto& csv = data.runs["csv file"];
  const auto& xlsx = data.runs["xlsx file"];
  if (!csv.empty() && !xlsx.empty()) {
    const double csvSeconds = bench::Median(csv, &Run::seconds);
    const double xlsxSeconds = bench::Median(xlsx, &Run::seconds);
    std::printf(
        "  xlsx file over csv file: %.2f x (goal <= 2.5), peak RSS %.1f MB (goal <= 64);"
        " CPU time %.2f s over %.2f s\n",
        xlsxSeconds / csvSeconds, bench::HighestPeak(xlsx), bench::Median(xlsx, &Run::cpuSeconds),
        bench::Median(csv, &Run::cpuSeconds));
  }
  fixture = nullptr;
  return 0;
}
