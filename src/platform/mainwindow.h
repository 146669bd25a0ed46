// The Skivet's frameless main window: a background picture, dragged by its background.
#pragma once

#include "windowsystem.h"

#include <QImage>
#include <QWidget>

namespace nuv {

class MainWindow : public QWidget {
  Q_OBJECT
public:
  explicit MainWindow(ControlEvents *&events, QWidget *parent = nullptr);

  // Shows the picture and takes its size.
  void setPicture(const QImage &picture);
  const QImage &picture() const { return m_picture; }
  // 0 free, 1 no move, 2 sideways only, 3 up and down only; any other value does not move.
  void setMoveRestriction(int mode) { m_restriction = mode; }

Q_SIGNALS:
  void firstPaint();
  // Sent before the native window is mapped, so window-manager hints set now take effect.
  void aboutToMap();

protected:
  void paintEvent(QPaintEvent *event) override;
  void showEvent(QShowEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;
  void mouseMoveEvent(QMouseEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;

private:
  ControlEvents *&m_events;
  QImage m_picture;
  bool m_painted = false;
  bool m_dragging = false;
  QPoint m_grab; // pointer minus window position at the press, in screen pixels
  int m_restriction = 0;
};

} // namespace nuv
