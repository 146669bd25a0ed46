// The interpreter's view of the host: locations, the disk cache and the picture table. These
// are the calls that may wait for a transfer, with the event loop turning meanwhile.
#pragma once

#include "picture.h"

#include <QString>
#include <QStringList>

namespace nuv {

class DocumentResources {
public:
  virtual ~DocumentResources() = default;
  virtual QString resolveLocation(const QString &location) = 0;
  // A local file holding the location's content (the location itself when it cannot be had).
  virtual QString fetchToCache(const QString &location) = 0;
  // The location's picture, decoded once into the shared table; null when there is none.
  virtual Picture loadPicture(const QString &location) = 0;
  // A pointer file (.cur, .ico, .ani, or any picture) decoded; null when it cannot be had or is
  // no pointer.
  virtual std::shared_ptr<const PointerPicture> loadPointer(const QString &location) = 0;
  virtual void setCacheLevel(int level) = 0;
  // A PRELOAD list: every item fetched as above, in any order or side by side; returns once all
  // are done.
  virtual void preloadFiles(const QStringList &locations) {
    for (const QString &location : locations)
      fetchToCache(location);
  }
  virtual void preloadPictures(const QStringList &locations) {
    for (const QString &location : locations)
      loadPicture(location);
  }
  // The folder (local path or remote address, ending in "/") that relative locations resolve
  // against: the document's own.
  virtual QString baseFolder() { return resolveLocation(QString()); }
  // Whether NEW may start an engine on this resolved location. A document from the network may
  // start only network locations: a local one would run with local includes allowed.
  virtual bool mayStart(const QString &location) {
    Q_UNUSED(location);
    return true;
  }
  // EXIT ran: every transfer under way ends now, and any asked for later fails at once, so that
  // no server can keep the process after its window has gone.
  virtual void endTransfers() {}
};

} // namespace nuv
