// The widgets that show a Skivet's objects, each reporting the user's actions by record index.
#pragma once

#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QWidget>

namespace nuv {

// Text buttons, with or without a picture under the caption.
class TextButton : public QPushButton {
  Q_OBJECT
public:
  TextButton(int recordIndex, int id, QWidget *parent);
  void setPicture(const QPixmap &picture);

Q_SIGNALS:
  void activated(int recordIndex);
  void pointerOver(int recordIndex, int id);

protected:
  void mouseMoveEvent(QMouseEvent *event) override;
  void paintEvent(QPaintEvent *event) override;

private:
  int m_record;
  int m_id;
  QPixmap m_picture;
};

// Graphical and shaped buttons: a picture that swaps on press and hover.
class PictureButton : public QWidget {
  Q_OBJECT
public:
  PictureButton(int recordIndex, int id, QWidget *parent);
  void setPicture(const QPixmap &picture);
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
  QPixmap m_picture;
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
