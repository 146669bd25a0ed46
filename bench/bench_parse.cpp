// Throughput of parseContent over generated documents of 1, 4 and 16 MB.
#include "../tests/support/nullwindowsystem.h"
#include "interpreter.h"

#include <benchmark/benchmark.h>

#include <optional>

namespace {

// Mixed statements as documents hold them: directives, comments, blank lines,
// object blocks with events, and commands on named objects.
QString makeDocument(qsizetype bytes) {
  QString doc;
  doc.reserve(bytes + 1024);
  int n = 0;
  while (doc.size() < bytes) {
    ++n;
    const QString id = QString::number(n);
    doc += QStringLiteral("# block ") + id + QStringLiteral("\r\n\r\n");
    doc += QStringLiteral("TITLE \"Window ") + id + QStringLiteral(" # not a comment\"\r\n");
    doc += QStringLiteral("OBJECT BUTTON\r\n\tNAME Button") + id +
           QStringLiteral("\r\n\tCAPTION 'Play'\r\n\tLEFT 10\r\n\tTOP 20\r\n\tWIDTH 80\r\n");
    doc +=
        QStringLiteral("\tEVENT CLICK\r\n\t\tTITLE UC(Box1.TEXT)\r\n\tENDEVENT\r\nENDOBJECT\r\n");
    doc += QStringLiteral("   \r\nSETMASKCOLOR RGB(254, 1, 254)\r\n");
    doc += QStringLiteral("Button") + id + QStringLiteral(".MOVE 10, 20   # a command\r\n");
    doc += QStringLiteral("RESTRICTMOVE NUV.RMHorizontalOnly\r\nCACHELEVEL 2\r\n\r\n");
  }
  return doc;
}

void parseDocument(benchmark::State &state) {
  const QString document = makeDocument(state.range(0) << 20);
  nuv::test::NullWindowSystem windows;
  nuv::test::NullResources resources;
  std::optional<nuv::Interpreter> interpreter;
  QString text;
  for (auto _ : state) {
    // Tearing down the previous run's objects is not part of running a document.
    state.PauseTiming();
    interpreter.reset();
    interpreter.emplace(windows, resources);
    // A caller's own text, as start-up hands over the document it has just read.
    text = QString(document.constData(), document.size());
    state.ResumeTiming();
    interpreter->parseContent(text);
    benchmark::DoNotOptimize(text);
  }
  // Bytes of the document as stored (UTF-8 on disk, one byte per character here).
  state.SetBytesProcessed(state.iterations() * document.size());
}

} // namespace

BENCHMARK(parseDocument)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
