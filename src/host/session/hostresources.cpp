// Pointer files, which documents NEW may start, and the end of transfers, for the interpreter's
// resources.
#include "hostresources.h"

#include "localfile.h"
#include "locations.h"
#include "pointerfile.h"

namespace nuv {

// A pointer file's own formats first; any other picture shows with its hotspot at the top-left.
std::shared_ptr<const PointerPicture> HostResources::loadPointer(const QString &location) {
  QString path = location;
  path = m_cache.fetchToCache(path);
  if (path.isEmpty()) return nullptr;
  const LocalFile file = readRegularFile(path, maxPointerFileBytes);
  if (!file.ok()) return nullptr;
  if (std::optional<PointerPicture> pointer = readPointerFile(file.bytes))
    return std::make_shared<const PointerPicture>(std::move(*pointer));
  const Picture picture = m_cache.loadPictureCached(path);
  if (!picture) return nullptr;
  // Art counts at the picture's own size: its extra pixels are the display's.
  const QSize side = picture->deviceIndependentSize().toSize();
  if (side.width() > maxPointerSide || side.height() > maxPointerSide) return nullptr;
  PointerPicture still;
  still.frames.push_back(PointerFrame{*picture, QPoint(0, 0)});
  return std::make_shared<const PointerPicture>(std::move(still));
}

bool HostResources::mayStart(const QString &location) {
  return !isRemote(m_cache.baseFolder()) || isRemote(location);
}

void HostResources::endTransfers() {
  m_cache.transfer().endAll(QStringLiteral("The Skivet has ended."));
}

} // namespace nuv
