// The Skivet's frameless main window: a background picture, dragged by its background.
#pragma once

#include "windowsystem.h"

#include <QImage>
#include <QWidget>

#include <vector>

namespace nuv {

class MainWindow : public QWidget {
  Q_OBJECT
public:
  explicit MainWindow(QWidget *parent = nullptr);

  // Shows the picture and takes its logical size. A picture the display scales is drawn
  // smoothly when smooth is set; otherwise its pixels stay square, as a shape or colour key
  // traced from them needs.
  void setPicture(const QImage &picture, bool smooth = false);
  // Cuts the window to a region in its device pixels (a shape traced from art drawn pixel for
  // pixel): the mask covers it in logical pixels, and the native window takes the exact shape,
  // again whenever it is made anew. Any later setMask or clearMask replaces it.
  void setDeviceShape(const QRegion &deviceRegion);
  const QImage &picture() const { return m_picture; }
  void setMoveRestriction(MoveRestriction restriction) { m_restriction = restriction; }
  // The widget a new control goes into, in creation order: a layer of at most controlsPerLayer
  // controls. Qt paints overlapping siblings by recursion, one stack frame each, so tens of
  // thousands of controls side by side on the window itself overflow the stack; in layers the
  // depth stays near the number of layers plus one layer's controls.
  QWidget *controlParent();
  // The widgets that hold the controls, in creation order; each covers the whole window.
  const std::vector<QWidget *> &layers() const { return m_layers; }
  static constexpr int controlsPerLayer = 500;
  // A translucent window gets an ARGB visual, which X11 chooses when the native window is made:
  // the first change on a window that has one makes it anew, shown again where it was. Leaving
  // translucency keeps that visual (making the window anew costs more than a skin switch may
  // take) and paints every pixel opaque instead.
  void setTranslucent(bool translucent);
  // Takes every control away, with the layers that hold them; they are deleted later.
  void clearControls();

Q_SIGNALS:
  void firstPaint();
  // Sent before the native window is mapped, so window-manager hints set now take effect.
  void aboutToMap();
  // The pointer moved over the background, not over a control.
  void pointerOverBackground();
  // The window came back from being minimised.
  void restored();

protected:
  void paintEvent(QPaintEvent *event) override;
  void showEvent(QShowEvent *event) override;
  void changeEvent(QEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;
  void mouseMoveEvent(QMouseEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;

private:
  void applyDeviceShape();

  QImage m_picture;
  bool m_smooth = false;
  QRegion m_deviceShape; // set by setDeviceShape, while the mask is still m_shapeCover
  QRegion m_shapeCover;
  bool m_translucent = false;
  bool m_painted = false;
  bool m_dragging = false;
  QPoint m_grab; // pointer minus window position at the press, in screen pixels
  MoveRestriction m_restriction = MoveRestriction::Free;
  bool m_restrictionSaid = false;
  bool m_clipToMask = false;       // the mask does not cut the window itself
  std::vector<QWidget *> m_layers; // children of this window, each covering all of it
  int m_inLastLayer = 0;
};

} // namespace nuv
