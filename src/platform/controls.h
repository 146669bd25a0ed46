// The widgets that show a Skivet's objects, each reporting the user's actions by record index.
#pragma once

#include "windowsystem.h"

#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QWidget>

namespace nuv {

// Text buttons, with or without a picture under the caption.
class TextButton : public QPushButton {
  Q_OBJECT
public:
  TextButton(ControlEvents *&events, int recordIndex, ControlId id, QWidget *parent);
  void setPicture(const QPixmap &picture);

protected:
  void mouseMoveEvent(QMouseEvent *event) override;
  void paintEvent(QPaintEvent *event) override;

private:
  ControlEvents *&m_events;
  int m_record;
  ControlId m_id;
  QPixmap m_picture;
};

// Graphical and shaped buttons: a picture that swaps on press and hover.
class PictureButton : public QWidget {
  Q_OBJECT
public:
  PictureButton(ControlEvents *&events, int recordIndex, ControlId id, QWidget *parent);
  void setPicture(const QPixmap &picture);

protected:
  void paintEvent(QPaintEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;
  void mouseMoveEvent(QMouseEvent *event) override;

private:
  ControlEvents *&m_events;
  int m_record;
  ControlId m_id;
  QPixmap m_picture;
  bool m_pressed = false;
};

class InputBox : public QLineEdit {
  Q_OBJECT
public:
  InputBox(ControlEvents *&events, int recordIndex, QWidget *parent);

protected:
  void keyPressEvent(QKeyEvent *event) override;

private:
  ControlEvents *&m_events;
  int m_record;
};

} // namespace nuv
