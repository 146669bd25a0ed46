// The Skivet's frameless main window: a background picture with the document's controls on it.
#include "mainwindow.h"

#include <QPainter>

namespace nuv {

MainWindow::MainWindow(QWidget *parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
  setAttribute(Qt::WA_DeleteOnClose, false);
}

void MainWindow::setPicture(const QImage &picture) {
  m_picture = picture;
  if (!picture.isNull()) resize(picture.size());
  update();
}

void MainWindow::paintEvent(QPaintEvent *) {
  QPainter painter(this);
  if (!m_picture.isNull()) painter.drawImage(0, 0, m_picture);
  if (!m_painted) {
    m_painted = true;
    Q_EMIT firstPaint();
  }
}

} // namespace nuv
