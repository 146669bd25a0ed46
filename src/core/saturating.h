// Pixel arithmetic on values documents and command lines choose: sums that do not fit an int
// stop at its edge instead of wrapping.
#pragma once

#include <QRect>
#include <QtGlobal>

#include <algorithm>
#include <limits>

namespace nuv {

// The nearest int to a 64-bit value.
inline int saturatedInt(qint64 value) {
  return int(
      std::clamp<qint64>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

inline int saturatedSum(int a, int b) {
  return saturatedInt(qint64(a) + qint64(b));
}

inline int saturatedDifference(int a, int b) {
  return saturatedInt(qint64(a) - qint64(b));
}

// QRect keeps its right and bottom edges (left + width - 1), which must fit an int as well: a
// size that would reach past the edge is cut to reach just that far.
inline QRect saturatedRect(int left, int top, int width, int height) {
  const int right = saturatedInt(qint64(left) + width - 1);
  const int bottom = saturatedInt(qint64(top) + height - 1);
  return QRect(QPoint(left, top), QPoint(right, bottom));
}

} // namespace nuv
