// Row runs to a banded region: rows with the same runs as the band above extend it.
#include "rowbands.h"

namespace nuv {

void RowBands::addRun(int y, int left, int right) {
  if (right <= left) return;
  if (m_inRow && y != m_row) endRow();
  if (!m_inRow) {
    m_inRow = true;
    m_row = y;
    m_rowBegin = m_rects.size();
  }
  m_rects.append(QRect(left, y, right - left, 1));
}

void RowBands::endRow() {
  m_inRow = false;
  const qsizetype count = m_rects.size() - m_rowBegin;
  const bool extends = m_rowBegin > m_bandBegin && m_rowBegin - m_bandBegin == count &&
                       m_rects[m_bandBegin].bottom() == m_row - 1;
  if (extends) {
    bool same = true;
    for (qsizetype i = 0; same && i < count; ++i) {
      const QRect &above = m_rects[m_bandBegin + i];
      const QRect &here = m_rects[m_rowBegin + i];
      same = above.left() == here.left() && above.right() == here.right();
    }
    if (same) {
      for (qsizetype i = m_bandBegin; i < m_rowBegin; ++i)
        m_rects[i].setBottom(m_row);
      m_rects.resize(m_rowBegin);
      return;
    }
  }
  m_bandBegin = m_rowBegin;
}

QRegion RowBands::region() {
  if (m_inRow) endRow();
  QRegion region;
  region.setRects(m_rects.constData(), int(m_rects.size()));
  return region;
}

} // namespace nuv
