// The interpreter's locations, files and pictures, served by the disk cache.
#pragma once

#include "cache.h"
#include "resources.h"

namespace nuv {

class HostResources : public DocumentResources {
public:
  explicit HostResources(Cache &cache) : m_cache(cache) {}

  QString resolveLocation(const QString &location) override { return m_cache.resolve(location); }
  QString fetchToCache(const QString &location) override {
    QString resolved = location;
    return m_cache.fetchToCache(resolved);
  }
  Picture loadPicture(const QString &location) override {
    QString resolved = location;
    return m_cache.loadPictureCached(resolved);
  }
  std::shared_ptr<const PointerPicture> loadPointer(const QString &location) override;
  void setCacheLevel(int level) override { m_cache.setCacheLevel(level); }
  void preloadFiles(const QStringList &locations) override { m_cache.preloadFiles(locations); }
  void preloadPictures(const QStringList &locations) override {
    m_cache.preloadPictures(locations);
  }
  QString baseFolder() override { return m_cache.baseFolder(); }
  bool mayStart(const QString &location) override;
  void endTransfers() override;

private:
  Cache &m_cache;
};

} // namespace nuv
