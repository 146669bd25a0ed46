// TITLE lines through the interpreter and the real window system, against a statement that only
// touches the engine: a caption costs what any other statement costs. Offscreen by default; with
// QT_QPA_PLATFORM=xcb under Xvfb the X server's share (another process) counts too.
#include "../tests/support/nullwindowsystem.h"
#include "interpreter.h"
#include "qtwindowsystem.h"

#include <QApplication>

#include <benchmark/benchmark.h>

namespace {

// Two lines in turn: a caption that does not change is no change at all.
QString alternating(const QString &first, const QString &second, qsizetype count) {
  QString text;
  text.reserve((first.size() + second.size() + 2) * count / 2);
  for (qsizetype i = 0; i < count; ++i) {
    text += i % 2 == 0 ? first : second;
    text += u'\n';
  }
  return text;
}

// One event-loop turn: the run, then whatever the window system left for the loop to do.
void runLines(benchmark::State &state, const QString &first, const QString &second) {
  nuv::QtWindowSystem windows;
  nuv::test::NullResources resources;
  nuv::Interpreter interpreter(windows, resources);
  windows.setEventSink(&interpreter);
  windows.mainWindow().show();
  QCoreApplication::processEvents();
  const QString document = alternating(first, second, state.range(0));
  for (auto _ : state) {
    QString text = document;
    interpreter.parseContent(text);
    QCoreApplication::processEvents();
  }
  windows.setEventSink(nullptr);
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void titleLines(benchmark::State &state) {
  runLines(state, QStringLiteral("TITLE \"Window caption\""),
           QStringLiteral("TITLE \"Other caption\""));
}

// Reads its operand and sets a window-wide value, like TITLE, but asks nothing of the desktop.
void engineOnlyLines(benchmark::State &state) {
  runLines(state, QStringLiteral("CLIPOBJECTS TRUE"), QStringLiteral("CLIPOBJECTS FALSE"));
}

} // namespace

BENCHMARK(engineOnlyLines)->Arg(100000)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(titleLines)->Arg(100000)->UseRealTime()->Unit(benchmark::kMillisecond);

int main(int argc, char **argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
