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

// Shows the bitmap; reports the first paint and leaves.
class ShapedWindow : public QWidget {
public:
  ShapedWindow(const QImage &image, const QElapsedTimer &sinceStart)
      : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), m_image(image),
        m_sinceStart(sinceStart) {
    setWindowTitle(QStringLiteral("bare shaped"));
    setFixedSize(image.size());
    // The straightforward way: every pixel of the top-left pixel's colour is cut away.
    setMask(QBitmap::fromImage(image.createMaskFromColor(image.pixel(0, 0), Qt::MaskOutColor)));
  }

protected:
  void paintEvent(QPaintEvent *) override {
    QPainter(this).drawImage(0, 0, m_image);
    if (m_reported) return;
    m_reported = true;
    std::printf("first-paint-ms %lld\n", static_cast<long long>(m_sinceStart.elapsed()));
    std::fflush(stdout);
    QTimer::singleShot(0, this, [] { QCoreApplication::quit(); });
  }

private:
  QImage m_image;
  const QElapsedTimer &m_sinceStart;
  bool m_reported = false;
};

} // namespace

int main(int argc, char *argv[]) {
  QElapsedTimer sinceStart;
  sinceStart.start();
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: bare_shaped_window BITMAP\n");
    return 2;
  }
  const QImage image(QString::fromLocal8Bit(argv[1]));
  if (image.isNull()) {
    std::fprintf(stderr, "cannot read %s\n", argv[1]);
    return 1;
  }
  ShapedWindow window(image, sinceStart);
  window.show();
  return QApplication::exec();
}
