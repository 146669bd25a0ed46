// The one seam between the interpreter and the desktop: windows, controls, messages, processes.
#pragma once

#include "picture.h"

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace nuv {

// A main-window edge that nothing has placed yet; skins centre a window left there.
inline constexpr int unplaced = -99999;

enum class MessageIcon { None, Exclamation, Critical, Information };

// What a declared object is shown by. The four button kinds each have their own element
// numbering; input boxes and browsers are numbered by their record. A FORM is the main window.
enum class ObjectKind {
  TextButton,
  TextPictureButton,
  PictureButton,
  ShapedButton,
  InputBox,
  Browser,
  Form
};

// How a drag by the window's background may move it.
enum class MoveRestriction { Free, NoMove, HorizontalOnly, VerticalOnly };

// What a skin request ended up showing.
enum class SkinKind {
  Plain,  // the bitmap as a rectangular picture, or nothing new
  Shaped, // the bitmap, with the window cut to its outline
  Alpha   // the per-pixel-alpha picture
};

// A control made by the window system; 0 names no control.
using ControlId = int;

// What a new button or input box starts with. Pictures arrive decoded: nothing the window system
// is asked to do waits for a transfer.
struct ControlSpec {
  ObjectKind kind = ObjectKind::TextButton; // a button kind or InputBox
  int element = 0;                          // index in the kind's collection, from 1
  int recordIndex = 0;                      // the record the control's events report
  QString caption;
  QString name;   // the object's NAME: what a screen reader calls a control without a caption
  QRect geometry; // pixels; an empty size means "size of the picture"
  Picture picture;
  QString text; // an input box's starting text
  bool visible = true;
};

// What a new embedded browser starts with.
struct BrowserSpec {
  int recordIndex = 0; // the record its navigation events report
  QString name;        // the object's NAME: what a screen reader calls the browser
  QRect geometry;      // pixels, relative to the main window
  QString location;    // resolved; loaded at creation when not empty
  Picture mask;        // the picture whose outline clips the browser; null for none
  bool silent = true;  // script error dialogs of pages suppressed
  bool visible = true;
  // The document's web origin ("file://" and its folder for a local one): browsers of one origin
  // share cookies and storage, and no other origin sees them.
  QString documentOrigin;
};

enum class BrowserAction { Back, Forward, Refresh, Stop };

// SETMASKCOLOR's colour, one byte per channel.
struct MaskColor {
  int red = 254;
  int green = 1;
  int blue = 254;
  bool operator==(const MaskColor &) const = default;
};

// The skin a FORM asks for: the pending bitmaps of one run and the window-wide flags. A picture
// the document did not name is nullopt; one it named that could not be had is a null picture, and
// so is a bitmap beside an alpha picture that was had (the bitmap only stands in for it).
struct SkinRequest {
  std::optional<Picture> bitmap;
  std::optional<Picture> alphaBitmap; // the per-pixel-alpha picture
  MaskColor maskColor; // what the engine paints in exactly this colour is see-through
  bool clipObjects = true;
  // False for the end-of-run step: the bitmap as a plain rectangular picture, never shaped.
  bool shape = true;
};

enum class PointerTarget { Form, TextButtons, GraphButtons, InputBoxes };

// A mouse pointer for a target: the target's own default, a system pointer, or a pointer file.
struct Pointer {
  int systemId = 0; // a system pointer identifier (32512 arrow, 32649 hand...); 0 for none
  // A decoded pointer file, used when systemId is 0; neither: the target's own pointer.
  std::shared_ptr<const PointerPicture> picture;
};

// Every verb returns without waiting: none fetches, none turns the event loop, so nothing the
// user does can run in the middle of one. Waiting is the caller's, before the call.
class WindowSystem {
public:
  virtual ~WindowSystem() = default;

  // Modal in a desktop session; automated runs print "Title: text" instead.
  virtual void showMessage(const QString &title, const QString &text, MessageIcon icon) = 0;

  // Only the last caption of an event-loop turn need ever reach the desktop.
  virtual void setTitle(const QString &title) = 0;
  virtual void setAlwaysOnTop(bool onTop) = 0;
  virtual void setShowInTaskbar(bool show) = 0;
  // A minimised window keeps a taskbar button, or nothing could bring it back; SHOWINTASKBAR's
  // value stays as it was, and holds again once the window is restored.
  virtual void minimize() = 0;
  virtual void closeMainWindow() = 0;
  // The main window's top-left corner in pixels; unplaced along an axis nothing placed.
  virtual QPoint mainWindowPosition() const = 0;
  // Where the main window shows or will show: along an axis nothing placed, the centre that the
  // window's present size gives it on its screen.
  virtual QPoint mainWindowPlacement() const = 0;
  // Runs action once the main window has its real place: now when it has shown already, else
  // when it first shows (after the document's first run has sized and centred it), or when it
  // closes without ever showing.
  virtual void whenPlaced(std::function<void()> action) = 0;
  virtual void setMainWindowPosition(const QPoint &topLeft) = 0;
  virtual QSize screenSize() const = 0;
  virtual void setMoveRestriction(MoveRestriction restriction) = 0;
  // Starts a program with an argument list, never through a shell. environment holds
  // "NAME=value" settings that the new process gets on top of this one's; this process keeps
  // its own.
  virtual bool startProcess(const QString &program, const QStringList &arguments,
                            const QStringList &environment) = 0;
  // One line for whoever runs the engine (standard error), never a box: for refusals that a
  // hostile document could otherwise repeat without end.
  virtual void writeDiagnostic(const QString &line) = 0;

  // Leaves any earlier skin and applies this one: the alpha picture when there is one and the
  // desktop can show it (otherwise the bitmap stands in for it), else the bitmap, else nothing.
  // Returns what now shows; an unplaced window is centred.
  virtual SkinKind applySkin(const SkinRequest &skin) = 0;
  // CLIPOBJECTS changed while an alpha skin shows.
  virtual void setClipObjects(bool clip) = 0;

  // The window shown while PRELOAD fetches: the picture (its outline when shaped), or a "LOADING"
  // text when there is none.
  virtual void showLoadingWindow(const Picture &picture, bool shaped) = 0;
  virtual void hideLoadingWindow() = 0;

  // Applies to every current and future control of the target. False when the pointer cannot
  // be shown (an unknown system pointer); the target then keeps what it had.
  virtual bool setPointer(PointerTarget target, const Pointer &pointer) = 0;

  virtual ControlId createControl(const ControlSpec &request) = 0;
  // Pixels relative to the main window.
  virtual void setControlGeometry(ControlId control, const QRect &geometry) = 0;
  virtual void setControlVisible(ControlId control, bool visible) = 0;
  // A null picture: the control shows none.
  virtual void setControlPicture(ControlId control, const Picture &picture) = 0;
  virtual void setControlText(ControlId control, const QString &text) = 0;

  // Browsers. No browser when the browser module cannot be loaded; geometry and visibility then
  // go through the control verbs above.
  virtual std::optional<ControlId> createBrowser(const BrowserSpec &request) = 0;
  virtual void navigate(ControlId browser, const QString &url) = 0;
  // History and loading; a browser with nothing to go back to ignores Back.
  virtual void browserAction(ControlId browser, BrowserAction action) = 0;
  virtual void setBrowserSilent(ControlId browser, bool silent) = 0;
};

// What the desktop reports back: the user's actions on the controls and the window, and the
// browsers' navigations. Controls are named by the record index they were created with and by
// their id.
//
// Re-entry: a web engine asks about a navigation synchronously, from deep inside itself. Only the
// two record-only reports come from inside that callback; every report that runs a block comes
// after it has returned, in the order the navigations happened.
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
  // A button grew past the part of its picture it kept, and no one holds the whole picture any
  // more: the picture it shows is wanted again, through setControlPicture.
  virtual void pictureWanted(int recordIndex, ControlId control) = 0;
  // A key went down in an input box; textBefore is its text before the key takes effect.
  virtual void inputBoxKey(int recordIndex, const QString &textBefore, bool enter) = 0;
  // Inside the web engine's callback: a browser is about to load url (any frame); the navigation
  // goes on. Only records it: nothing may wait or run here.
  virtual void navigationRequested(int recordIndex, const QString &url) = 0;
  // Inside the web engine's callback: a browser finished a navigation; url is its top-level
  // location now. Only records it.
  virtual void navigationFinished(int recordIndex, const QString &url) = 0;
  // After the callback: the blocks of the navigations recorded above, each with its own url.
  virtual void beforeNavigate(int recordIndex, const QString &url) = 0;
  virtual void afterNavigate(int recordIndex, const QString &url) = 0;
  // A page navigated to "NUV:" + text (text still percent-encoded); origin is the sending page's
  // scheme, host and port.
  virtual void pageCommand(int recordIndex, const QString &origin, const QString &text) = 0;
};

} // namespace nuv
