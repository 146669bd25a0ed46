// Small alpha pictures drawn as rows of characters, for the alpha mask and shape tests.
#pragma once

#include <QImage>
#include <QStringList>

namespace nuv::test {

// Alpha by character: '.' 0, ':' 128, '#' 255.
inline QImage alphaImage(const QStringList &rows) {
  QImage image(int(rows.first().size()), int(rows.size()), QImage::Format_ARGB32);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const char c = rows[y].at(x).toLatin1();
      image.setPixel(x, y, qRgba(40, 80, 120, c == '#' ? 255 : c == ':' ? 128 : 0));
    }
  return image;
}

} // namespace nuv::test
