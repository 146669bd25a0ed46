// The floor under many controls: a bare Qt program that makes N push buttons, or N plain widgets
// that paint a rectangle, in a frameless window, and reports its first paint.
#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

namespace {

class Window : public QWidget {
public:
  explicit Window(const QElapsedTimer &sinceStart)
      : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), m_sinceStart(sinceStart) {}

protected:
  void paintEvent(QPaintEvent *) override {
    if (m_reported) return;
    m_reported = true;
    std::printf("first-paint-ms %lld\n", static_cast<long long>(m_sinceStart.elapsed()));
    std::fflush(stdout);
    QTimer::singleShot(0, this, [] { std::_Exit(0); });
  }

private:
  const QElapsedTimer &m_sinceStart;
  bool m_reported = false;
};

// The least a control can be: a widget that paints its rectangle.
class Plain : public QWidget {
public:
  using QWidget::QWidget;

protected:
  void paintEvent(QPaintEvent *) override { QPainter(this).fillRect(rect(), Qt::lightGray); }
};

} // namespace

int main(int argc, char *argv[]) {
  QElapsedTimer sinceStart;
  sinceStart.start();
  QApplication app(argc, argv);
  if (argc != 3 || (qstrcmp(argv[1], "buttons") != 0 && qstrcmp(argv[1], "plain") != 0)) {
    std::fprintf(stderr, "usage: bare_buttons buttons|plain COUNT\n");
    return 2;
  }
  const bool buttons = qstrcmp(argv[1], "buttons") == 0;
  const int count = std::atoi(argv[2]);
  Window window(sinceStart);
  window.resize(400, 300);
  // Placed as the engine places a document's default buttons: all at the same place, in layers
  // of 500 as the engine holds them (Qt paints siblings recursively, one stack frame each).
  constexpr int perLayer = 500;
  QWidget *layer = nullptr;
  for (int i = 0; i < count; ++i) {
    if (i % perLayer == 0) {
      layer = new QWidget(&window);
      layer->resize(window.size());
    }
    QWidget *control = buttons ? static_cast<QWidget *>(new QPushButton(layer))
                               : static_cast<QWidget *>(new Plain(layer));
    control->setGeometry(0, 0, 100, 30);
  }
  // As the engine does: polished in one pass, the controls show in linear time.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::PolishRequest);
  window.show();
  return QApplication::exec();
}
