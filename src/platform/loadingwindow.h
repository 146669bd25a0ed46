// The small window shown while PRELOAD fetches: a "LOADING" panel, or the document's picture.
#pragma once

#include <QImage>
#include <QTimer>
#include <QWidget>

namespace nuv {

// Never takes focus: it comes and goes while the user may be typing in the main window.
class LoadingWindow : public QWidget {
  Q_OBJECT
public:
  LoadingWindow();

  // A null picture shows the "LOADING" panel; a picture shows at its own size, cut to its
  // outline when shaped. Centred on the screen of the given window (the primary one when null).
  void present(const QImage &picture, bool shaped, const QWidget *near);

protected:
  void paintEvent(QPaintEvent *event) override;
  void showEvent(QShowEvent *event) override;
  void hideEvent(QHideEvent *event) override;

private:
  QImage m_picture;
  QTimer m_pulse; // moves the panel's busy stripe, so a long wait still looks alive
  int m_phase = 0;
};

} // namespace nuv
