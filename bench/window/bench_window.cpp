// From the click on "Citeste Tranzactii" to the text being in Memo1, for a
// chosen number of transactions (pages of 50) from the sandbox service on
// loopback, split into its parts: the paged export into an array, the
// display text as it was made from that array (compact text, re-parse and
// indented text) and setting the text. The click builds the display text
// page by page while the pages arrive instead, so it costs the export and
// the hand-over of the text. Setting the text is compared with a plain
// QPlainTextEdit::setPlainText of the same text in the same run, and the
// find bar's search with the C library's memmem.
//
//   bench_window [--records N] [Google Benchmark options]
//
// N defaults to 10,000. The sandbox runs in a child process; the click is
// also made once in a fresh process of its own, whose peak resident memory
// (the high-water mark reset just before the click) is the click's. The
// last two lines of the output are the summary:
//
//   window: records R, click_ms C, export_ms E, display_ms D, set_ms S, plain_set_ms P,
//   peak_rss_mb M, text_mb T
//   find: text_mb T, first_at_end_ms F, none_ms N, peer_memmem_ms Q, count_ms K,
//   longest_slice_ms L
//
// (each on one line; M in MiB, T in millions of bytes). The window's goals:
// S <= 0.1 P; C <= 1.1 E; at 1,000,000 records a peak of at most 1.3 times
// the text's bytes, at 100,000 M <= 120.

#include <benchmark/benchmark.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QPlainTextEdit>
#include <QScrollBar>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "app/Application.h"
#include "app/FindBar.h"
#include "app/FormatJson.h"
#include "app/Main.h"
#include "app/TextSearch.h"
#include "bench/common/ProcessMemory.h"
#include "bench/common/SandboxProcess.h"
#include "datetime/DateTime.h"
#include "datetime/FormatSettings.h"
#include "sandbox/CivilTime.h"
#include "sandbox/SandboxData.h"

namespace kestrava {
namespace {

using Clock = std::chrono::steady_clock;

// The sandbox's busiest day; the history holds a few days more than asked.
constexpr int kTransactionsPerDay = sandbox::kMaxTransactionsPerDay;

struct TRange {
  TDateTime start = 0, end = 0;
};

TDateTime DateTimeOf(sandbox::LocalMillis time) {
  // Day 0 of the sandbox's clock, 1 January 1970, is day 25569 here.
  constexpr std::int64_t kUnixEpochDay = 25569;
  const std::int64_t day = sandbox::DayOf(time);
  return JoinDateTime(day + kUnixEpochDay, time - day * sandbox::kMillisPerDay);
}

// The range that holds the newest `records` transactions up to `now`.
TRange NewestTransactions(const sandbox::DataScale& scale, sandbox::LocalMillis now,
                          std::size_t records) {
  const sandbox::DataSet data =
      sandbox::MakeDataSet(sandbox::Environment::Production, scale, sandbox::DayOf(now));
  std::size_t upToNow = 0;
  while (upToNow < data.transactions.size() && data.transactions[upToNow].time <= now) ++upToNow;
  if (upToNow < records) throw Exception("the sandbox history is too short");
  return {DateTimeOf(data.transactions[upToNow - records].time), DateTimeOf(now)};
}

void SetRange(TForm2& form, const TRange& range) {
  form.XDStart.SetDateTime(range.start);
  form.XTStart.SetDateTime(range.start);
  form.XDEnd.SetDateTime(range.end);
  form.XTEnd.SetDateTime(range.end);
}

// Message boxes of the unattended run go to the error stream.
class TStderrPresenter final : public TMessageBoxPresenter {
 public:
  void Show(const TMessageBoxRequest& request) override {
    std::fprintf(stderr, "bench_window: %s\n", request.text.toLocal8Bit().constData());
  }
};

// The window signed in against the sandbox, with the range set.
struct TWindow {
  TWindow(int& argc, char** argv, const TRange& range) : application(argc, argv) {
    form.show();
    form.btn1.click();
    if (!form.BTranz.isEnabled()) throw Exception("sign-in failed");
    SetRange(form, range);
    QCoreApplication::processEvents();
  }
  TKestravaApplication application;
  TStderrPresenter presenter;
  TForm2 form{presenter};
};

struct TClickFigures {
  double peakMb = 0;
  double beforeMb = 0;
  double clickMs = 0;
  std::size_t lines = 0;
  bool lastLineShown = false;
  bool shown = false;
};

// One click in a fresh process: nothing else of the run is in its memory.
TClickFigures ClickInAProcessOfItsOwn(char* program, const TRange& range) {
  int result[2];
  if (pipe(result) != 0) throw Exception("cannot make a pipe");
  const pid_t child = fork();
  if (child < 0) throw Exception("cannot start the click process");
  if (child == 0) {
    close(result[0]);
    TClickFigures figures;
    try {
      int argc = 1;
      char* argv[] = {program, nullptr};
      TWindow window(argc, argv, range);
      TMemo& memo = window.form.Memo1;
      figures.beforeMb = bench::StatusMb("VmRSS");
      bench::ResetPeakMemory();
      const auto begun = Clock::now();
      window.form.BTranz.click();
      figures.clickMs = std::chrono::duration<double, std::milli>(Clock::now() - begun).count();
      QCoreApplication::processEvents();
      figures.peakMb = bench::StatusMb("VmHWM");
      figures.shown = memo.Utf8Text().starts_with('[');
      figures.lines = memo.LineCount();
      memo.verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
      QCoreApplication::processEvents();
      const std::size_t last = memo.LineCount() - 1;
      figures.lastLineShown = memo.FirstVisibleLine() <= last &&
                              !memo.CharacterRect(memo.Content().LineStart(last)).isEmpty();
    } catch (const std::exception& failure) {
      std::fprintf(stderr, "bench_window: click process: %s\n", failure.what());
    }
    const bool written = write(result[1], &figures, sizeof figures) == sizeof figures;
    _exit(written ? 0 : 1);
  }
  close(result[1]);
  TClickFigures figures;
  const bool read = ::read(result[0], &figures, sizeof figures) == sizeof figures;
  close(result[0]);
  waitpid(child, nullptr, 0);
  if (!read) throw Exception("the click process gave no figures");
  return figures;
}

struct TFixture {
  TWindow* window = nullptr;
  TRange range;
  std::string text;  // the display text of one export
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
  void Add(Clock::duration d) { total_ += d; }

