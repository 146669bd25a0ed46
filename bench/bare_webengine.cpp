// The baseline for browser figures: a bare Qt program with one web view showing a page, placed
// where the engine's benchmark Skivet places its browser. Arguments: page x y width height.
#include <QApplication>
#include <QUrl>
#include <QWebEngineView>

#include <unistd.h>

int main(int argc, char *argv[]) {
  // As the engine's module does: Chromium refuses its sandbox to root only.
  if (geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  if (argc < 6) return 2;
  QWebEngineView view;
  view.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
  view.setWindowTitle(QStringLiteral("bare"));
  view.setGeometry(atoi(argv[2]), atoi(argv[3]), atoi(argv[4]), atoi(argv[5]));
  view.load(QUrl::fromLocalFile(QString::fromLocal8Bit(argv[1])));
  view.show();
  return QApplication::exec();
}
