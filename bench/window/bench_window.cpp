// From the click on "Citeste Tranzactii" to the text being in Memo1, for
// about 10,000 transactions (200 pages of 50) from the sandbox service on
// loopback, split into its parts: the paged export, the display text, and
// setting the text. Setting the text is compared with a plain
// QPlainTextEdit::setPlainText of the same string in the same run.
//
// After the benchmarks a summary gives the click's time over the export plus
// the plain set (the window's goal: at most 1.3).

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QPlainTextEdit>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "app/Application.h"
#include "app/Main.h"
#include "datetime/DateTime.h"
#include "datetime/FormatSettings.h"
#include "sandbox/SandboxServer.h"

namespace kestrava {
namespace {

// 2000 transactions a day (spread unevenly over the hours); the last 107
// hours hold about 10,000 of them: some 200 pages of 50.
constexpr int TransactionsPerDay = 2000;
constexpr int Days = 5;
constexpr int RangeHours = 107;

struct TSandbox {
  TSandbox() {
    char folder[] = "/tmp/bench-window-XXXXXX";
    if (mkdtemp(folder) == nullptr) throw Exception("cannot make a state folder");
    stateDir = folder;
    sandbox::SandboxOptions options;
    options.stateDir = stateDir / "state";
    options.service.scale.transactionsPerDay = TransactionsPerDay;
    options.service.scale.days = Days + 2;
    server = std::make_unique<sandbox::SandboxServer>(std::move(options));
    runner = std::thread([this] { server->Run(stop); });
    setenv("SSL_CERT_FILE", server->CaFile().c_str(), 1);
    SetServiceHost("localhost:" + std::to_string(server->Port()));
  }
  ~TSandbox() {
    stop = true;
    runner.join();
    server.reset();
    std::filesystem::remove_all(stateDir);
  }
  std::filesystem::path stateDir;
  std::atomic<bool> stop{false};
  std::unique_ptr<sandbox::SandboxServer> server;
  std::thread runner;
};

struct TFixture {
  TSandbox sandbox;
  TQtMessageBoxPresenter presenter;
  TForm2 form{presenter};
  TDateTime start = 0, end = 0;
  QString text;  // the display text of one export
  std::size_t records = 0;
};

TFixture* fixture = nullptr;
// Mean milliseconds per iteration of each part.
std::map<std::string, double> means;

class TMeanTimer {
 public:
  TMeanTimer(benchmark::State& state, std::string name) : state_(state), name_(std::move(name)) {}
  ~TMeanTimer() {
    if (state_.iterations() > 0) {
      means[name_] = std::chrono::duration<double, std::milli>(total_).count() /
                     static_cast<double>(state_.iterations());
    }
  }
  void Add(std::chrono::steady_clock::duration d) { total_ += d; }

