// Builds a region from pixel runs given row by row, merging equal rows into bands.
#pragma once

#include <QList>
#include <QRect>
#include <QRegion>

namespace nuv {

// Runs must come in ascending rows, and within a row in ascending, non-touching columns;
// the region is then made in one step instead of by repeated unions.
class RowBands {
public:
  void addRun(int y, int left, int right); // pixels left..right-1 of row y
  QRegion region();

private:
  void endRow();

  QList<QRect> m_rects;
  qsizetype m_bandBegin = 0; // first rectangle of the band the last finished row joined
  qsizetype m_rowBegin = 0;  // first rectangle of the current row
  int m_row = 0;
  bool m_inRow = false;
};

} // namespace nuv
