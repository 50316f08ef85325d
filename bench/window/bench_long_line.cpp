// One unbroken long line in the text area (an error page, one long JSON
// string, a token): showing it, wrapping it again after a resize, and
// scrolling through it with the wheel, compared with a QPlainTextEdit of
// the same size and font in the same run. The plain widget's cost grows
// with the square of the line's length, so it is measured, beside the text
// area, on a line short enough for it to finish.
//
//   bench_long_line [--bytes N] [--peer-bytes M] [Google Benchmark options]
//
// N defaults to 10,000,000 and M to 100,000. The last line of the output is
// the summary (on one line):
//
//   long_line: bytes N, show_ms S, rewrap_ms R, wheel_max_ms W, peer_bytes M,
//   peer_show_ms s, peer_rewrap_ms r, plain_show_ms P, plain_rewrap_ms Q
//
// where S, R and W are the text area's at N bytes, s and r the text area's
// at M bytes and P and Q the plain widget's at M bytes. The goals: S and R
// at most 100 ms at 10 MB.

#include <benchmark/benchmark.h>

#include <QAbstractScrollArea>
#include <QApplication>
#include <QPlainTextEdit>
#include <QWheelEvent>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <utility>

#include "app/Application.h"
#include "app/Memo.h"

namespace kestrava {
namespace {

using Clock = std::chrono::steady_clock;

// Text as a long token or an encoded blob holds it: letters and digits
// without a break opportunity, so the layout may only break it anywhere.
std::string UnbrokenLine(std::size_t bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::string line(bytes, 'A');
  for (std::size_t i = 0; i < bytes; ++i) line[i] = kAlphabet[(i * 7 + i / 62) % 62];
  return line;
}

QFont DesignFont() {
  QFont font(QStringLiteral("Tahoma"));
  font.setPixelSize(11);
  font.setBold(true);
  return font;
}

// A widget as the window has it: 783 by 447, shown.
template <class Widget>
void Place(Widget& widget) {
  widget.setFont(DesignFont());
  widget.resize(783, 447);
  widget.show();
  QCoreApplication::processEvents();
}

// The steps, for either widget.
struct TSteps {
  std::function<void()> prepare;  // the line handed over, not yet shown
  std::function<void()> show;     // from empty to the line drawn
  std::function<void()> clear;
  QAbstractScrollArea* area = nullptr;
};

double Milliseconds(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// Mean milliseconds per iteration of each measurement.
std::map<std::string, double> figures;

void Measure(benchmark::State& state, const std::string& name, TSteps& steps) {
  double show = 0, rewrap = 0, wheelMax = 0;
  for (auto _ : state) {
    steps.clear();
    steps.prepare();
    QCoreApplication::processEvents();
    auto begun = Clock::now();
    steps.show();
    show += Milliseconds(Clock::now() - begun);

    // Narrower by a little, as a window's edge dragged: every line as
    // drawn moves.
    QAbstractScrollArea& area = *steps.area;
    begun = Clock::now();
    area.resize(area.width() - 17, area.height());
    area.viewport()->repaint();
    rewrap += Milliseconds(Clock::now() - begun);
    area.resize(area.width() + 17, area.height());
    area.viewport()->repaint();

    // Wheel notches down through the start of the line.
    for (int notch = 0; notch < 40; ++notch) {
      const QPoint at(50, 50);
      QWheelEvent wheel(at, area.viewport()->mapToGlobal(at), QPoint(), QPoint(0, -120),
                        Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
      begun = Clock::now();
      QApplication::sendEvent(area.viewport(), &wheel);
      area.viewport()->repaint();
      wheelMax = std::max(wheelMax, Milliseconds(Clock::now() - begun));
    }
  }
  const auto n = static_cast<double>(state.iterations());
  figures[name + "_show"] = show / n;
  figures[name + "_rewrap"] = rewrap / n;
  figures[name + "_wheel_max"] = wheelMax;
  steps.clear();
}

struct TFixture {
  std::string line;
  std::string peerLine;
};
TFixture* fixture = nullptr;

// The text area takes the line as the window hands a result over: moved
// in as UTF-8.
void MeasureMemo(benchmark::State& state, const std::string& name, const std::string& line) {
  TMemo memo;
  Place(memo);
  std::string copy;
  TSteps steps{[&] { copy = line; },
               [&] {
                 memo.SetUtf8Text(std::move(copy));
                 memo.viewport()->repaint();
               },
               [&] { memo.SetText(QString()); }, &memo};
  Measure(state, name, steps);
}

void BM_MemoLongLine(benchmark::State& state) {
  MeasureMemo(state, "memo", fixture->line);
}

void BM_MemoPeerLine(benchmark::State& state) {
  MeasureMemo(state, "memo_peer", fixture->peerLine);
}

void BM_PlainPeerLine(benchmark::State& state) {
  QPlainTextEdit plain;
  plain.setReadOnly(true);
  plain.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Place(plain);
  QString copy;
  TSteps steps{[&] { copy = QString::fromStdString(fixture->peerLine); },
               [&] {
                 plain.setPlainText(copy);
                 plain.viewport()->repaint();
               },
               [&] { plain.setPlainText(QString()); }, &plain};
  Measure(state, "plain", steps);
}

// Takes "--NAME N" out of the arguments; 0 when it is malformed.
std::size_t TakeSize(int& argc, char** argv, const char* name, std::size_t value) {
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], name) == 0 && i + 1 < argc) {
      char* end = nullptr;
      const unsigned long long given = std::strtoull(argv[++i], &end, 10);
      value = *end == '\0' ? static_cast<std::size_t>(given) : 0;
    } else {
      argv[kept++] = argv[i];
    }
  }
  argc = kept;
  argv[argc] = nullptr;
  return value;
}

