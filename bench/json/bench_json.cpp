// Speed and memory of the JSON layer against RapidJSON and nlohmann-json
// (ordered_json), measured in the same run: parse, compact text, display
// text and Clone of a generated transaction export and of the classic
// benchmark files. Ratios (our time / peer time) are printed at the end.

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <rapidjson/document.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <new>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "bench/common/ProcessMemory.h"
#include "bench/common/TransactionExport.h"
#include "json/JSON.h"
#include "json/JsonFormat.h"

namespace {

using kestrava::ParseJSONValue;

struct Dataset {
  std::string name;
  std::string text;
};

std::vector<Dataset>& Datasets() {
  static std::vector<Dataset> sets;
  return sets;
}

constexpr auto kRapidFlags = rapidjson::kParseNumbersAsStringsFlag;

void SetBytes(benchmark::State& state, const Dataset& d) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(d.text.size()));
}

// ---- ours ----

void OursParse(benchmark::State& state, const Dataset* d) {
  for (auto _ : state) {
    auto v = ParseJSONValue(d->text);
    if (v == nullptr) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(v.get());
  }
  SetBytes(state, *d);
}

void OursCompact(benchmark::State& state, const Dataset* d) {
  const auto v = ParseJSONValue(d->text);
  for (auto _ : state) benchmark::DoNotOptimize(v->ToString());
  SetBytes(state, *d);
}

void OursDisplay(benchmark::State& state, const Dataset* d) {
  const auto v = ParseJSONValue(d->text);
  for (auto _ : state) benchmark::DoNotOptimize(kestrava::TJson::Format(*v));
  SetBytes(state, *d);
}

void OursClone(benchmark::State& state, const Dataset* d) {
  const auto v = ParseJSONValue(d->text);
  for (auto _ : state) benchmark::DoNotOptimize(v->Clone());
  SetBytes(state, *d);
}

// ---- RapidJSON ----

void RapidParse(benchmark::State& state, const Dataset* d) {
  for (auto _ : state) {
    rapidjson::Document doc;
    doc.Parse<kRapidFlags>(d->text.data(), d->text.size());
    if (doc.HasParseError()) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(&doc);
  }
  SetBytes(state, *d);
}

void RapidCompact(benchmark::State& state, const Dataset* d) {
  rapidjson::Document doc;
  doc.Parse<kRapidFlags>(d->text.data(), d->text.size());
  for (auto _ : state) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    doc.Accept(writer);
    benchmark::DoNotOptimize(buffer.GetString());
  }
  SetBytes(state, *d);
}

void RapidDisplay(benchmark::State& state, const Dataset* d) {
  rapidjson::Document doc;
  doc.Parse<kRapidFlags>(d->text.data(), d->text.size());
  for (auto _ : state) {
    rapidjson::StringBuffer buffer;
    rapidjson::PrettyWriter<rapidjson::StringBuffer> writer(buffer);
    doc.Accept(writer);
    benchmark::DoNotOptimize(buffer.GetString());
  }
  SetBytes(state, *d);
}

void RapidClone(benchmark::State& state, const Dataset* d) {
  rapidjson::Document doc;
  doc.Parse<kRapidFlags>(d->text.data(), d->text.size());
  for (auto _ : state) {
    rapidjson::Document copy;
    copy.CopyFrom(doc, copy.GetAllocator());
    benchmark::DoNotOptimize(&copy);
  }
  SetBytes(state, *d);
}

// ---- nlohmann-json ----

void NlohmannParse(benchmark::State& state, const Dataset* d) {
  for (auto _ : state) {
    auto j = nlohmann::ordered_json::parse(d->text);
    benchmark::DoNotOptimize(&j);
  }
  SetBytes(state, *d);
}

void NlohmannCompact(benchmark::State& state, const Dataset* d) {
  const auto j = nlohmann::ordered_json::parse(d->text);
  for (auto _ : state) benchmark::DoNotOptimize(j.dump());
  SetBytes(state, *d);
}

void NlohmannDisplay(benchmark::State& state, const Dataset* d) {
  const auto j = nlohmann::ordered_json::parse(d->text);
  for (auto _ : state) benchmark::DoNotOptimize(j.dump(4));
  SetBytes(state, *d);
}

void NlohmannClone(benchmark::State& state, const Dataset* d) {
  const auto j = nlohmann::ordered_json::parse(d->text);
  for (auto _ : state) {
    nlohmann::ordered_json copy = j;
    benchmark::DoNotOptimize(&copy);
  }
  SetBytes(state, *d);
}

// ---- memory of a parsed tree ----

std::size_t HeapInUse() {
  const struct mallinfo2 m = mallinfo2();
  return m.uordblks + m.hblkhd;
}

// Peak resident memory added while `work` runs, in bytes. It runs in a child
// process whose high-water mark starts at its current size, so that no
// allocator state left by another measurement is reused.
template <class Work>
long long PeakBytes(Work&& work) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    malloc_trim(0);  // free heap pages would otherwise be reused without being counted
    kestrava::bench::ResetPeakMemory();
    const double base = kestrava::bench::StatusMb("VmHWM");
    work();
    const auto added =
        static_cast<long long>((kestrava::bench::StatusMb("VmHWM") - base) * 1024 * 1024);
    const ssize_t written = write(fds[1], &added, sizeof added);
    _exit(written == sizeof added ? 0 : 1);
  }
  close(fds[1]);
  long long added = -1;
  if (pid < 0 || read(fds[0], &added, sizeof added) != sizeof added) added = -1;
  close(fds[0]);
  if (pid > 0) waitpid(pid, nullptr, 0);
  return added;
}

