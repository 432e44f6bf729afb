// The main window's stream rows at 30,000 streams: placing every row after a resize, and a
// repaint of what shows. Each is measured beside a baseline in the same run: the placement
// rule alone (no window), and the same repaint with 500 rows (a screenful and more).
//
//   velgate_window_bench [Google Benchmark options]      (offscreen unless QT_QPA_PLATFORM says)

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <memory>
#include <string>

#include "model/RowLayout.h"
#include "ui/qt/StreamRowsView.h"

namespace {

constexpr int kListeners = 2;
constexpr int kWindowHeight = 12000;  // twips: 35 rows to a column

std::unique_ptr<velgate::qt::StreamRowsView> RowsView(int streams) {
  auto view = std::make_unique<velgate::qt::StreamRowsView>(nullptr);
  view->resize(1200, 800);
  const int last = kListeners + streams;
  view->SetListeners(kListeners);
  view->SetRowCount(last + 1);
  for (int s = kListeners + 1; s <= last; ++s) {
    velgate::StatusRow row;
    row.address.text = "127.0." + std::to_string(s / 256 % 256) + "." + std::to_string(s % 256);
    row.address.colour = velgate::colours::kGreen;
    row.port.text = std::to_string(40000 + s % 20000);
    row.call.text = "G" + std::to_string(s % 10) + "ABC";
    view->SetRow(s, row);
  }
  view->ReFormat(kWindowHeight, false);
  return view;
}

void PlacementRuleAlone(benchmark::State& state) {
  velgate::RowLayout layout;
  for (auto _ : state) {
    layout.Resized();
    benchmark::DoNotOptimize(layout.ReFormat(kWindowHeight, false, kListeners,
                                             kListeners + static_cast<int>(state.range(0))));
  }
}

void WindowPlacesEveryRow(benchmark::State& state) {
  auto view = RowsView(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    view->Resized();
    view->ReFormat(kWindowHeight, false);
  }
}

void WindowRepaints(benchmark::State& state) {
  auto view = RowsView(static_cast<int>(state.range(0)));
  // Scrolled to the middle of the columns, where a search for the visible rows costs most.
  view->horizontalScrollBar()->setValue(view->horizontalScrollBar()->maximum() / 2);
  QImage image(view->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
  for (auto _ : state) {
    view->viewport()->render(&image);
    benchmark::DoNotOptimize(image.bits());
  }
}

BENCHMARK(PlacementRuleAlone)->Arg(30000)->Unit(benchmark::kMillisecond);
BENCHMARK(WindowPlacesEveryRow)->Arg(30000)->Unit(benchmark::kMillisecond);
BENCHMARK(WindowRepaints)->Arg(500)->Arg(30000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int qt_argc = 1;
  QApplication application(qt_argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