 private:
  benchmark::State& state_;
  std::string name_;
  std::chrono::steady_clock::duration total_{};
};

using Clock = std::chrono::steady_clock;

void SetRange(TForm2& form) {
  const TDateTime now = Now();
  form.XDStart.SetDateTime(IncHour(now, -RangeHours));
  form.XTStart.SetDateTime(IncHour(now, -RangeHours));
  form.XDEnd.SetDateTime(now);
  form.XTEnd.SetDateTime(now);
}

void BM_Export(benchmark::State& state) {
  TMeanTimer timer(state, "export");
  for (auto _ : state) {
    TJSONArray records;
    const auto begun = Clock::now();
    const bool read = fixture->form.SA->GetTranzactii(fixture->start, fixture->end, 0, records);
    timer.Add(Clock::now() - begun);
    if (!read) state.SkipWithError(fixture->form.SA->MesajEroare().c_str());
    state.counters["records"] = static_cast<double>(records.Count());
  }
}

void BM_DisplayText(benchmark::State& state) {
  TJSONArray records;
  fixture->form.SA->GetTranzactii(fixture->start, fixture->end, 0, records);
  TMeanTimer timer(state, "display");
  for (auto _ : state) {
    const auto begun = Clock::now();
    QString text = QString::fromStdString(FormatJson(records.ToString(), 1));
    timer.Add(Clock::now() - begun);
    benchmark::DoNotOptimize(text);
    state.counters["MB"] = static_cast<double>(text.size()) / 1e6;
  }
}

// Both start from an empty text area, as the first read after a sign-in.
void BM_MemoSetText(benchmark::State& state) {
  TMemo& memo = fixture->form.Memo1;
  TMeanTimer timer(state, "set");
  for (auto _ : state) {
    memo.SetText(QString());
    const QString copy = fixture->text;
    QCoreApplication::processEvents();
    const auto begun = Clock::now();
    memo.SetText(copy);
    timer.Add(Clock::now() - begun);
  }
  memo.SetText(QString());
}

void BM_PlainSetPlainText(benchmark::State& state) {
  QPlainTextEdit plain(&fixture->form);  // in Memo1's place, with its size and font
  plain.setFont(fixture->form.Memo1.font());
  plain.setGeometry(fixture->form.Memo1.geometry());
  plain.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  plain.show();
  TMeanTimer timer(state, "plain");
  for (auto _ : state) {
    plain.setPlainText(QString());
    const QString copy = fixture->text;
    QCoreApplication::processEvents();
    const auto begun = Clock::now();
    plain.setPlainText(copy);
    timer.Add(Clock::now() - begun);
  }
}

void BM_ClickToText(benchmark::State& state) {
  TForm2& form = fixture->form;
  TMeanTimer timer(state, "click");
  for (auto _ : state) {
    form.Memo1.SetText(QString());
    SetRange(form);
    QCoreApplication::processEvents();  // nothing left over from the last round
    const auto begun = Clock::now();
    form.BTranz.click();
    timer.Add(Clock::now() - begun);
    if (!form.Memo1.Text().startsWith(QLatin1Char('['))) state.SkipWithError("no records shown");
  }
}

}  // namespace
}  // namespace kestrava

int main(int argc, char** argv) {
  using namespace kestrava;
  benchmark::Initialize(&argc, argv);
  qputenv("QT_QPA_PLATFORM", "offscreen");
  InitializeFormatSettings();
  int qtArgc = 1;
  TKestravaApplication application(qtArgc, argv);

  TFixture data;
  fixture = &data;
  data.form.show();
  data.form.btn1.click();
  if (!data.form.BTranz.isEnabled()) {
    std::fprintf(stderr, "sign-in failed: %s\n", data.form.SA->MesajEroare().c_str());
    return 1;
  }
  SetRange(data.form);
  data.start = data.form.XDStart.DateTime();
  data.end = data.form.XDEnd.DateTime();
  {
    TJSONArray records;
    data.form.SA->GetTranzactii(data.start, data.end, 0, records);
    data.records = records.Count();
    data.text = QString::fromStdString(FormatJson(records.ToString(), 1));
  }
  std::printf("records per export: %zu, display text: %lld characters\n", data.records,
              static_cast<long long>(data.text.size()));

  const auto unit = benchmark::kMillisecond;
  benchmark::RegisterBenchmark("window/export", BM_Export)->Unit(unit)->Iterations(5);
  benchmark::RegisterBenchmark("window/display_text", BM_DisplayText)->Unit(unit)->Iterations(5);
  benchmark::RegisterBenchmark("window/memo_set_text", BM_MemoSetText)->Unit(unit)->Iterations(5);
  benchmark::RegisterBenchmark("peer/plain_setPlainText", BM_PlainSetPlainText)
      ->Unit(unit)
      ->Iterations(5);
  benchmark::RegisterBenchmark("window/click_to_text", BM_ClickToText)->Unit(unit)->Iterations(5);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  if (means.size() == 5) {
    const double base = means["export"] + means["plain"];
    std::printf(
        "summary (mean ms): export %.1f, display text %.1f, set text %.1f, plain setPlainText "
        "%.1f, click to text %.1f\n",
        means["export"], means["display"], means["set"], means["plain"], means["click"]);
    std::printf("set text / plain setPlainText = %.2f\n", means["set"] / means["plain"]);
    std::printf("click to text / (export + plain setPlainText) = %.2f (goal <= 1.3)\n",
                means["click"] / base);
  }
  fixture = nullptr;
  return 0;
}
