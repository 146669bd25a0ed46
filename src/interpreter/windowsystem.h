// The one seam between the interpreter and the desktop: windows, controls, messages, processes.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

namespace nuv {

enum class MessageIcon { None, Exclamation, Critical, Information };

// The collections a button or box is shown by; each has its own element numbering.
enum class ControlKind {
  TextButton,
  TextPictureButton,
  PictureButton,
  ShapedButton,
  InputBox,
  Browser
};

// A control made by createControl; 0 names no control.
using ControlId = int;

// What a new control starts with. Pictures are passed as resolved locations;
// the window system loads them through the shared picture table.
struct ControlSpec {
  ControlKind kind = ControlKind::TextButton;
  int element = 0;     // index in the kind's collection, from 1
  int recordIndex = 0; // the record the control's events report
  QString caption;
  QRect geometry; // pixels; an empty size means "size of the picture"
  QString picture;
  QString text;
  bool visible = true;
};

class WindowSystem {
public:
  virtual ~WindowSystem() = default;

  // Modal in a desktop session; automated runs print "Title: text" instead.
  virtual void showMessage(const QString &title, const QString &text, MessageIcon icon) = 0;

  virtual void setTitle(const QString &title) = 0;
  virtual void setAlwaysOnTop(bool onTop) = 0;
  virtual void setShowInTaskbar(bool show) = 0;
  virtual void minimize() = 0;
  virtual void closeMainWindow() = 0;
  virtual void closeLoadingWindow() = 0;
  virtual void showLoadingWindow() = 0;
  virtual void hideLoadingWindow() = 0;
  virtual void hideAlphaWindow() = 0;
  virtual void setMaskColor(int red, int green, int blue) = 0;
  virtual void setClipObjectsVisible(bool visible) = 0;
  // The main window's top-left corner in pixels.
  virtual QPoint mainWindowPosition() const = 0;
  virtual void setMainWindowPosition(const QPoint &topLeft) = 0;
  virtual QSize screenSize() const = 0;
  // A plain (unshaped) picture as the main window's background.
  virtual void setMainPicture(const QString &location) = 0;
  // Shapes or skins the main window from the pending bitmaps of a FORM block and gives the new
  // skin state: 0 plain (nothing applied), 1 shaped by the bitmap's outline, 2 alpha-blended.
  virtual int applyWindowSkin(const QString &skinBitmap, const QString &alphaBitmap) = 0;
  // How a drag by the window's background may move it: 0 free, 1 not at all, 2 sideways only,
  // 3 up and down only.
  virtual void setMoveRestriction(int mode) = 0;
  // Starts a program with an argument list, never through a shell.
  virtual bool startProcess(const QString &program, const QStringList &arguments) = 0;

  virtual ControlId createControl(const ControlSpec &request) = 0;
  // Pixels relative to the main window.
  virtual void setControlGeometry(ControlId control, const QRect &geometry) = 0;
  virtual void setControlVisible(ControlId control, bool visible) = 0;
  // A resolved location; the picture comes from the shared picture table.
  virtual void setControlPicture(ControlId control, const QString &location) = 0;
  virtual void setControlText(ControlId control, const QString &text) = 0;
};

// What the desktop reports back: the user's actions on the controls and the window. Controls are
// named by the record index they were created with and by their id.
class ControlEvents {
public:
  virtual ~ControlEvents() = default;
  virtual void buttonClicked(int recordIndex) = 0;
  // Graphical and shaped buttons: the press and release swap their pictures.
  virtual void buttonPressed(int recordIndex, ControlId control) = 0;
  virtual void buttonReleased(int recordIndex, ControlId control) = 0;
  // The pointer moved over a button; graphical covers picture and shaped buttons.
  virtual void pointerOverButton(int recordIndex, ControlId control, bool graphical) = 0;
  virtual void pointerOverBackground() = 0;
  // A key went down in an input box; textBefore is its text before the key takes effect.
  virtual void inputBoxKey(int recordIndex, const QString &textBefore, bool enter) = 0;
};

} // namespace nuv
