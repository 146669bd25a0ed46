// Start-up: command line, placement, the location file and the first run of the document.
#include "startup.h"

#include "arguments.h"
#include "cache.h"
#include "desktop.h"
#include "documentreader.h"
#include "expressions.h"
#include "interpreter.h"
#include "localfile.h"
#include "locations.h"
#include "network.h"
#include "saturating.h"
#include "text.h"
#include "transfer.h"

#include <QDir>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <optional>

namespace nuv {

using namespace Qt::StringLiterals;

namespace {

// A location file names one location on its first line; a line longer than this is no location,
// and would otherwise travel whole into every message that names it.
constexpr qsizetype maxLocationLineBytes = 4 * 1024;

// Once start-up has waited on the network this long, the loading window shows, so a slow server
// never leaves the user with nothing on screen.
constexpr int loadingWindowDelayMs = 1000;

// The first line of a location file; nullopt when it is longer than the bound.
std::optional<QByteArray> firstLine(const QByteArray &bytes) {
  const qsizetype scan = qMin(bytes.size(), maxLocationLineBytes + 1);
  qsizetype end = 0;
  while (end < scan && bytes[end] != '\r' && bytes[end] != '\n')
    ++end;
  if (end > maxLocationLineBytes) return std::nullopt;
  return bytes.left(end);
}

// Start-up's fetches as one: bounded together by the start-up deadline, and shown with the
// loading window once they keep start-up waiting. The timer can fire only while a transfer
// yields to the event loop; should it find none waiting (a message box runs its own loop), it
// looks again later.
class StartupFetches {
public:
  StartupFetches(Transfer &transfer, WindowSystem &windows)
      : m_transfer(transfer), m_windows(windows), m_saved(transfer.limits()) {
    TransferLimits limits = m_saved;
    limits.deadline = QDeadlineTimer(m_saved.startupTimeoutMs);
    limits.deadlineCause = u"Fetching the Skivet at start-up took longer than the bound of "_s +
                           describeDuration(m_saved.startupTimeoutMs) + u"."_s;
    m_transfer.setLimits(limits);
    m_loading.setSingleShot(true);
    QObject::connect(&m_loading, &QTimer::timeout, [this] {
      if (!m_transfer.isBusy()) {
        m_loading.start(loadingWindowDelayMs);
        return;
      }
      m_windows.showLoadingWindow({}, false);
      m_shown = true;
    });
    m_loading.start(loadingWindowDelayMs);
  }
  ~StartupFetches() {
    m_loading.stop();
    m_transfer.setLimits(m_saved);
    if (m_shown) m_windows.hideLoadingWindow();
  }
  StartupFetches(const StartupFetches &) = delete;
  StartupFetches &operator=(const StartupFetches &) = delete;

private:
  Transfer &m_transfer;
  WindowSystem &m_windows;
  TransferLimits m_saved;
  QTimer m_loading;
  bool m_shown = false;
};

// Bytes no text file holds: a NUL anywhere in what was read, or a control character other than
// a tab in the first line. Such a file is a picture or a program, not a location file.
bool looksBinary(const QByteArray &bytes, const QByteArray &line) {
  if (bytes.contains('\0')) return true;
  return std::any_of(line.begin(), line.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte < 0x20 && byte != '\t') || byte == 0x7f;
  });
}

// A local file named *.skv is a document itself, not a location file naming one.
bool namesDocument(const QString &file) {
  return !isRemote(file) && file.endsWith(u".skv", Qt::CaseInsensitive);
}

const QString usageLine = u"Usage: nuv LOCATION [options], where LOCATION is a location file "
                          u"(.nuv, .jov), a Skivet (.skv) or an http(s):// address. "
                          u"Run nuv --help for the options."_s;

bool hasPrefix(const QString &argument, QStringView option) {
  return argument.startsWith(option, Qt::CaseInsensitive);
}

// The first field of a location file: quoted, or up to the first comma or line end.
QString firstField(const QString &content) {
  QStringView text = content;
  while (!text.isEmpty() && isBlank(text.front()))
    text = text.mid(1);
  if (text.startsWith(u'"')) {
    const qsizetype close = text.indexOf(u'"', 1);
    return (close < 0 ? text.mid(1) : text.mid(1, close - 1)).toString();
  }
  qsizetype end = 0;
  while (end < text.size() && text[end] != u',' && text[end] != u'\r' && text[end] != u'\n')
    ++end;
  return text.left(end).toString();
}

} // namespace

