// Which pages may command the engine through "NUV:" addresses: the document's own and the ones
// it sent its browsers to.
#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

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

// What standard error hears of refused page commands: each origin once, then how many more were
// refused, at most once every countInterval, so a page that commands in a loop cannot flood it.
class RefusalNotices {
public:
  static constexpr qint64 countIntervalMs = 10'000;
  // Origins past this many are counted, never named: a page can make up origins without end.
  static constexpr qsizetype maxNamedOrigins = 16;
  // The line one refusal of a command from origin says now, if any; nowMs from a steady clock.
  std::optional<QString> refuse(const QString &origin, qint64 nowMs);

private:
  QSet<QString> m_named;
  qint64 m_uncounted = 0;              // refusals said by no line yet
  std::optional<qint64> m_lastCounted; // when the last count was said, or the first refusal
};

} // namespace nuv
