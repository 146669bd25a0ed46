// The baseline for an alpha skin's first frame: a bare Qt translucent frameless window that
// paints a per-pixel-alpha PNG.
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace {

// Shows the picture; reports the first paint and leaves, unless told to stay.
class AlphaWindow : public QWidget {
public:
  AlphaWindow(const QImage &image, const QElapsedTimer &sinceStart, bool stay)
      : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint),
        m_image(image.convertToFormat(QImage::Format_ARGB32_Premultiplied)),
        m_sinceStart(sinceStart), m_stay(stay) {
    setWindowTitle(QStringLiteral("bare alpha"));
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedSize(image.size());
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
    std::fprintf(stderr, "usage: bare_alpha_window [--stay] PNG\n");
    return 2;
  }
  const char *file = argv[argc - 1];
  const QImage image(QString::fromLocal8Bit(file));
  if (image.isNull()) {
    std::fprintf(stderr, "cannot read %s\n", file);
    return 1;
  }
  AlphaWindow window(image, sinceStart, stay);
  window.show();
  return QApplication::exec();
}
