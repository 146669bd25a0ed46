// The small window shown while PRELOAD fetches: a "LOADING" panel, or the document's picture.
#pragma once

#include <QImage>
#include <QRegion>
#include <QTimer>
#include <QWidget>

namespace nuv {

// Takes focus only when no main window shows (start-up): otherwise it comes and goes while the
// user may be typing in the main window, and Esc there reaches it through an event filter.
class LoadingWindow : public QWidget {
  Q_OBJECT
public:
  LoadingWindow();

  // A null picture shows the "LOADING" panel; a picture shows at its own size, cut to its
  // outline when shaped. Centred on the screen of the given window (the primary one when null).
  void present(const QImage &picture, bool shaped, const QWidget *near);

Q_SIGNALS:
  // The person gave up waiting: a click on the window, or Esc in any of the engine's windows.
  void cancelled();

protected:
  void paintEvent(QPaintEvent *event) override;
  void showEvent(QShowEvent *event) override;
  void hideEvent(QHideEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  QImage m_picture;
  QRegion m_deviceShape; // a shape traced from art, in device pixels
  QTimer m_pulse;        // moves the panel's busy stripe, so a long wait still looks alive
  int m_phase = 0;
};

} // namespace nuv
