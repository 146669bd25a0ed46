// The X11 details Qt does not expose: taskbar entries of top-level windows, and what the server
// offers for drawing.
#include "x11.h"

#include <QGuiApplication>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace nuv {

namespace {

xcb_atom_t atom(xcb_connection_t *connection, const char *name) {
  const xcb_intern_atom_cookie_t cookie =
      xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name);
  xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(connection, cookie, nullptr);
  if (reply == nullptr) return XCB_ATOM_NONE;
  const xcb_atom_t result = reply->atom;
  std::free(reply);
  return result;
}

std::vector<xcb_atom_t> currentState(xcb_connection_t *connection, xcb_window_t window,
                                     xcb_atom_t netWmState) {
  const xcb_get_property_cookie_t cookie =
      xcb_get_property(connection, 0, window, netWmState, XCB_ATOM_ATOM, 0, 64);
  xcb_get_property_reply_t *reply = xcb_get_property_reply(connection, cookie, nullptr);
  std::vector<xcb_atom_t> atoms;
  if (reply == nullptr) return atoms;
  const auto *values = static_cast<const xcb_atom_t *>(xcb_get_property_value(reply));
  atoms.assign(values, values + xcb_get_property_value_length(reply) / int(sizeof(xcb_atom_t)));
  std::free(reply);
  return atoms;
}

} // namespace

void setSkipTaskbar(QWidget *widget, bool skip) {
  if (widget == nullptr || QGuiApplication::platformName() != u"xcb") return;
  auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  xcb_connection_t *connection = x11 != nullptr ? x11->connection() : nullptr;
  if (connection == nullptr) return;
  const auto window = xcb_window_t(widget->winId());
  const xcb_atom_t netWmState = atom(connection, "_NET_WM_STATE");
  const xcb_atom_t skipTaskbar = atom(connection, "_NET_WM_STATE_SKIP_TASKBAR");
  const xcb_atom_t skipPager = atom(connection, "_NET_WM_STATE_SKIP_PAGER");

  std::vector<xcb_atom_t> state = currentState(connection, window, netWmState);
  std::erase_if(state, [&](xcb_atom_t a) { return a == skipTaskbar || a == skipPager; });
  if (skip) {
    state.push_back(skipTaskbar);
    state.push_back(skipPager);
  }
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, netWmState, XCB_ATOM_ATOM, 32,
                      uint32_t(state.size()), state.data());

  // A window manager owns the state of mapped windows and learns of changes by message.
  const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
  xcb_client_message_event_t message{};
  message.response_type = XCB_CLIENT_MESSAGE;
  message.format = 32;
  message.window = window;
  message.type = netWmState;
  message.data.data32[0] = skip ? 1 : 0; // _NET_WM_STATE_ADD or _REMOVE
  message.data.data32[1] = skipTaskbar;
  message.data.data32[2] = skipPager;
  message.data.data32[3] = 1; // from an application
  xcb_send_event(connection, 0, screen->root,
                 XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                 reinterpret_cast<const char *>(&message));
  xcb_flush(connection);
}

bool x11OffersDirectRendering() {
  if (QGuiApplication::platformName() != u"xcb") return false;
  auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  xcb_connection_t *connection = x11 != nullptr ? x11->connection() : nullptr;
  if (connection == nullptr) return false;
  // Both questions go out before either answer is read: one round trip.
  const xcb_query_extension_cookie_t dri3 = xcb_query_extension(connection, 4, "DRI3");
  const xcb_query_extension_cookie_t dri2 = xcb_query_extension(connection, 4, "DRI2");
  bool offered = false;
  for (const xcb_query_extension_cookie_t cookie : {dri3, dri2}) {
    xcb_query_extension_reply_t *reply = xcb_query_extension_reply(connection, cookie, nullptr);
    if (reply != nullptr && reply->present != 0) offered = true;
    std::free(reply);
  }
  return offered;
}

} // namespace nuv