bool Startup::run(const QStringList &rawArguments) {
  QStringList arguments;
  for (const QString &argument : rawArguments) {
    const QString trimmed = trimBlanks(argument);
    if (!trimmed.isEmpty()) arguments.append(trimmed);
  }
  if (arguments.isEmpty()) {
    m_windows.showMessage(u"Error"_s,
                          u"You cannot run this program standalone!\r\n\r\n"_s + usageLine,
                          MessageIcon::None);
    return stopWith(1);
  }
  for (const QString &argument : arguments) {
    if (!handleArgument(argument)) return stopWith(0);
  }
  if (m_locationFile.isEmpty()) return stopWith(0);

  QPoint at = m_windows.mainWindowPosition();
  if (m_x != unplaced) at.setX(m_relative ? saturatedSum(m_ox, m_x) : m_x);
  if (m_y != unplaced) at.setY(m_relative ? saturatedSum(m_oy, m_y) : m_y);
  m_windows.setMainWindowPosition(at);

  m_cache.sweep();

  QString text = readStartDocument();
  if (text.isEmpty()) return stopWith(1);
  // Checking a document stops at its text: nothing runs.
  if (m_map != nullptr) {
    m_text = text;
    return true;
  }
  m_interpreter.parseContent(text);
  return true;
}

QString Startup::readStartDocument() {
  const StartupFetches fetches(m_cache.transfer(), m_windows);
  QString locationText;
  // A document given directly resolves against its own folder, as if a location file beside it
  // had named it.
  if (namesDocument(m_locationFile))
    locationText = m_locationFile;
  else if (!readLocationText(locationText))
    return {};
  // An empty first field would otherwise resolve to the folder itself.
  if (trimBlanks(locationText).isEmpty()) {
    m_windows.showMessage(u"General Error"_s, u"An error occured while reading the Skivet!"_s,
                          MessageIcon::Critical);
    return {};
  }
  const QString location = resolveLocation(locationText, m_cache.baseFolder());
  // A network source names only network locations: a local document would run with local
  // includes allowed, at the word of a server.
  if (isRemote(m_locationFile) && !isRemote(location)) {
    m_windows.showMessage(u"Read Error"_s,
                          u"Could not open Skivet!\r\n\r\n"_s + location +
                              u"\r\n\r\nA location file from the network may name only "
                              u"network locations."_s,
                          MessageIcon::Critical);
    return {};
  }
  m_cache.setBaseFolder(folderOf(location));

  DocumentReader reader(m_cache, m_interpreter.evaluator(), m_windows);
  reader.setSourceMap(m_map);
  m_documentLocation = resolveLocation(location, m_cache.baseFolder());
  return reader.readDocument(m_documentLocation);
}

// False when the program must end at once (the installer options).
bool Startup::handleArgument(const QString &argument) {
  if (hasPrefix(argument, u"-x:")) {
    m_x = coordinate(argument.mid(3), true);
  } else if (hasPrefix(argument, u"-y:")) {
    m_y = coordinate(argument.mid(3), false);
  } else if (hasPrefix(argument, u"-ox:")) {
    m_ox = roundHalfEven(leadingNumber(argument.mid(4)));
  } else if (hasPrefix(argument, u"-oy:")) {
    m_oy = roundHalfEven(leadingNumber(argument.mid(4)));
  } else if (hasPrefix(argument, u"-relative")) {
    m_relative = true;
  } else if (hasPrefix(argument, u"-postinstall")) {
    const DesktopPlaces places = DesktopPlaces::ofThisProgram(userFolder(), m_cache.cacheFolder());
    // Said on standard output: an installer shows it, and no box may wait on a person.
    for (const QString &line : describe(postInstall(places), places))
      std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
    return false;
  } else if (hasPrefix(argument, u"-preuninstall")) {
    preUninstall(DesktopPlaces::ofThisProgram(userFolder(), m_cache.cacheFolder()));
    return false;
  } else if (hasPrefix(argument, u"-nomove")) {
    // Accepted for old shortcuts; it has no effect.
  } else if (argument.startsWith(u'-')) {
    m_windows.showMessage(u"Jov Error"_s,
                          u"Unknown parameter: "_s + argument +
                              u"\r\n\r\nIt is left out; run nuv --help for the options."_s,
                          MessageIcon::Exclamation);
  } else {
    takeLocationFile(argument);
  }
  return true;
}

