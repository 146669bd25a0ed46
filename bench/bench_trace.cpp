// Outline tracing of a large skin with a long wavy edge, at two sizes for the linearity check.
#include "alphamask.h"
#include "alphashape.h"
#include "outline.h"

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

constexpr QRgb Background = 0xffffffff;
constexpr QRgb Shape = 0xff203040;

// A filled star: radius 0.39 of the side, waving by 0.07 of the side, 64 waves around. The
// outline is far longer than the image is wide, and the shape starts a few rows down.
QImage wavyStar(int side) {
  QImage image(side, side, QImage::Format_RGB32);
  const double centre = side / 2.0;
  const double radius = 0.39 * side;
  const double wave = 0.07 * side;
  for (int y = 0; y < side; ++y) {
    auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
    for (int x = 0; x < side; ++x) {
      const double dx = x + 0.5 - centre;
      const double dy = y + 0.5 - centre;
      const double edge = radius + wave * std::sin(64 * std::atan2(dy, dx));
      row[x] = dx * dx + dy * dy <= edge * edge ? Shape : Background;
    }
  }
  return image;
}

const QImage &star(int side) {
  static const QImage large = wavyStar(4096);
  static const QImage small = wavyStar(2048);
  return side == 4096 ? large : small;
}

void BM_TraceOutline(benchmark::State &state) {
  const QImage &image = star(int(state.range(0)));
  size_t points = 0;
  for (auto _ : state) {
    const std::vector<QPoint> outline = nuv::TraceOutline(image);
    points = outline.size();
    benchmark::DoNotOptimize(outline.data());
  }
  state.counters["points"] = double(points);
}
BENCHMARK(BM_TraceOutline)->Arg(2048)->Arg(4096)->Unit(benchmark::kMillisecond);

// The start search alone: one shape pixel in the last row, so every pixel is scanned.
void BM_TraceOutlineLastRow(benchmark::State &state) {
  const int side = int(state.range(0));
  QImage image(side, side, QImage::Format_RGB32);
  image.fill(Background);
  image.setPixel(side - 2, side - 1, Shape);
  for (auto _ : state)
    benchmark::DoNotOptimize(nuv::TraceOutline(image));
}
BENCHMARK(BM_TraceOutlineLastRow)->Arg(2048)->Arg(4096)->Unit(benchmark::kMillisecond);

void BM_OutlineRegion(benchmark::State &state) {
  const std::vector<QPoint> outline = nuv::TraceOutline(star(int(state.range(0))));
  for (auto _ : state)
    benchmark::DoNotOptimize(nuv::outlineRegion(outline));
}
BENCHMARK(BM_OutlineRegion)->Arg(2048)->Arg(4096)->Unit(benchmark::kMillisecond);

void BM_OpaqueRegion(benchmark::State &state) {
  QImage image = star(int(state.range(0))).convertToFormat(QImage::Format_ARGB32);
  image.setAlphaChannel(image.convertToFormat(QImage::Format_Grayscale8));
  for (auto _ : state)
    benchmark::DoNotOptimize(nuv::opaqueRegion(image, 128));
}
BENCHMARK(BM_OpaqueRegion)->Arg(2048)->Arg(4096)->Unit(benchmark::kMillisecond);

// An alpha skin's whole shape work on a switch: both regions in one pass, then the window's
// shapes with and without a compositor.
void BM_AlphaSkinShapes(benchmark::State &state) {
  QImage image = star(int(state.range(0))).convertToFormat(QImage::Format_ARGB32_Premultiplied);
  image.setAlphaChannel(image.convertToFormat(QImage::Format_Grayscale8));
  const QRegion objects(QRect(40, 40, 200, 30));
  for (auto _ : state) {
    const nuv::AlphaRegions regions = nuv::alphaRegions(image);
    benchmark::DoNotOptimize(nuv::alphaWindowShape(regions, objects, true, true));
    benchmark::DoNotOptimize(nuv::alphaWindowShape(regions, objects, false, false));
  }
}
BENCHMARK(BM_AlphaSkinShapes)->Arg(2048)->Arg(4096)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
