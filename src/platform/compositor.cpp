// Compositor presence through the X selection its manager owns, and XShape input regions.
#include "compositor.h"

#include "density.h"

#include <QAbstractEventDispatcher>
#include <QGuiApplication>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <xcb/shape.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace nuv {

namespace {

xcb_connection_t *x11Connection() {
  if (QGuiApplication::platformName() != u"xcb") return nullptr;
  auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  return x11 != nullptr ? x11->connection() : nullptr;
}

// Without an XFixes extension a change is found by asking now and then.
constexpr int pollMs = 1000;

} // namespace

Compositor::Compositor(QObject *parent) : QObject(parent) {
  xcb_connection_t *connection = x11Connection();
  if (connection == nullptr) return;
  int screenNumber = 0;
  char *host = nullptr;
  int display = 0;
  if (xcb_parse_display(nullptr, &host, &display, &screenNumber) != 0) std::free(host);
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
  for (int i = 0; i < screenNumber && screens.rem > 1; ++i)
    xcb_screen_next(&screens);
  m_root = screens.data->root;

  const std::string name = "_NET_WM_CM_S" + std::to_string(screenNumber);
  xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(
      connection, xcb_intern_atom(connection, 0, uint16_t(name.size()), name.c_str()), nullptr);
  if (atom == nullptr) return;
  m_selection = atom->atom;
  std::free(atom);

  const xcb_query_extension_reply_t *xfixes = xcb_get_extension_data(connection, &xcb_xfixes_id);
  xcb_xfixes_query_version_reply_t *version =
      xfixes != nullptr && xfixes->present
          ? xcb_xfixes_query_version_reply(connection, xcb_xfixes_query_version(connection, 2, 0),
                                           nullptr)
          : nullptr;
  if (version != nullptr) {
    std::free(version);
    m_notifyEvent = xfixes->first_event + XCB_XFIXES_SELECTION_NOTIFY;
    xcb_xfixes_select_selection_input(connection, m_root, m_selection,
                                      XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
    xcb_flush(connection);
    QAbstractEventDispatcher::instance()->installNativeEventFilter(this);
  } else {
    m_poll = new QTimer(this);
    connect(m_poll, &QTimer::timeout, this, [this] { ask(); });
    m_poll->start(pollMs);
  }
  // Asked after listening, so a change in between is not lost.
  ask();
}

Compositor::~Compositor() {
  if (m_notifyEvent != 0 && QAbstractEventDispatcher::instance() != nullptr)
    QAbstractEventDispatcher::instance()->removeNativeEventFilter(this);
}

void Compositor::ask() {
  xcb_connection_t *connection = x11Connection();
  if (connection == nullptr || m_selection == 0) return;
  xcb_get_selection_owner_reply_t *owner = xcb_get_selection_owner_reply(
      connection, xcb_get_selection_owner(connection, m_selection), nullptr);
  if (owner == nullptr) return;
  const bool present = owner->owner != XCB_NONE;
  std::free(owner);
  update(present);
}

void Compositor::update(bool present) {
  if (present == m_present) return;
  m_present = present;
  Q_EMIT changed(present);
}

bool Compositor::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) {
  if (m_notifyEvent == 0 || eventType != "xcb_generic_event_t") return false;
  const auto *event = static_cast<const xcb_generic_event_t *>(message);
  if ((event->response_type & 0x7f) != m_notifyEvent) return false;
  const auto *notify = reinterpret_cast<const xcb_xfixes_selection_notify_event_t *>(event);
  if (notify->selection != m_selection) return false;
  // Qt may look at the event too (its clipboard listens to other selections the same way).
  update(notify->owner != XCB_NONE);
  return false;
}

namespace {

// The X shape of kind on a window, from a region of scale device pixels to its pixels. The
// rectangles are scaled one by one: X takes them overlapping and unsorted.
void setShape(xcb_connection_t *connection, xcb_shape_kind_t kind, QWidget *window,
              const QRegion &region, qreal scale) {
  std::vector<xcb_rectangle_t> rectangles;
  rectangles.reserve(size_t(region.rectCount()));
  for (const QRect &logical : region) {
    const QRect r = deviceRectOf(logical, scale);
    rectangles.push_back(
        {int16_t(r.x()), int16_t(r.y()), uint16_t(r.width()), uint16_t(r.height())});
  }
  xcb_shape_rectangles(connection, XCB_SHAPE_SO_SET, kind, XCB_CLIP_ORDERING_UNSORTED,
                       xcb_window_t(window->winId()), 0, 0, uint32_t(rectangles.size()),
                       rectangles.data());
  xcb_flush(connection);
}

xcb_connection_t *connectionFor(const QWidget *window) {
  xcb_connection_t *connection = x11Connection();
  if (connection == nullptr || window == nullptr || !window->testAttribute(Qt::WA_WState_Created))
    return nullptr;
  return connection;
}

} // namespace

void setInputShape(QWidget *window, const std::optional<QRegion> &region, bool devicePixels) {
  // A Wayland window's mask is its input region.
  if (onWayland()) {
    if (window != nullptr && window->windowHandle() != nullptr) {
      const QRegion logical = region && devicePixels
                                  ? logicalCover(*region, window->devicePixelRatioF())
                                  : region.value_or(QRegion());
      window->windowHandle()->setMask(logical);
    }
    return;
  }
  xcb_connection_t *connection = connectionFor(window);
  if (connection == nullptr) return;
  if (!region) {
    xcb_shape_mask(connection, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, xcb_window_t(window->winId()),
                   0, 0, XCB_NONE);
    xcb_flush(connection);
    return;
  }
  // The native window counts device pixels.
  setShape(connection, XCB_SHAPE_SK_INPUT, window, *region,
           devicePixels ? 1.0 : window->devicePixelRatioF());
}

void setBoundingShape(QWidget *window, const QRegion &deviceRegion) {
  if (onWayland()) return;
  if (xcb_connection_t *connection = connectionFor(window))
    setShape(connection, XCB_SHAPE_SK_BOUNDING, window, deviceRegion, 1.0);
}

} // namespace nuv

namespace nuv {

bool onWayland() {
  return QGuiApplication::platformName().startsWith(u"wayland");
}

} // namespace nuv