 private:
  benchmark::State& state_;
  std::string name_;
  Clock::duration total_{};
};

TKestrava_2& Client() {
  return *fixture->window->form.SA;
}

void BM_Export(benchmark::State& state) {
  TMeanTimer timer(state, "export");
  for (auto _ : state) {
    TJSONArray records;
    const auto begun = Clock::now();
    const bool read = Client().GetTranzactii(fixture->range.start, fixture->range.end, 0, records);
    timer.Add(Clock::now() - begun);
    if (!read) state.SkipWithError(Client().MesajEroare().c_str());
    state.counters["records"] = static_cast<double>(records.Count());
  }
}

// The compact text, the re-parse and the indented text, as the click makes
// them.
void BM_DisplayText(benchmark::State& state) {
  TJSONArray records;
  Client().GetTranzactii(fixture->range.start, fixture->range.end, 0, records);
  TMeanTimer timer(state, "display");
  for (auto _ : state) {
    const auto begun = Clock::now();
    std::string text = FormatJson(records.ToString(), 1);
    timer.Add(Clock::now() - begun);
    benchmark::DoNotOptimize(text);
    state.counters["MB"] = static_cast<double>(text.size()) / 1e6;
  }
}

// Both start from an empty text area, as the first read after a sign-in,
// and both are timed until the text is drawn.
void BM_MemoSetText(benchmark::State& state) {
  TMemo& memo = fixture->window->form.Memo1;
  TMeanTimer timer(state, "set");
  for (auto _ : state) {
    memo.SetText(QString());
    std::string copy = fixture->text;
    QCoreApplication::processEvents();
    const auto begun = Clock::now();
    memo.SetUtf8Text(std::move(copy));
    memo.viewport()->repaint();
    timer.Add(Clock::now() - begun);
  }
  memo.SetText(QString());
}

void BM_PlainSetPlainText(benchmark::State& state) {
  TForm2& form = fixture->window->form;
  QPlainTextEdit plain(&form);  // in Memo1's place, with its size and font
  plain.setFont(form.Memo1.font());
  plain.setGeometry(form.Memo1.geometry());
  plain.setReadOnly(true);
  plain.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  plain.show();
  TMeanTimer timer(state, "plain");
  for (auto _ : state) {
    plain.setPlainText(QString());
    QString copy = QString::fromStdString(fixture->text);
    QCoreApplication::processEvents();
    const auto begun = Clock::now();
    plain.setPlainText(copy);
    plain.viewport()->repaint();
    timer.Add(Clock::now() - begun);
  }
}

void BM_ClickToText(benchmark::State& state) {
  TForm2& form = fixture->window->form;
  TMeanTimer timer(state, "click");
  for (auto _ : state) {
    form.Memo1.SetText(QString());
    SetRange(form, fixture->range);
    QCoreApplication::processEvents();  // nothing left over from the last round
    const auto begun = Clock::now();
    form.BTranz.click();
    timer.Add(Clock::now() - begun);
    if (!form.Memo1.Utf8Text().starts_with('[')) state.SkipWithError("no records shown");
  }
  form.Memo1.SetText(QString());
}

// A line of the last record that no line before it holds, without its
// indentation and with its ASCII letters in lower case, so that the search
// ignores case (its slower way); as it is when another capital is left.
std::string NeedleAtTheEnd(const std::string& text) {
  std::size_t end = text.size();
  for (int lines = 0; lines < 200 && end > 0; ++lines) {
    const std::size_t start = text.rfind('\n', end - 1);
    const std::size_t from = start == std::string::npos ? 0 : start + 1;
    std::string line = text.substr(from, end - from);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t indent = line.find_first_not_of(' ');
    line.erase(0, indent);
    std::string lower = line;
    for (char& c : lower)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    const std::string& needle = TTextSearch(lower).MatchesAt(text, from + indent) ? lower : line;
    if (needle.size() >= 8 && TTextSearch(needle).FindForward(text, 0, from) == TTextSearch::npos)
      return needle;
    if (start == std::string::npos) break;
    end = start;
  }
  return "]";
}

// Typing into the find bar on the whole display text: the first match at
// the very end, a search that matches nothing (the whole text both ways
// round), and the count of all matches of a frequent search, a slice at a
// time from the event loop. The peer is the C library's memmem over the
// same text for the search that matches nothing.
void BM_Find(benchmark::State& state) {
  TForm2& form = fixture->window->form;
  TMemo& memo = form.Memo1;
  memo.SetUtf8Text(std::string(fixture->text));
  const std::string atEnd = NeedleAtTheEnd(fixture->text);
  const std::string absent = "no such text anywhere";
  TFindBar& bar = form.FindBar();
  bar.Open();
  QCoreApplication::processEvents();
  double first = 0, none = 0, peer = 0, count = 0, longestSlice = 0;
  for (auto _ : state) {
    memo.SetCaretPosition(0);
    auto begun = Clock::now();
    bar.SearchFor(QString::fromStdString(atEnd));
    memo.viewport()->repaint();
    first += std::chrono::duration<double, std::milli>(Clock::now() - begun).count();
    if (memo.SelectionEnd() - memo.SelectionStart() != atEnd.size())
      state.SkipWithError("the match at the end was not found");

    begun = Clock::now();
    bar.SearchFor(QString::fromStdString(absent));
    memo.viewport()->repaint();
    none += std::chrono::duration<double, std::milli>(Clock::now() - begun).count();

    begun = Clock::now();
    const void* found =
        memmem(fixture->text.data(), fixture->text.size(), absent.data(), absent.size());
    peer += std::chrono::duration<double, std::milli>(Clock::now() - begun).count();
    benchmark::DoNotOptimize(found);

    bar.SearchFor(QStringLiteral("amount"));
    begun = Clock::now();
    while (bar.Counting()) {
      const auto slice = Clock::now();
      QCoreApplication::processEvents();
      longestSlice = std::max(
          longestSlice, std::chrono::duration<double, std::milli>(Clock::now() - slice).count());
    }
    count += std::chrono::duration<double, std::milli>(Clock::now() - begun).count();
  }
  const auto n = static_cast<double>(state.iterations());
  means["find_first"] = first / n;
  means["find_none"] = none / n;
  means["find_peer"] = peer / n;
  means["find_count"] = count / n;
  means["find_slice"] = longestSlice;
  bar.Close();
  memo.SetText(QString());
}

// Takes "--records N" out of the arguments; 0 when it is malformed.
std::size_t TakeRecordsOption(int& argc, char** argv) {
  std::size_t records = 10'000;
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--records") == 0 && i + 1 < argc) {
      char* end = nullptr;
      const unsigned long long value = std::strtoull(argv[++i], &end, 10);
      records = *end == '\0' ? static_cast<std::size_t>(value) : 0;
    } else {
      argv[kept++] = argv[i];
    }
  }
  argc = kept;
  argv[argc] = nullptr;
  return records;
}

