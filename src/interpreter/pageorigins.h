// Which pages may command the engine through "NUV:" addresses: the document's own and the ones
// it sent its browsers to.
#pragma once

#include <QString>
#include <QStringList>

namespace nuv {

// A web origin ("http://host:port", lower case, the port always written) for a remote address;
// for a local path or a "file:" address, "file://" and the folder that holds it, ending in "/".
// Empty for anything else.
QString originOf(const QString &address);

// A local path as the "file:" address a browser shows; anything else as it is.
QString browserAddress(const QString &resolvedLocation);

class PageOrigins {
public:
  // An address the document itself gave a browser; its origin (for a file, its folder and
  // everything below it) may command the engine from now on.
  void trustAddress(const QString &address);
  // origin: what the page reports, a web origin, or "file://" and the folder of the sending file
  // pages. baseFolder: the document's own; a local one trusts its file pages and those below.
  bool trusts(const QString &origin, const QString &baseFolder) const;

private:
  QStringList m_origins; // as originOf gives them
};

} // namespace nuv
