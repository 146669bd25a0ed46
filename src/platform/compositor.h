// What a compositing desktop offers a translucent window: whether a compositor runs (told again
// whenever one starts or stops), and the window's input shape.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QRegion>

#include <cstdint>
#include <optional>

class QTimer;
class QWidget;

namespace nuv {

class Compositor : public QObject, public QAbstractNativeEventFilter {
  Q_OBJECT
public:
  explicit Compositor(QObject *parent = nullptr);
  ~Compositor() override;

  // On X11: the _NET_WM_CM_S<screen> selection has an owner. Elsewhere the window system
  // composes every window itself, so always.
  bool present() const { return m_present; }

  bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

Q_SIGNALS:
  void changed(bool present);

private:
  void update(bool present);
  void ask();

  std::uint32_t m_selection = 0;  // the selection's atom; 0 off X11
  std::uint32_t m_root = 0;       // the root window of the screen it names
  std::uint8_t m_notifyEvent = 0; // XFixes selection-notify event code; 0: polled instead
  QTimer *m_poll = nullptr;
  bool m_present = true;
};

// Where a top-level window takes clicks; none restores the default (its bounding shape). Needs
// the native window; on X11 its input shape, on Wayland its input region. The region is in
// logical pixels, or in the native window's own device pixels when devicePixels is set.
void setInputShape(QWidget *window, const std::optional<QRegion> &region,
                   bool devicePixels = false);

// A top-level window's X11 bounding shape in its device pixels, set over the one Qt made from
// its mask: a shape traced from double-density art has edges between logical pixels, which no
// mask can name. Needs the native window; does nothing off X11.
void setBoundingShape(QWidget *window, const QRegion &deviceRegion);

// Running natively on Wayland: the compositor places and moves windows, and a window's shape is
// its transparent pixels.
bool onWayland();

} // namespace nuv
