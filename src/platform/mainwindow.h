// The Skivet's frameless main window: a background picture with the document's controls on it.
#pragma once

#include <QImage>
#include <QWidget>

namespace nuv {

class MainWindow : public QWidget {
  Q_OBJECT
public:
  explicit MainWindow(QWidget *parent = nullptr);

  // Shows the picture unshaped and takes its size.
  void setPicture(const QImage &picture);
  const QImage &picture() const { return m_picture; }

Q_SIGNALS:
  void firstPaint();

protected:
  void paintEvent(QPaintEvent *event) override;

private:
  QImage m_picture;
  bool m_painted = false;
};

} // namespace nuv
