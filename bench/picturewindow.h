// What the bare first-frame baselines share: a frameless window that paints one picture and
// reports its first paint, and the "[--stay] PICTURE" command line around it.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>
#include <QWidget>

#include <cstdio>

// Shows the picture; prints "first-paint-ms N" on the first paint and leaves, unless told to stay.
class PictureWindow : public QWidget {
public:
  PictureWindow(const QImage &picture, const QElapsedTimer &sinceStart, bool stay)
      : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), m_picture(picture),
        m_sinceStart(sinceStart), m_stay(stay) {
    setFixedSize(picture.size());
  }
  // The same picture in a form that paints faster.
  void setPicture(const QImage &picture) { m_picture = picture; }

protected:
  void paintEvent(QPaintEvent *) override {
    QPainter(this).drawImage(0, 0, m_picture);
    if (m_reported) return;
    m_reported = true;
    std::printf("first-paint-ms %lld\n", static_cast<long long>(m_sinceStart.elapsed()));
    std::fflush(stdout);
    if (!m_stay) QTimer::singleShot(0, this, [] { QCoreApplication::quit(); });
  }

private:
  QImage m_picture;
  const QElapsedTimer &m_sinceStart;
  bool m_stay;
  bool m_reported = false;
};

// main of a baseline: reads the picture named on the command line and shows it in a
// PictureWindow that prepare(window, picture) makes look the way the baseline shows pictures.
// --stay keeps the window open, to look at it.
template <typename Prepare>
int showPicture(int argc, char *argv[], const char *usage, Prepare prepare) {
  QElapsedTimer sinceStart;
  sinceStart.start();
  QApplication app(argc, argv);
  const bool stay = argc == 3 && qstrcmp(argv[1], "--stay") == 0;
  if (argc != 2 && !stay) {
    std::fprintf(stderr, "usage: %s\n", usage);
    return 2;
  }
  const char *file = argv[argc - 1];
  const QImage picture(QString::fromLocal8Bit(file));
  if (picture.isNull()) {
    std::fprintf(stderr, "cannot read %s\n", file);
    return 1;
  }
  PictureWindow window(picture, sinceStart, stay);
  prepare(window, picture);
  window.show();
  return QApplication::exec();
}
