// The window system of a real desktop: Qt widgets for the main window and its controls.
#include "qtwindowsystem.h"

#include "accessibility.h"
#include "alphaskin.h"
#include "compositor.h"
#include "controls.h"
#include "density.h"
#include "loadingwindow.h"
#include "messages.h"
#include "outline.h"
#include "pointers.h"
#include "x11.h"

#include <QAccessible>
#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMetaObject>
#include <QProcess>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <utility>

namespace nuv {

namespace {

std::optional<PointerTarget> pointerTargetOf(const QWidget *widget) {
  if (qobject_cast<const TextButton *>(widget) != nullptr) return PointerTarget::TextButtons;
  if (qobject_cast<const PictureButton *>(widget) != nullptr) return PointerTarget::GraphButtons;
  if (qobject_cast<const InputBox *>(widget) != nullptr) return PointerTarget::InputBoxes;
  return std::nullopt;
}

} // namespace

QtWindowSystem::QtWindowSystem()
    : m_main(new MainWindow), m_browsers([this] { return m_events; }),
      m_timeSkins(qEnvironmentVariableIsSet("NUV_TIME_SKINS")),
      m_pointers([this](PointerTarget target) { return controlsOf(target); }) {
  installAccessibility();
  holdFocusInWindow();
  QObject::connect(m_main, &MainWindow::pointerOverBackground, m_main, [this] {
    if (m_events != nullptr) m_events->pointerOverBackground();
  });
  // Not placed yet: skins centre a window left at this marker.
  m_main->move(unplaced, unplaced);
  // Every new native window (flag changes make one) starts without the taskbar state.
  QObject::connect(m_main, &MainWindow::aboutToMap, m_main, [this] {
    // The window maps with the caption the document gave it.
    publishTitle();
    // Shown minimised (MINIMIZE before the first showing), it needs its button to come back.
    if (!m_skipTaskbar || m_main->isMinimized()) return;
    // Once before mapping (a window manager reads it then), once after (for one that lost it).
    setSkipTaskbar(m_main, true);
    QTimer::singleShot(0, m_main, [this] {
      if (m_skipTaskbar) setSkipTaskbar(m_main, true);
    });
  });
  // The web engine takes longer to start than the skin to show: it starts once the skin is out.
  QObject::connect(m_main, &MainWindow::firstPaint, m_main,
                   [this] { QTimer::singleShot(0, m_main, [this] { m_browsers.allowViews(); }); });
  // A window manager may have dropped the state while the window was minimised.
  QObject::connect(m_main, &MainWindow::restored, m_main, [this] {
    if (m_skipTaskbar) setSkipTaskbar(m_main, true);
  });
}

QtWindowSystem::~QtWindowSystem() {
  delete m_main;
  m_browsers.release();
}

bool QtWindowSystem::needsOrderlyEnd() const {
  if (m_browserMade) return true;
  const QClipboard *clipboard = QGuiApplication::clipboard();
  return clipboard->ownsClipboard() || clipboard->ownsSelection();
}

QWidget *QtWindowSystem::control(ControlId id) const {
  if (id < 1 || id > ControlId(m_controls.size())) return nullptr;
  return m_controls[size_t(id - 1)];
}

void QtWindowSystem::resetDocument() {
  const QPoint at = m_main->pos();
  hideLoadingWindow();
  leaveAlphaSkin();
  m_skin = SkinKind::Plain;
  m_main->clearControls();
  m_controls.clear();
  m_cutFrom.clear();
  holdFocusInWindow();
  for (const PointerTarget target : {PointerTarget::Form, PointerTarget::TextButtons,
                                     PointerTarget::GraphButtons, PointerTarget::InputBoxes})
    m_pointers.set(target, nullptr);
  m_main->setPicture(QImage());
  m_main->clearMask();
  m_main->setMoveRestriction(MoveRestriction::Free);
  setAlwaysOnTop(false);
  setShowInTaskbar(true);
  m_main->move(at);
}

void QtWindowSystem::showMessage(const QString &title, const QString &text, MessageIcon icon) {
  showMessageBox(title, text, icon);
}

// Publishing a caption costs a round through the window system, and only the last one of an
// event-loop turn is ever seen: remember it, and publish once when the loop runs again.
void QtWindowSystem::setTitle(const QString &title) {
  m_pendingTitle = title;
  if (m_titlePending) return;
  m_titlePending = true;
  QMetaObject::invokeMethod(
      m_main, [this] { publishTitle(); }, Qt::QueuedConnection);
}

void QtWindowSystem::publishTitle() {
  if (!m_titlePending) return;
  m_titlePending = false;
  m_main->setWindowTitle(m_pendingTitle);
  // A screen reader learns of the window's new name as it does of a control's.
  if (QAccessible::isActive()) {
    QAccessibleEvent renamed(m_main, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&renamed);
  }
}

// Until an input box takes it or Tab moves it, the window itself holds the focus: no control
// shows a focus ring, and Space or Enter press nothing. The window is no stop for Tab.
void QtWindowSystem::holdFocusInWindow() {
  m_main->setFocus(Qt::OtherFocusReason);
}

void QtWindowSystem::setWindowFlag(Qt::WindowType flag, bool on) {
  if (m_main->windowFlags().testFlag(flag) == on) return;
  const bool visible = m_main->isVisible();
  const QPoint at = m_main->pos();
  m_main->setWindowFlag(flag, on); // hides the window; show it again where it was
  m_main->move(at);
  if (visible && !m_closed) m_main->show();
}

void QtWindowSystem::setAlwaysOnTop(bool onTop) {
  setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
}

void QtWindowSystem::setShowInTaskbar(bool show) {
  if (m_skipTaskbar == !show) return;
  m_skipTaskbar = !show;
  if (m_main->isVisible()) setSkipTaskbar(m_main, m_skipTaskbar);
}

void QtWindowSystem::minimize() {
  // The button shows only while the window is minimised; restoring applies the wish again.
  if (m_main->isVisible()) setSkipTaskbar(m_main, false);
  m_main->setWindowState(Qt::WindowMinimized);
}

void QtWindowSystem::closeMainWindow() {
  m_closed = true;
  runWhenPlaced();
  m_main->close();
  QCoreApplication::exit(0);
}

// Made anew for each showing and gone when hidden, so a new LOADINGIMAGE always shows.
void QtWindowSystem::showLoadingWindow(const Picture &picture, bool shaped) {
  if (!m_loading) {
    m_loading = std::make_unique<LoadingWindow>();
    // Read when the person cancels, so a cancel set later still counts.
    QObject::connect(m_loading.get(), &LoadingWindow::cancelled, m_loading.get(), [this] {
      if (m_loadingCancel) m_loadingCancel();
    });
  }
  const bool alone = !m_main->isVisible();
  m_loading->present(picture ? *picture : QImage(), shaped, alone ? nullptr : m_main);
  applyPointer(PointerTarget::Form, m_loading.get());
  m_loading->show();
  if (alone) m_loading->activateWindow();
}

void QtWindowSystem::hideLoadingWindow() {
  m_loading.reset();
}

void QtWindowSystem::setClipObjects(bool clip) {
  if (m_alpha != nullptr) m_alpha->setClipObjects(clip);
}

QPoint QtWindowSystem::mainWindowPosition() const {
  return m_main->pos();
}

void QtWindowSystem::setMainWindowPosition(const QPoint &topLeft) {
  m_main->move(topLeft);
}

QSize QtWindowSystem::screenSize() const {
  const QScreen *screen =
      m_main->screen() != nullptr ? m_main->screen() : QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->geometry().size() : QSize(1024, 768);
}

PictureView QtWindowSystem::viewOf(const Picture &picture, const QRect &shown) {
  if (!picture || picture->isNull()) return {};
  // Art is shown whole: parts are cut in logical pixels.
  if (picture->devicePixelRatio() != 1.0) return {picture, QPoint(0, 0), logicalSizeOf(*picture)};
  const PictureView whole{picture, QPoint(0, 0), picture->size()};
  const QRect part = shown & picture->rect();
  const qint64 partBytes = qint64(part.width()) * part.height() * std::max(1, picture->depth() / 8);
  if (picture->sizeInBytes() < minCutPictureBytes || partBytes * 4 > picture->sizeInBytes() ||
      *m_cutBytes + partBytes > maxCutBytes)
    return whole;
  if (part.isEmpty()) return {nullptr, QPoint(0, 0), picture->size()};
  *m_cutBytes += partBytes;
  // The count goes down with the part, whoever holds it last.
  Picture cut(new QImage(picture->copy(part)),
              [bytes = m_cutBytes, partBytes](const QImage *image) {
                *bytes -= partBytes;
                delete image;
              });
  return {std::move(cut), part.topLeft(), picture->size()};
}

namespace {

// The picture a button shows, or nullptr for any other control.
const PictureView *pictureOf(const QWidget *widget) {
  if (const auto *picture = qobject_cast<const PictureButton *>(widget)) return &picture->picture();
  if (const auto *text = qobject_cast<const TextButton *>(widget)) return &text->picture();
  return nullptr;
}

// The part of a picture of pictureSize that a button covers, in the picture's pixels.
QRect shownPart(const QWidget *button, QSize pictureSize) {
  return QRect(-PictureView::originOn(button, pictureSize), button->size()) &
         QRect(QPoint(0, 0), pictureSize);
}

} // namespace

void QtWindowSystem::showPicture(ControlId id, QWidget *widget, const Picture &given) {
  m_cutFrom.erase(id);
  // Art of another ratio than the display's is drawn from a copy in device pixels, which the
  // control alone holds, so that a shaped button's edge stays the traced one. The copies count
  // with the parts; past their bound a control draws the art itself, scaled as it is painted.
  Picture picture = given;
  const qreal ratio = widget->devicePixelRatioF();
  if (given && given->devicePixelRatio() != 1.0 &&
      !qFuzzyCompare(given->devicePixelRatio(), ratio)) {
    const QSize logical = logicalSizeOf(*given);
    const qint64 bytes = qint64(qRound(logical.width() * ratio)) *
                         qRound(logical.height() * ratio) * std::max(1, given->depth() / 8);
    if (*m_cutBytes + bytes <= maxCutBytes) {
      *m_cutBytes += bytes;
      picture = Picture(new QImage(shownAt(*given, ratio, true)),
                        [count = m_cutBytes, bytes](const QImage *image) {
                          *count -= bytes;
                          delete image;
                        });
    }
  }
  const QSize size = picture ? picture->size() : QSize();
  PictureView view = viewOf(picture, shownPart(widget, size));
  if (view.pixels != picture) m_cutFrom.emplace(id, picture);
  if (auto *button = qobject_cast<PictureButton *>(widget))
    button->setPicture(std::move(view));
  else if (auto *text = qobject_cast<TextButton *>(widget))
    text->setPicture(std::move(view));
}

QPoint QtWindowSystem::mainWindowPlacement() const {
  QPoint at = m_main->pos();
  const QSize screen = screenSize();
  if (at.x() == unplaced) at.setX(screen.width() / 2 - m_main->width() / 2);
  if (at.y() == unplaced) at.setY(screen.height() / 2 - m_main->height() / 2);
  return at;
}

void QtWindowSystem::centreIfUnplaced() {
  m_main->move(mainWindowPlacement());
}

void QtWindowSystem::showMainWindow() {
  centreIfUnplaced();
  static bool placementSaid = false;
  if (onWayland() && !std::exchange(placementSaid, true))
    std::fprintf(stderr, "nuv: under Wayland the compositor places the window; the place the "
                         "Skivet asks for is not applied\n");
  // Each control was made with a polish request queued. Showing a control that still has one
  // makes Qt scan the whole queue for its first update, once per control: quadratic in the
  // number of controls. Polished in one pass first, they show in linear time.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::PolishRequest);
  m_main->show();
  m_shown = true;
  // A window that stays hidden paints no frame, and its pages still load and navigate.
  if (!m_main->isVisible()) QTimer::singleShot(0, m_main, [this] { m_browsers.allowViews(); });
  runWhenPlaced();
}

void QtWindowSystem::whenPlaced(std::function<void()> action) {
  if (m_shown || m_closed) {
    action();
    return;
  }
  m_whenPlaced.push_back(std::move(action));
}

void QtWindowSystem::runWhenPlaced() {
  // An action may ask for more; those run at once now.
  std::vector<std::function<void()>> actions;
  actions.swap(m_whenPlaced);
  for (const std::function<void()> &action : actions)
    action();
}

SkinKind QtWindowSystem::applySkin(const SkinRequest &skin) {
  if (!m_timeSkins) return m_skin = showSkin(skin);
  // The whole switch as a person sees it: the new skin painted, objects and all.
  QElapsedTimer timer;
  timer.start();
  m_skin = showSkin(skin);
  m_main->repaint();
  static const char *const names[] = {"plain", "shaped", "alpha"};
  std::fprintf(stderr, "skin-switch-ms %s %.2f\n", names[int(m_skin)],
               double(timer.nsecsElapsed()) / 1e6);
  return m_skin;
}

// The alpha picture when it can be read, else the bitmap; a picture that cannot be read leaves
// the skin that was there.
SkinKind QtWindowSystem::showSkin(const SkinRequest &skin) {
  if (skin.alphaBitmap) {
    if (const Picture &alpha = *skin.alphaBitmap; alpha && !alpha->isNull()) {
      alphaSkin().enter(*alpha, skin.maskColor, skin.clipObjects);
      centreIfUnplaced();
      return SkinKind::Alpha;
    }
    if (!skin.bitmap) return m_skin;
  }
  if (!skin.bitmap) {
    // Neither named: only leaves an alpha skin.
    if (m_skin != SkinKind::Alpha) return m_skin;
    leaveAlphaSkin();
    return SkinKind::Plain;
  }
  if (!*skin.bitmap || (*skin.bitmap)->isNull()) return m_skin;
  // A shape is traced from the very pixels drawn: art in device pixels, or the bitmap's own
  // pixels, which the display then scales as squares along with the region. Only a skin with no
  // shape to match is scaled smoothly.
  const QImage picture = shownAt(**skin.bitmap, m_main->devicePixelRatioF(), skin.shape);
  leaveAlphaSkin();
  m_main->setPicture(picture, !skin.shape);
  if (!skin.shape) return SkinKind::Plain;
  centreIfUnplaced();
  // A bitmap without a shape leaves the window's region as it was.
  const QRegion region = outlineRegion(TraceOutline(picture));
  if (region.isEmpty()) return SkinKind::Shaped;
  if (picture.devicePixelRatio() == 1.0)
    m_main->setMask(region);
  else
    m_main->setDeviceShape(region);
  return SkinKind::Shaped;
}

AlphaSkin &QtWindowSystem::alphaSkin() {
  if (m_alpha == nullptr) m_alpha = new AlphaSkin(m_main);
  return *m_alpha;
}

void QtWindowSystem::leaveAlphaSkin() {
  if (m_alpha != nullptr) m_alpha->leave();
}

void QtWindowSystem::setMoveRestriction(MoveRestriction restriction) {
  m_main->setMoveRestriction(restriction);
}

// A pointer that cannot be shown changes nothing. A statement gives its targets one decoded
// file: they share its cursors.
bool QtWindowSystem::setPointer(PointerTarget target, const Pointer &pointer) {
  std::shared_ptr<const DesktopPointer> loaded;
  if (pointer.systemId != 0) {
    std::optional<DesktopPointer> system = systemPointer(pointer.systemId);
    if (!system) return false;
    loaded = std::make_shared<const DesktopPointer>(std::move(*system));
  } else if (pointer.picture) {
    loaded = m_lastPointer.lock();
    if (!loaded || m_lastPointerSource.lock() != pointer.picture) {
      loaded = std::make_shared<const DesktopPointer>(desktopPointer(*pointer.picture));
      m_lastPointer = loaded;
      m_lastPointerSource = pointer.picture;
    }
    if (loaded->cursors.empty()) return false;
  }
  m_pointers.set(target, std::move(loaded));
  return true;
}

std::vector<QWidget *> QtWindowSystem::controlsOf(PointerTarget target) const {
  std::vector<QWidget *> widgets;
  if (target == PointerTarget::Form) {
    widgets.push_back(m_main);
    if (m_loading) widgets.push_back(m_loading.get());
    return widgets;
  }
  for (const QPointer<QWidget> &widget : m_controls)
    if (widget != nullptr && pointerTargetOf(widget) == target) widgets.push_back(widget);
  return widgets;
}

void QtWindowSystem::applyPointer(PointerTarget target, QWidget *widget) {
  m_pointers.apply(target, widget);
}

bool QtWindowSystem::startProcess(const QString &program, const QStringList &arguments,
                                  const QStringList &environment) {
  QProcess process;
  process.setProgram(program);
  process.setArguments(arguments);
  QProcessEnvironment settings = QProcessEnvironment::systemEnvironment();
  for (const QString &setting : environment) {
    const qsizetype equals = setting.indexOf(u'=');
    if (equals > 0) settings.insert(setting.left(equals), setting.mid(equals + 1));
  }
  process.setProcessEnvironment(settings);
  return process.startDetached();
}

void QtWindowSystem::writeDiagnostic(const QString &line) {
  std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
  std::fflush(stderr);
}

ControlId QtWindowSystem::createControl(const ControlSpec &request) {
  const ControlId id = ControlId(m_controls.size()) + 1;
  QWidget *widget = nullptr;
  QRect geometry = request.geometry;
  switch (request.kind) {
  case ObjectKind::TextButton:
  case ObjectKind::TextPictureButton: {
    auto *button =
        new TextButton(request.recordIndex, id, ControlSink(m_events), m_main->controlParent());
    button->setText(request.caption);
    // The caption names it; one without a caption goes by its object's name.
    if (request.caption.isEmpty()) nameForScreenReaders(button, request.name);
    widget = button;
    break;
  }
  case ObjectKind::PictureButton:
  case ObjectKind::ShapedButton: {
    auto *button =
        new PictureButton(request.recordIndex, id, ControlSink(m_events), m_main->controlParent());
    nameForScreenReaders(button, request.caption.isEmpty() ? request.name : request.caption);
    if (request.kind == ObjectKind::ShapedButton) {
      // Sized to its picture and cut to the picture's outline, once: a later BITMAP keeps it.
      // Without a picture it has no size.
      geometry.setSize(request.picture ? logicalSizeOf(*request.picture) : QSize(0, 0));
      if (request.picture) {
        const QImage shown = shownAt(*request.picture, button->devicePixelRatioF(), true);
        const QRegion region = outlineRegion(TraceOutline(shown));
        if (!region.isEmpty()) button->setOutline(region, shown.devicePixelRatio());
      }
    }
    widget = button;
    break;
  }
  case ObjectKind::InputBox: {
    auto *box = new InputBox(request.recordIndex, ControlSink(m_events), m_main->controlParent());
    box->setText(request.text);
    nameForScreenReaders(box, request.name);
    // The first input box declared takes the focus, unless Tab has already moved it.
    if (m_main->focusWidget() == m_main || m_main->focusWidget() == nullptr) box->setFocus();
    widget = box;
    break;
  }
  case ObjectKind::Browser:
  case ObjectKind::Form:
    Q_ASSERT_X(false, "createControl", "browsers and the form are no controls");
    return 0;
  }
  if (const std::optional<PointerTarget> target = pointerTargetOf(widget))
    applyPointer(*target, widget);
  widget->setGeometry(geometry);
  showPicture(id, widget, request.picture);
  widget->setVisible(request.visible);
  m_controls.emplace_back(widget);
  return id;
}

void QtWindowSystem::setControlGeometry(ControlId id, const QRect &geometry) {
  QWidget *widget = control(id);
  if (widget == nullptr) return;
  // Shaped buttons keep the size of their picture.
  const auto *button = qobject_cast<const PictureButton *>(widget);
  if (button != nullptr && !button->outline().isEmpty())
    widget->move(geometry.topLeft());
  else
    widget->setGeometry(geometry);
  // A control that kept a part cuts anew when it now covers more. Once the table has let the
  // whole go, the document gives the picture again, after this verb: getting it may wait.
  const auto cut = m_cutFrom.find(id);
  if (cut == m_cutFrom.end()) return;
  const PictureView &view = *pictureOf(widget);
  const QRect kept(view.at, view.pixels ? view.pixels->size() : QSize());
  const QRect needed = shownPart(widget, view.size);
  if (needed.isEmpty() || kept.contains(needed)) return;
  if (const Picture whole = cut->second.lock()) {
    showPicture(id, widget, whole);
    return;
  }
  const auto *picture = qobject_cast<const PictureButton *>(widget);
  const int record = picture != nullptr ? picture->recordIndex()
                                        : qobject_cast<const TextButton *>(widget)->recordIndex();
  QMetaObject::invokeMethod(
      m_main,
      [this, record, id] {
        if (m_events != nullptr && control(id) != nullptr) m_events->pictureWanted(record, id);
      },
      Qt::QueuedConnection);
}

void QtWindowSystem::setControlVisible(ControlId id, bool visible) {
  if (QWidget *widget = control(id)) widget->setVisible(visible);
}

void QtWindowSystem::setControlPicture(ControlId id, const Picture &picture) {
  if (QWidget *widget = control(id)) showPicture(id, widget, picture);
}

void QtWindowSystem::setControlText(ControlId id, const QString &text) {
  if (auto *box = qobject_cast<QLineEdit *>(control(id))) box->setText(text);
}

// A browser is a control like the others for geometry and visibility; its MASK outline stays
// with it when it moves or is resized.
std::optional<ControlId> QtWindowSystem::createBrowser(const BrowserSpec &request) {
  const ControlId id = ControlId(m_controls.size()) + 1;
  QWidget *widget = m_browsers.create(id, request, m_main->controlParent());
  if (widget == nullptr) return std::nullopt;
  m_browserMade = true;
  nameForScreenReaders(widget, request.name);
  if (request.mask) {
    // A page is drawn in logical pixels: the mask covers every one the outline touches.
    const QImage shown = shownAt(*request.mask, widget->devicePixelRatioF(), true);
    const QRegion region = outlineRegion(TraceOutline(shown));
    if (!region.isEmpty()) widget->setMask(logicalCover(region, shown.devicePixelRatio()));
  }
  widget->setGeometry(request.geometry);
  widget->setVisible(request.visible);
  m_controls.emplace_back(widget);
  return id;
}

void QtWindowSystem::navigate(ControlId browser, const QString &url) {
  m_browsers.navigate(browser, url);
}

void QtWindowSystem::browserAction(ControlId browser, BrowserAction action) {
  m_browsers.action(browser, action);
}

void QtWindowSystem::setBrowserSilent(ControlId browser, bool silent) {
  m_browsers.setSilent(browser, silent);
}

} // namespace nuv