int Run(int argc, char** argv) {
  const std::size_t bytes = TakeSize(argc, argv, "--bytes", 10'000'000);
  const std::size_t peerBytes = TakeSize(argc, argv, "--peer-bytes", 100'000);
  if (bytes == 0 || peerBytes == 0) {
    std::fprintf(stderr, "usage: bench_long_line [--bytes N] [--peer-bytes M]\n");
    return 2;
  }
  benchmark::Initialize(&argc, argv);
  qputenv("QT_QPA_PLATFORM", "offscreen");
  int qtArgc = 1;
  TKestravaApplication application(qtArgc, argv);
  TFixture data{UnbrokenLine(bytes), UnbrokenLine(peerBytes)};
  fixture = &data;

  const std::pair<const char*, void (*)(benchmark::State&)> parts[] = {
      {"window/long_line", BM_MemoLongLine},
      {"window/peer_line", BM_MemoPeerLine},
      {"peer/plain_peer_line", BM_PlainPeerLine},
  };
  for (const auto& [name, part] : parts)
    benchmark::RegisterBenchmark(name, part)->Unit(benchmark::kMillisecond)->Iterations(3);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  fixture = nullptr;

  for (const char* part : {"memo_show", "memo_peer_show", "plain_show"}) {
    if (!figures.contains(part)) {
      std::fprintf(stderr, "bench_long_line: no figure for %s (filtered out)\n", part);
      return 1;
    }
  }
  std::printf(
      "long_line: bytes %zu, show_ms %.1f, rewrap_ms %.1f, wheel_max_ms %.1f, peer_bytes %zu, "
      "peer_show_ms %.1f, peer_rewrap_ms %.1f, plain_show_ms %.1f, plain_rewrap_ms %.1f\n",
      bytes, figures["memo_show"], figures["memo_rewrap"], figures["memo_wheel_max"], peerBytes,
      figures["memo_peer_show"], figures["memo_peer_rewrap"], figures["plain_show"],
      figures["plain_rewrap"]);
  return 0;
}

}  // namespace
}  // namespace kestrava

int main(int argc, char** argv) {
  try {
    return kestrava::Run(argc, argv);
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "bench_long_line: %s\n", failure.what());
    return 1;
  }
}
