// The widgets that show a Skivet's objects, each reporting the user's actions by record index.
#pragma once

#include "accessibility.h"
#include "picture.h"
#include "windowsystem.h"

#include <QImage>
#include <QLineEdit>
#include <QPainterPath>
#include <QPushButton>
#include <QRegion>
#include <QWidget>

#include <optional>

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

// The ring that marks the control the keyboard is on: the outer two pixels of a control's
// outline, the outer one in the highlight colour and the inner one in a contrasting colour, so it
// shows on any picture.
struct FocusRing {
  QRegion outer;
  QRegion inner;
  static FocusRing along(const QRegion &outline);
  void paint(QPainter &painter, const QPalette &palette) const;
  // Only after the keyboard moved the focus: a window that starts with a focused control, or
  // one clicked into, shows no ring.
  static bool shownOn(const QWidget *control);
};

// Where controls report the user's actions: the window system's sink, read at each report, so
// that clearing it silences every control. A call instead of a signal: a connection per control
// and signal costs a document of many controls an allocation each.
class ControlSink {
public:
  explicit ControlSink(ControlEvents *const &events) : m_events(events) {}
  // The sink as it stands now; null while no one listens.
  ControlEvents *get() const { return m_events; }

private:
  ControlEvents *const &m_events;
};

// Text buttons, with or without a picture under the caption.
class TextButton : public QPushButton, public WaitingName {
  Q_OBJECT
public:
  TextButton(int recordIndex, int id, ControlSink sink, QWidget *parent);
  int recordIndex() const { return m_record; }
  void setPicture(PictureView picture);
  const PictureView &picture() const { return m_picture; }

protected:
  void mouseMoveEvent(QMouseEvent *event) override;
  void paintEvent(QPaintEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;

private:
  int m_record;
  int m_id;
  ControlSink m_sink;
  PictureView m_picture;
};

// Graphical and shaped buttons: a picture that swaps on press and hover.
class PictureButton : public QWidget, public WaitingName {
  Q_OBJECT
public:
  PictureButton(int recordIndex, int id, ControlSink sink, QWidget *parent);
  int recordIndex() const { return m_record; }
  void setPicture(PictureView picture);
  const PictureView &picture() const { return m_picture; }
  // A shaped button's own outline, which it is cut to. Its mask may be cut further (an alpha
  // skin clips objects), so the outline is kept apart. The outline is traced in pixels of
  // scale device pixels to a logical one (2 for double-density art); outline() gives the logical
  // pixels it touches.
  void setOutline(const QRegion &outline, qreal scale = 1.0);
  const QRegion &outline() const { return m_outline; }
  // What a click does, at once: press, release and activation. For the keyboard's Enter and a
  // screen reader's press action.
  void click();

protected:
  void paintEvent(QPaintEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;
  void mouseMoveEvent(QMouseEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;
  void keyReleaseEvent(QKeyEvent *event) override;
  void focusOutEvent(QFocusEvent *event) override;

private:
  // Each report may run a block that takes the controls away: false when this one went.
  bool report(void (ControlEvents::*event)(int, ControlId));
  bool reportClick();

  int m_record;
  int m_id;
  ControlSink m_sink;
  PictureView m_picture;
  QRegion m_outline;           // empty: not shaped
  QPainterPath m_exactOutline; // the outline's device pixels, when they split logical ones
  // Traced from a shaped button's outline when the ring first shows, then kept with it.
  std::optional<FocusRing> m_outlineRing;
  bool m_pressed = false;
  bool m_spaceDown = false; // pressed by the Space key, which releases it
};

// Reports each key before it takes effect, with the box's text as it stands.
class InputBox : public QLineEdit, public WaitingName {
  Q_OBJECT
public:
  InputBox(int recordIndex, ControlSink sink, QWidget *parent);

protected:
  void keyPressEvent(QKeyEvent *event) override;

private:
  int m_record;
  ControlSink m_sink;
};

} // namespace nuv