void ReportMemory(const Dataset& d) {
  const double mb = 1024.0 * 1024.0;
  std::size_t before = HeapInUse();
  auto ours = ParseJSONValue(d.text);
  const std::size_t oursBytes = HeapInUse() - before;

  before = HeapInUse();
  auto doc = std::make_unique<rapidjson::Document>();
  doc->Parse<kRapidFlags>(d.text.data(), d.text.size());
  const std::size_t rapidBytes = HeapInUse() - before;
  const std::size_t rapidPool = doc->GetAllocator().Size();

  before = HeapInUse();
  auto j = std::make_unique<nlohmann::ordered_json>(nlohmann::ordered_json::parse(d.text));
  const std::size_t nlohmannBytes = HeapInUse() - before;

  before = HeapInUse();
  auto copy = ours->Clone();
  const std::size_t cloneBytes = HeapInUse() - before;

  std::printf(
      "tree   %-12s text %6.1f MB | kestrava %6.1f MB (its clone %6.1f MB) | rapidjson %6.1f MB "
      "(allocator Size %6.1f MB) | nlohmann %6.1f MB | kestrava/rapidjson %.2f\n",
      d.name.c_str(), d.text.size() / mb, oursBytes / mb, cloneBytes / mb, rapidBytes / mb,
      rapidPool / mb, nlohmannBytes / mb,
      static_cast<double>(oursBytes) / static_cast<double>(rapidBytes));

  const long long oursPeak = PeakBytes([&] { benchmark::DoNotOptimize(ParseJSONValue(d.text)); });
  const long long rapidPeak = PeakBytes([&] {
    rapidjson::Document peer;
    peer.Parse<kRapidFlags>(d.text.data(), d.text.size());
    benchmark::DoNotOptimize(&peer);
  });
  const long long nlohmannPeak = PeakBytes([&] {
    auto peer = nlohmann::ordered_json::parse(d.text);
    benchmark::DoNotOptimize(&peer);
  });
  std::printf(
      "peak   %-12s parse adds   | kestrava %6.1f MB                       | rapidjson %6.1f MB "
      "                         | nlohmann %6.1f MB | kestrava/rapidjson %.2f\n",
      d.name.c_str(), oursPeak / mb, rapidPeak / mb, nlohmannPeak / mb,
      static_cast<double>(oursPeak) / static_cast<double>(rapidPeak));
}

// Collects the run times and prints our time against each peer's.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred)
        times_[run.benchmark_name()] = run.GetAdjustedCPUTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\n%-28s %14s %14s\n", "kestrava CPU time / peer", "rapidjson", "nlohmann");
    for (const auto& [name, time] : times_) {
      const std::string suffix = "/kestrava";
      if (name.size() < suffix.size() ||
          name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        continue;
      const std::string stem = name.substr(0, name.size() - suffix.size());
      std::printf("%-28s %14s %14s\n", stem.c_str(), Ratio(time, stem + "/rapidjson").c_str(),
                  Ratio(time, stem + "/nlohmann").c_str());
    }
  }

 private:
  std::string Ratio(double ours, const std::string& peer) const {
    const auto it = times_.find(peer);
    if (it == times_.end() || it->second <= 0) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", ours / it->second);
    return text;
  }

  std::map<std::string, double> times_;
};

bool ReadFile(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  text = s.str();
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Datasets().push_back(Dataset{"transactions", kestrava::bench::MakeTransactionExport(100000)});
  for (const char* file : {"twitter", "citm_catalog", "canada"}) {
    Dataset d{file, {}};
    if (ReadFile(std::string(KESTRAVA_BENCH_DATA_DIR) + "/" + file + ".json", d.text)) {
      Datasets().push_back(std::move(d));
    } else {
      std::printf("skipped %s: %s not found\n", file, KESTRAVA_BENCH_DATA_DIR);
    }
  }

  using Fn = void (*)(benchmark::State&, const Dataset*);
  const struct {
    const char* operation;
    Fn ours, rapid, nlohmann;
  } operations[] = {
      {"parse", OursParse, RapidParse, NlohmannParse},
      {"compact", OursCompact, RapidCompact, NlohmannCompact},
      {"display", OursDisplay, RapidDisplay, NlohmannDisplay},
      {"clone", OursClone, RapidClone, NlohmannClone},
  };
  for (const Dataset& d : Datasets()) {
    for (const auto& op : operations) {
      const std::string stem = std::string(op.operation) + "/" + d.name;
      benchmark::RegisterBenchmark((stem + "/kestrava").c_str(), op.ours, &d)
          ->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark((stem + "/rapidjson").c_str(), op.rapid, &d)
          ->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark((stem + "/nlohmann").c_str(), op.nlohmann, &d)
          ->Unit(benchmark::kMillisecond);
    }
  }

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  for (const Dataset& d : Datasets()) ReportMemory(d);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
