// The baseline for an alpha skin's first frame: a bare Qt translucent frameless window that
// paints a per-pixel-alpha PNG.
#include "picturewindow.h"

int main(int argc, char *argv[]) {
  return showPicture(argc, argv, "bare_alpha_window [--stay] PNG",
                     [](PictureWindow &window, const QImage &picture) {
                       window.setWindowTitle(QStringLiteral("bare alpha"));
                       window.setAttribute(Qt::WA_TranslucentBackground);
                       window.setPicture(
                           picture.convertToFormat(QImage::Format_ARGB32_Premultiplied));
                     });
}
