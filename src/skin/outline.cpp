// Moore-neighbour contour tracing over a 32-bit pixel buffer.
#include "outline.h"

#include "rowbands.h"

#include <QPolygon>

#include <algorithm>

namespace nuv {

namespace {

// Neighbour offsets by direction index (direction / 45 degrees, Y downwards).
constexpr int StepX[8] = {1, 1, 0, -1, -1, -1, 0, 1};
constexpr int StepY[8] = {0, 1, 1, 1, 0, -1, -1, -1};
constexpr int StartDirection = 5; // 225 degrees: up and to the left
constexpr int ProbesPerStep = 9;  // the first direction is looked at twice
constexpr int TurnAfterStep = 5;  // -135 degrees, modulo 8

// Pixels as stored 32-bit values; anything outside the image counts as transparent, so a shape
// that touches an edge is traced along its own outline.
class PixelBuffer {
public:
  explicit PixelBuffer(const QImage &image)
      : m_image(toPixelFormat(image)), m_bits(m_image.constBits()),
        m_stride(m_image.bytesPerLine()), m_width(m_image.width()), m_height(m_image.height()) {}

  int width() const { return m_width; }
  int height() const { return m_height; }
  const quint32 *row(int y) const {
    return reinterpret_cast<const quint32 *>(m_bits + qsizetype(y) * m_stride);
  }
  bool isShape(int x, int y, quint32 transparent) const {
    if (unsigned(x) >= unsigned(m_width) || unsigned(y) >= unsigned(m_height)) return false;
    return row(y)[x] != transparent;
  }

private:
  // Skins usually arrive as RGB32 or premultiplied ARGB32 and are used without a copy.
  static QImage toPixelFormat(const QImage &image) {
    switch (image.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32_Premultiplied:
      return image;
    default:
      return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                           : QImage::Format_RGB32);
    }
  }

  QImage m_image;
  const uchar *m_bits;
  qsizetype m_stride;
  int m_width;
  int m_height;
};

// First pixel in reading order that differs from the transparent colour.
bool findStart(const PixelBuffer &pixels, quint32 transparent, QPoint &start) {
  const int width = pixels.width();
  for (int y = 0; y < pixels.height(); ++y) {
    const quint32 *row = pixels.row(y);
    int x = 0;
    // Blocks of eight without early exits let the compiler vectorise the common all-clear case.
    for (; x + 8 <= width; x += 8) {
      quint32 diff = 0;
      for (int i = 0; i < 8; ++i)
        diff |= row[x + i] ^ transparent;
      if (diff != 0) break;
    }
    for (; x < width; ++x) {
      if (row[x] != transparent) {
        start = QPoint(x, y);
        return true;
      }
    }
  }
  return false;
}

// Direction of the first shape neighbour from the given direction on, clockwise; -1 if none.
inline int probeNeighbours(const PixelBuffer &pixels, int x, int y, int direction,
                           quint32 transparent) {
  for (int probe = 0; probe < ProbesPerStep; ++probe) {
    const int d = (direction + probe) & 7;
    if (pixels.isShape(x + StepX[d], y + StepY[d], transparent)) return d;
  }
  return -1;
}

// Traced outlines move at most one pixel each way per point.
bool hasUnitSteps(const std::vector<QPoint> &closed) {
  for (size_t i = 1; i < closed.size(); ++i) {
    const QPoint step = closed[i] - closed[i - 1];
    if (step.x() < -1 || step.x() > 1 || step.y() < -1 || step.y() > 1) return false;
  }
  return true;
}

struct Crossing {
  int y;
  int x;
  int winding;
  bool operator<(const Crossing &other) const { return y != other.y ? y < other.y : x < other.x; }
};

// The winding-fill polygon region of a closed unit-step outline, made in linear time (Qt's
// polygon scan conversion grows faster than the outline). Same pixels as Qt's: scanlines sample
// whole coordinates and an edge spans its rows half-open, so each non-horizontal unit edge
// crosses exactly one scanline, the one at its upper end, at that end's column.
QRegion unitStepRegion(const std::vector<QPoint> &closed) {
  std::vector<Crossing> crossings;
  crossings.reserve(closed.size());
  for (size_t i = 1; i < closed.size(); ++i) {
    const QPoint &from = closed[i - 1];
    const QPoint &to = closed[i];
    if (from.y() == to.y()) continue;
    const QPoint &upper = from.y() < to.y() ? from : to;
    crossings.push_back({upper.y(), upper.x(), from.y() < to.y() ? 1 : -1});
  }
  std::sort(crossings.begin(), crossings.end());
  RowBands bands;
  int winding = 0;
  int spanStart = 0;
  for (size_t i = 0; i < crossings.size();) {
    // Crossings at one column act together, so spans never touch or come out empty.
    const Crossing &at = crossings[i];
    const int before = winding;
    for (; i < crossings.size() && crossings[i].y == at.y && crossings[i].x == at.x; ++i)
      winding += crossings[i].winding;
    if (before == 0 && winding != 0)
      spanStart = at.x;
    else if (before != 0 && winding == 0)
      bands.addRun(at.y, spanStart, at.x);
  }
  return bands.region();
}

} // namespace

std::int64_t outlineStepBound(const QSize &size) {
  return 4 * (std::int64_t(size.width()) + 2) * (std::int64_t(size.height()) + 2) + 16;
}

std::vector<QPoint> TraceOutline(const QImage &image) {
  return TraceOutline(image, outlineStepBound(image.size()));
}

std::vector<QPoint> TraceOutline(const QImage &image, std::int64_t maxSteps) {
  if (image.isNull()) return {};
  const PixelBuffer pixels(image);
  const quint32 transparent = pixels.row(0)[0];
  QPoint start;
  if (!findStart(pixels, transparent, start)) return {};

  std::vector<QPoint> outline{start};
  int x = start.x();
  int y = start.y();
  int direction = StartDirection;
  for (std::int64_t steps = 0; steps < maxSteps; ++steps) {
    const int hit = probeNeighbours(pixels, x, y, direction, transparent);
    if (hit < 0) {
      direction = (direction + ProbesPerStep) & 7; // an isolated pixel: stay put
    } else {
      direction = hit;
      x += StepX[hit];
      y += StepY[hit];
    }
    direction = (direction + TurnAfterStep) & 7;
    outline.emplace_back(x, y);
    if (x == start.x() && y == start.y()) return outline;
  }
  return {};
}

QRegion outlineRegion(const std::vector<QPoint> &outline) {
  if (outline.size() < 2) return {};
  if (outline.front() == outline.back() && hasUnitSteps(outline)) return unitStepRegion(outline);
  const QPolygon polygon(QList<QPoint>(outline.begin(), outline.end() - 1));
  return QRegion(polygon, Qt::WindingFill);
}

} // namespace nuv
