// The baseline for start-up figures: a bare Qt program that opens and closes a frameless window.
#include <QApplication>
#include <QTimer>
#include <QWidget>

int main(int argc, char *argv[]) {
  QApplication app(argc, argv);
  QWidget window(nullptr, Qt::Window | Qt::FramelessWindowHint);
  window.setWindowTitle(QStringLiteral("bare"));
  window.resize(200, 100);
  window.show();
  QTimer::singleShot(0, &window, [] { QCoreApplication::quit(); });
  return QApplication::exec();
}