void Startup::takeLocationFile(QString argument) {
  if (argument.startsWith(u'"')) argument = argument.mid(1, argument.size() - 2);
  // A relative path names a file from the current folder. Made absolute here, the document's
  // location resolves against its folder once, never twice.
  if (!isAbsoluteLocation(argument) && !argument.isEmpty())
    argument = QDir::current().absoluteFilePath(localPathOf(argument));
  m_locationFile = argument;
  m_cache.setBaseFolder(folderOf(argument));
  m_windows.setTitle(displayNameOf(argument));
}

int Startup::coordinate(const QString &text, bool horizontal) const {
  const QSize screen = m_windows.screenSize();
  return placementValue(text, horizontal ? screen.width() : screen.height());
}

bool Startup::readLocationText(QString &text) {
  if (isRemote(m_locationFile) && !m_locationFile.startsWith(u"ftp:", Qt::CaseInsensitive)) {
    const TransferResult fetched = m_cache.transfer().fetchBytes(m_locationFile);
    // A server that cannot be reached is not the machine being offline: only with no network
    // up at all (and a server that is not this machine) is the person told to connect.
    if (fetched.outcome == TransferOutcome::Offline && !namesThisMachine(m_locationFile) &&
        !anyNetworkUp()) {
      m_windows.showMessage(u"Connection Error"_s,
                            u"You are not connected to the internet. In order to view this "
                            u"Skivet, you must connect first."_s,
                            MessageIcon::Critical);
      return false;
    }
    if (!fetched.succeeded()) {
      // A status says why only when the answer came whole; a cut-off one may carry 200.
      const QString cause = fetched.outcome == TransferOutcome::Complete
                                ? u"Code: "_s + QString::number(fetched.status) + u"\r\n\r\n"_s +
                                      describeStatus(fetched.status)
                                : fetched.error;
      m_windows.showMessage(u"Connection Error"_s,
                            u"Could not open "_s + m_locationFile + u"\r\n\r\n"_s + cause,
                            MessageIcon::Critical);
      return false;
    }
    const std::optional<QByteArray> line = firstLine(fetched.body);
    if (!line) return refuseLongLine();
    if (looksBinary(fetched.body.left(maxLocationLineBytes + 1), *line)) return refuseBinary();
    text = decodeText(*line);
    // Written like a local location file, it gives its first field; a bare first line is the
    // location as it stands.
    if (trimmedView(text).startsWith(u'"')) text = firstField(text);
    return true;
  }
  const QString path = findLocalFile(m_locationFile);
  // Only the first line counts, so a longer file is cut; a FIFO or device is never opened for
  // good, since reading it could wait for ever.
  const LocalFile file = path.isEmpty()
                             ? LocalFile{LocalReadError::Missing, {}, {}, {}}
                             : readRegularFile(path, maxLocationLineBytes + 1, PastBound::Cut);
  if (!file.ok()) {
    QString text = u"Could not read the location file\r\n\r\n"_s + m_locationFile;
    if (file.error == LocalReadError::NotRegular)
      text += u"\r\n\r\nIt is not a regular file: devices, FIFOs and folders are never read."_s;
    else if (file.error == LocalReadError::Unreadable)
      text += u"\r\n\r\nIt could not be read: "_s + file.reason + u"."_s;
    else if (isRemote(m_locationFile))
      text += u"\r\n\r\nA location file is read from this machine or over HTTP(S); an ftp:// "
              u"address may name the document inside one."_s;
    else
      text += u"\r\n\r\nNo such file: check the name, or give the path of a location file "
              u"(.nuv, .jov) or a Skivet (.skv)."_s;
    m_windows.showMessage(u"Read Error"_s, text, MessageIcon::Critical);
    return false;
  }
  const std::optional<QByteArray> line = firstLine(file.bytes);
  if (!line) return refuseLongLine();
  if (looksBinary(file.bytes, *line)) return refuseBinary();
  text = firstField(decodeText(*line));
  return true;
}

bool Startup::refuseBinary() {
  m_windows.showMessage(u"Read Error"_s,
                        u"Could not read the location file\r\n\r\n"_s + m_locationFile +
                            u"\r\n\r\nIt holds bytes that are not text, so it is no location "
                            u"file: a location file's first line names the Skivet, such as "
                            u"\"hello.skv\"."_s,
                        MessageIcon::Critical);
  return false;
}

bool Startup::refuseLongLine() {
  m_windows.showMessage(u"Read Error"_s,
                        u"Could not read the location file\r\n\r\n"_s + m_locationFile +
                            u"\r\n\r\nIts first line is longer than the bound of "_s +
                            describeBytes(maxLocationLineBytes) + u"."_s,
                        MessageIcon::Critical);
  return false;
}

} // namespace nuv
