// The widgets that show a Skivet's objects, each reporting the user's actions by record index.
#pragma once

#include "picture.h"

#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

class QPainter;

namespace nuv {

// What a control paints of a picture: the whole, shared with every other user of it, or only
// the part the control can show (see QtWindowSystem::viewOf).
struct PictureView {
  Picture pixels; // the whole picture or a part of it; null for none
  QPoint at;      // where pixels lies in the whole picture
  QSize size;     // the whole picture's size; empty for none

  bool isNull() const { return size.isEmpty(); }
  // Where a picture of pictureSize lies on a button: a picture button shows it from its
  // top-left corner, a text button centred.
  static QPoint originOn(const QWidget *button, QSize pictureSize);
  // Paints the part of the picture that falls in area, the picture's top-left at origin.
  void paint(QPainter &painter, QPoint origin, const QRect &area) const;
};

// Text buttons, with or without a picture under the caption.
class TextButton : public QPushButton {
  Q_OBJECT
public:
  TextButton(int recordIndex, int id, QWidget *parent);
  int recordIndex() const { return m_record; }
  void setPicture(PictureView picture);
  const PictureView &picture() const { return m_picture; }

Q_SIGNALS:
  void activated(int recordIndex);
  void pointerOver(int recordIndex, int id);

protected:
  void mouseMoveEvent(QMouseEvent *event) override;
  void paintEvent(QPaintEvent *event) override;

private:
  int m_record;
  int m_id;
  PictureView m_picture;
};

// Graphical and shaped buttons: a picture that swaps on press and hover.
class PictureButton : public QWidget {
  Q_OBJECT
public:
  PictureButton(int recordIndex, int id, QWidget *parent);
  int recordIndex() const { return m_record; }
  void setPicture(PictureView picture);
  const PictureView &picture() const { return m_picture; }
  // A shaped button's own outline, which it is cut to. Its mask may be cut further (an alpha
  // skin clips objects), so the outline is kept apart.
  void setOutline(const QRegion &outline);
  const QRegion &outline() const { return m_outline; }

Q_SIGNALS:
  void pressed(int recordIndex, int id);
  void released(int recordIndex, int id);
  void activated(int recordIndex);
  void pointerOver(int recordIndex, int id);

protected:
  void paintEvent(QPaintEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;
  void mouseMoveEvent(QMouseEvent *event) override;

private:
  int m_record;
  int m_id;
  PictureView m_picture;
  QRegion m_outline; // empty: not shaped
  bool m_pressed = false;
};

class InputBox : public QLineEdit {
  Q_OBJECT
public:
  InputBox(int recordIndex, QWidget *parent);

Q_SIGNALS:
  // Before the key takes effect: textBefore is the box's text as it stands.
  void keyTyped(int recordIndex, const QString &textBefore, bool enter);

protected:
  void keyPressEvent(QKeyEvent *event) override;

private:
  int m_record;
};

} // namespace nuv
