// The baseline for start-up to first frame: a bare Qt frameless window shaped to a bitmap.
#include <QApplication>
#include <QBitmap>
#include <QElapsedTimer>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace {

// Shows the bitmap; reports the first paint and leaves, unless told to stay.
class ShapedWindow : public QWidget {
public:
  ShapedWindow(const QImage &image, const QElapsedTimer &sinceStart, bool stay)
      : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), m_image(image),
        m_sinceStart(sinceStart), m_stay(stay) {
    setWindowTitle(QStringLiteral("bare shaped"));
    setFixedSize(image.size());
    // The straightforward way: every pixel of the top-left pixel's colour is cut away. In the
    // bitmap made from the colour mask, MaskInColor leaves exactly the matching pixels out.
    setMask(QBitmap::fromImage(image.createMaskFromColor(image.pixel(0, 0), Qt::MaskInColor)));
  }

protected:
  void paintEvent(QPaintEvent *) override {
    QPainter(this).drawImage(0, 0, m_image);
    if (m_reported) return;
    m_reported = true;
    std::printf("first-paint-ms %lld\n", static_cast<long long>(m_sinceStart.elapsed()));
    std::fflush(stdout);
    if (!m_stay) QTimer::singleShot(0, this, [] { QCoreApplication::quit(); });
  }

private:
  QImage m_image;
  const QElapsedTimer &m_sinceStart;
  bool m_stay;
  bool m_reported = false;
};

} // namespace

int main(int argc, char *argv[]) {
  QElapsedTimer sinceStart;
  sinceStart.start();
  QApplication app(argc, argv);
  // --stay keeps the window open, to look at it.
  const bool stay = argc == 3 && qstrcmp(argv[1], "--stay") == 0;
  if (argc != 2 && !stay) {
    std::fprintf(stderr, "usage: bare_shaped_window [--stay] BITMAP\n");
    return 2;
  }
  const char *file = argv[argc - 1];
  const QImage image(QString::fromLocal8Bit(file));
  if (image.isNull()) {
    std::fprintf(stderr, "cannot read %s\n", file);
    return 1;
  }
  ShapedWindow window(image, sinceStart, stay);
  window.show();
  return QApplication::exec();
}
