// The baseline for start-up to first frame: a bare Qt frameless window shaped to a bitmap.
#include "picturewindow.h"

#include <QBitmap>

int main(int argc, char *argv[]) {
  return showPicture(argc, argv, "bare_shaped_window [--stay] BITMAP",
                     [](PictureWindow &window, const QImage &picture) {
                       window.setWindowTitle(QStringLiteral("bare shaped"));
                       // The straightforward way: every pixel of the top-left pixel's colour is
                       // cut away. In the bitmap made from the colour mask, MaskInColor leaves
                       // exactly the matching pixels out.
                       window.setMask(QBitmap::fromImage(
                           picture.createMaskFromColor(picture.pixel(0, 0), Qt::MaskInColor)));
                     });
}
