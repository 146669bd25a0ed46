// The per-pixel-alpha skin: translucency, window and input shapes, object clips, colour key.
#include "alphaskin.h"

#include "alphashape.h"
#include "compositor.h"
#include "controls.h"
#include "density.h"
#include "mainwindow.h"

#include <QEvent>
#include <QGraphicsEffect>
#include <QMetaObject>
#include <QPainter>

#include <algorithm>

namespace nuv {

namespace {

// Whatever an object paints in exactly the key colour is left out, so the skin shows there.
class ColourKeyEffect : public QGraphicsEffect {
public:
  explicit ColourKeyEffect(QRgb key, QObject *parent = nullptr)
      : QGraphicsEffect(parent), m_key(key) {}

  void setKey(QRgb key) {
    if (key == m_key) return;
    m_key = key;
    update();
  }

protected:
  void draw(QPainter *painter) override {
    QPoint offset;
    // The object alone, on a transparent ground.
    const QPixmap source = sourcePixmap(Qt::DeviceCoordinates, &offset, NoPad);
    if (source.isNull()) return;
    const QTransform transform = painter->worldTransform();
    painter->setWorldTransform(QTransform());
    painter->drawImage(offset, keyColour(source.toImage(), m_key));
    painter->setWorldTransform(transform);
  }

private:
  QRgb m_key;
};

// Two skins an event block switches between stay ready; more would only hold memory.
constexpr qsizetype keptSkins = 2;

// A mask no pixel of the object is in: an empty mask would mean no mask at all.
const QRegion nowhere(-1, -1, 1, 1);

std::optional<QRegion> ownShape(const QWidget *object) {
  const auto *button = qobject_cast<const PictureButton *>(object);
  if (button == nullptr || button->outline().isEmpty()) return std::nullopt;
  return button->outline();
}

void setObjectMask(QWidget *object, const std::optional<QRegion> &mask) {
  if (!mask)
    object->clearMask();
  else
    object->setMask(mask->isEmpty() ? nowhere : *mask);
}

} // namespace

AlphaSkin::AlphaSkin(MainWindow *window)
    : QObject(window), m_window(window), m_compositor(new Compositor(this)) {
  connect(m_compositor, &Compositor::changed, this, [this] { applyShape(); });
}

AlphaSkin::~AlphaSkin() = default;

bool AlphaSkin::composited() const {
  return m_compositor->present();
}

const AlphaSkin::Prepared &AlphaSkin::prepare(const QImage &picture) {
  const auto found = std::find_if(m_prepared.begin(), m_prepared.end(), [&](const Prepared &p) {
    return p.source == picture.cacheKey();
  });
  if (found != m_prepared.end()) {
    m_prepared.move(found - m_prepared.begin(), 0);
    return m_prepared.first();
  }
  // Premultiplied is what the window's surface holds: painting it is a plain copy. Art is
  // drawn pixel for pixel, so its regions are in device pixels.
  Prepared prepared;
  prepared.source = picture.cacheKey();
  prepared.skin = shownAt(picture, m_window->devicePixelRatioF(), true)
                      .convertToFormat(QImage::Format_ARGB32_Premultiplied);
  prepared.regions = alphaRegions(prepared.skin);
  prepared.scale = prepared.skin.devicePixelRatio();
  if (prepared.scale != 1.0)
    prepared.opaqueCover = logicalCover(prepared.regions.opaque, prepared.scale);
  m_prepared.prepend(std::move(prepared));
  if (m_prepared.size() > keptSkins) m_prepared.removeLast();
  return m_prepared.first();
}

void AlphaSkin::enter(const QImage &picture, const MaskColor &key, bool clipObjects) {
  const Prepared &prepared = prepare(picture);
  const QImage skin = prepared.skin;
  m_regions = prepared.regions;
  m_scale = prepared.scale;
  m_opaqueCover = prepared.scale == 1.0 ? prepared.regions.opaque : prepared.opaqueCover;
  m_key = qRgb(key.red, key.green, key.blue);
  m_clip = clipObjects;
  if (!m_active) m_window->installEventFilter(this);
  m_active = true;
  m_window->setPicture(skin);
  m_window->setTranslucent(true);
  for (const QPointer<QWidget> &object : std::as_const(m_objects))
    if (object != nullptr) static_cast<ColourKeyEffect *>(object->graphicsEffect())->setKey(m_key);
  applyShape();
}

void AlphaSkin::leave() {
  if (!m_active) return;
  m_active = false;
  m_window->removeEventFilter(this);
  for (QWidget *layer : m_window->layers())
    layer->removeEventFilter(this);
  for (const QPointer<QWidget> &object : std::as_const(m_objects))
    if (object != nullptr) release(object);
  m_objects.clear();
  m_regions = {};
  m_opaqueCover = {};
  m_scale = 1.0;
  m_window->clearMask();
  setInputShape(m_window, std::nullopt);
  m_window->setPicture(QImage());
  m_window->setTranslucent(false);
}

void AlphaSkin::setClipObjects(bool clip) {
  if (!m_active || clip == m_clip) return;
  m_clip = clip;
  applyShape();
}

void AlphaSkin::adopt(QWidget *object) {
  object->installEventFilter(this);
  object->setGraphicsEffect(new ColourKeyEffect(m_key));
  m_objects.append(object);
}

void AlphaSkin::release(QWidget *object) {
  object->removeEventFilter(this);
  object->setGraphicsEffect(nullptr);
  setObjectMask(object, ownShape(object));
}

void AlphaSkin::scheduleShape() {
  if (m_shapePending) return;
  m_shapePending = true;
  QMetaObject::invokeMethod(
      this, [this] { applyShape(); }, Qt::QueuedConnection);
}

void AlphaSkin::applyShape() {
  m_shapePending = false;
  if (!m_active) return;
  m_objects.removeAll(nullptr);
  // Controls live in the window's layers; a layer only holds them and is no object itself.
  for (QWidget *layer : m_window->layers()) {
    layer->installEventFilter(this); // once: installing again only moves it to the front
    const QList<QWidget *> children = layer->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    for (QWidget *child : children)
      if (!child->isWindow() && !m_objects.contains(child)) adopt(child);
  }

  QRegion objects;
  for (const QPointer<QWidget> &object : std::as_const(m_objects)) {
    const std::optional<QRegion> own = ownShape(object);
    // Objects are laid out in logical pixels: one is clipped to those the opaque pixels touch.
    setObjectMask(object, m_clip ? objectClip(m_opaqueCover, object->geometry(), own) : own);
    if (object->isHidden()) continue;
    objects += own.value_or(QRegion(object->rect())).translated(object->pos());
  }
  // With art the skin's regions are in device pixels, and the window is shaped in those.
  const bool device = m_scale != 1.0;
  if (device) objects = deviceRegionOf(objects, m_scale);
  const WindowShape shape = alphaWindowShape(m_regions, objects, m_clip, composited());
  if (!shape.bounding)
    m_window->clearMask();
  else if (shape.bounding->isEmpty())
    m_window->setMask(nowhere);
  else if (device)
    m_window->setDeviceShape(*shape.bounding);
  else
    m_window->setMask(*shape.bounding);
  setInputShape(m_window, shape.input, device);
}

bool AlphaSkin::eventFilter(QObject *watched, QEvent *event) {
  switch (event->type()) {
  case QEvent::Show:
    // A new native window (made translucent, or shown again) starts without an input shape;
    // give it one before it is mapped.
    if (watched == m_window)
      applyShape();
    else
      scheduleShape();
    break;
  case QEvent::Move:
  case QEvent::Resize:
    if (watched != m_window) scheduleShape();
    break;
  case QEvent::Hide:
  case QEvent::ChildAdded:
  case QEvent::ChildRemoved:
  case QEvent::WinIdChange:
    scheduleShape();
    break;
  default:
    break;
  }
  return false;
}

} // namespace nuv
