// The interpreter's view of the host: locations, the disk cache and the picture table.
#pragma once

#include <QString>
#include <QStringList>

namespace nuv {

class DocumentResources {
public:
  virtual ~DocumentResources() = default;
  virtual QString resolveLocation(const QString &location) = 0;
  // A local file holding the location's content (the location itself when it cannot be had).
  virtual QString fetchToCache(const QString &location) = 0;
  // Loads the picture into the shared table; false when there is none.
  virtual bool loadPictureCached(const QString &location) = 0;
  virtual void setCacheLevel(int level) = 0;
  // A PRELOAD list: every item fetched as above, in any order or side by side; returns once all
  // are done.
  virtual void preloadFiles(const QStringList &locations) {
    for (const QString &location : locations)
      fetchToCache(location);
  }
  virtual void preloadPictures(const QStringList &locations) {
    for (const QString &location : locations)
      loadPictureCached(location);
  }
  // The folder (local path or remote address, ending in "/") that relative locations resolve
  // against: the document's own.
  virtual QString baseFolder() { return resolveLocation(QString()); }
};

} // namespace nuv