int Run(int argc, char** argv) {
  const std::size_t records = TakeRecordsOption(argc, argv);
  const std::size_t mostRecords = sandbox::kMaxTransactionsInHistory - 3 * kTransactionsPerDay;
  if (records == 0 || records > mostRecords) {
    std::fprintf(stderr, "usage: bench_window [--records N] (N from 1 to %zu)\n", mostRecords);
    return 2;
  }
  benchmark::Initialize(&argc, argv);
  qputenv("QT_QPA_PLATFORM", "offscreen");
  InitializeFormatSettings();

  sandbox::DataScale scale;
  scale.transactionsPerDay = kTransactionsPerDay;
  scale.days = static_cast<int>(records / kTransactionsPerDay) + 3;
  const sandbox::LocalMillis now = sandbox::LocalNow();
  const TRange range = NewestTransactions(scale, now, records);
  // Both processes are started while this one has no other thread.
  bench::TSandboxProcess sandboxProcess(scale, now);
  setenv("SSL_CERT_FILE", sandboxProcess.CaFile().c_str(), 1);
  SetServiceHost(sandboxProcess.Host());
  const TClickFigures click = ClickInAProcessOfItsOwn(argv[0], range);
  std::printf(
      "click in a process of its own: %.1f ms, %zu lines shown (last line reachable: %s), peak "
      "%.0f MB (%.0f MB before the click)\n",
      click.clickMs, click.lines, click.lastLineShown ? "yes" : "no", click.peakMb, click.beforeMb);
  if (!click.shown || !click.lastLineShown) {
    std::fprintf(stderr, "bench_window: the click did not show the records\n");
    return 1;
  }

  int qtArgc = 1;
  TWindow window(qtArgc, argv, range);
  TFixture data;
  data.window = &window;
  data.range = range;
  fixture = &data;
  {
    TJSONArray exported;
    window.form.SA->GetTranzactii(range.start, range.end, 0, exported);
    data.records = exported.Count();
    data.text = FormatJson(exported.ToString(), 1);
  }
  std::printf("records per export: %zu, display text: %zu bytes\n", data.records, data.text.size());

  // A million records take seconds per round and GBs for the plain peer.
  const int iterations = records <= 100'000 ? 5 : 1;
  const std::pair<const char*, void (*)(benchmark::State&)> parts[] = {
      {"window/export", BM_Export},
      {"window/display_text", BM_DisplayText},
      {"window/memo_set_text", BM_MemoSetText},
      {"peer/plain_setPlainText", BM_PlainSetPlainText},
      {"window/click_to_text", BM_ClickToText},
      {"window/find", BM_Find},
  };
  for (const auto& [name, part] : parts)
    benchmark::RegisterBenchmark(name, part)->Unit(benchmark::kMillisecond)->Iterations(iterations);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  fixture = nullptr;

  // A run filtered to some parts (--benchmark_filter) prints the lines
  // whose parts all ran.
  const auto ran = [](std::initializer_list<const char*> parts) {
    return std::all_of(parts.begin(), parts.end(),
                       [](const char* part) { return means.contains(part); });
  };
  const bool windowRan = ran({"export", "display", "set", "plain", "click"});
  const bool findRan = ran({"find_first"});
  if (!windowRan && !findRan) {
    std::fprintf(stderr, "bench_window: no figures (filtered out or failed)\n");
    return 1;
  }
  const double textMb = static_cast<double>(data.text.size()) / 1e6;
  if (windowRan) {
    std::printf(
        "set / plain = %.3f (goal <= 0.1), click / export = %.2f (goal <= 1.1), peak / text = "
        "%.2f (goal <= 1.3 at a million records)\n",
        means["set"] / means["plain"], means["click"] / means["export"],
        click.peakMb * 1024 * 1024 / static_cast<double>(data.text.size()));
    std::printf(
        "window: records %zu, click_ms %.1f, export_ms %.1f, display_ms %.1f, set_ms %.1f, "
        "plain_set_ms %.1f, peak_rss_mb %.0f, text_mb %.1f\n",
        data.records, means["click"], means["export"], means["display"], means["set"],
        means["plain"], click.peakMb, textMb);
  }
  if (findRan) {
    std::printf(
        "find: text_mb %.1f, first_at_end_ms %.1f, none_ms %.1f, peer_memmem_ms %.1f, count_ms "
        "%.1f, longest_slice_ms %.1f\n",
        textMb, means["find_first"], means["find_none"], means["find_peer"], means["find_count"],
        means["find_slice"]);
  }
  return 0;
}

}  // namespace
}  // namespace kestrava

int main(int argc, char** argv) {
  try {
    return kestrava::Run(argc, argv);
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "bench_window: %s\n", failure.what());
    return 1;
  }
}
