// The per-pixel-alpha skin: the main window itself, translucent, paints the picture and hosts the
// objects, so everything moves as one. Without a compositor it is cut to what can show.
#pragma once

#include "alphamask.h"
#include "windowsystem.h"

#include <QImage>
#include <QList>
#include <QObject>
#include <QPointer>

namespace nuv {

class Compositor;
class MainWindow;

class AlphaSkin : public QObject {
  Q_OBJECT
public:
  explicit AlphaSkin(MainWindow *window);
  ~AlphaSkin() override;

  bool active() const { return m_active; }
  // Shows the picture on the window (which takes its size). The mask colour becomes the colour
  // key of what the objects paint, and CLIPOBJECTS is read, now and not again until the next
  // picture; setClipObjects changes it in between.
  void enter(const QImage &picture, const MaskColor &key, bool clipObjects);
  // An opaque window again, with no picture, no shapes and objects as they were.
  void leave();
  void setClipObjects(bool clip);
  bool composited() const;

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  // Objects move, show and hide in bursts (one event block): shape once after the burst.
  void scheduleShape();
  void applyShape();
  void adopt(QWidget *object);
  void release(QWidget *object);

  // The last skins shown, ready to paint with their regions: switching between two skins in
  // an event block then costs no conversion and no pass over the pixels.
  struct Prepared {
    qint64 source = 0;    // QImage::cacheKey of the picture it was made from
    QImage skin;          // premultiplied
    AlphaRegions regions; // in the skin's pixels
    qreal scale = 1.0;    // the skin's device pixels to a logical one
    QRegion opaqueCover;  // with art: the logical pixels its opaque pixels touch
  };
  const Prepared &prepare(const QImage &picture);

  MainWindow *m_window;
  QList<Prepared> m_prepared; // most recent first
  Compositor *m_compositor;
  AlphaRegions m_regions;
  qreal m_scale = 1.0;
  QRegion m_opaqueCover; // the opaque pixels in logical ones, for the objects' clips
  QRgb m_key = 0;
  bool m_clip = true;
  bool m_active = false;
  bool m_shapePending = false;
  QList<QPointer<QWidget>> m_objects; // the window's children given the colour key
};

} // namespace nuv
