// Reading local files named by documents, which may point at devices, FIFOs or huge files.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <memory>
#include <optional>

namespace nuv {

enum class LocalReadError {
  None,
  // Nothing of that name (or a folder on the way is missing).
  Missing,
  // A device, FIFO, socket or folder: reading it could block or never end.
  NotRegular,
  // More bytes than the bound were there to read.
  TooLarge,
  // It exists but could not be opened or read (permissions, I/O).
  Unreadable,
};

// Which file a path names, whatever the spelling: device and inode.
struct FileIdentity {
  quint64 device = 0;
  quint64 inode = 0;
  bool operator==(const FileIdentity &other) const = default;
};

struct LocalFile {
  LocalReadError error = LocalReadError::None;
  // Set when error is Unreadable: what the system said.
  QString reason;
  QByteArray bytes;
  FileIdentity identity;

  bool ok() const { return error == LocalReadError::None; }
};

// What a read does with a file longer than its bound.
enum class PastBound {
  Refuse, // TooLarge
  Cut,    // the first maxBytes bytes are enough for the caller
};

// The whole content of a regular file of at most maxBytes bytes. The file is opened without
// blocking and checked after opening, so a FIFO or device never hangs or floods the reader; the
// bytes actually read are what count against the bound, never the size the file reports.
LocalFile readRegularFile(const QString &path, qint64 maxBytes,
                          PastBound pastBound = PastBound::Refuse);

struct LocalText {
  LocalReadError error = LocalReadError::None;
  // Set when error is Unreadable: what the system said.
  QString reason;
  // The file's bytes up to the first piece of the read that is not all ASCII, widened as they
  // came: ASCII reads the same in every encoding a document may have.
  QString asciiHead;
  // The bytes from that piece on, for the caller to decode.
  QByteArray rest;
  qint64 byteCount = 0;

  bool ok() const { return error == LocalReadError::None; }
};

// readRegularFile for a text, refusing a file past the bound: an ASCII file is never held as
// bytes and text at once, and its bytes are never copied twice.
LocalText readRegularText(const QString &path, qint64 maxBytes);

struct OpenedFile {
  LocalReadError error = LocalReadError::None;
  // Set when error is Unreadable: what the system said.
  QString reason;
  FileIdentity identity;
  // Open for reading when there is no error.
  std::unique_ptr<QFile> file;

  bool ok() const { return error == LocalReadError::None; }
};

// A regular file of at most maxBytes bytes (as it reports), opened and checked as
// readRegularFile does, for a reader that takes only what it needs: a picture decoder reads its
// rows from the file instead of from a copy of all of it.
OpenedFile openRegularFile(const QString &path, qint64 maxBytes);

// The identity of the file a path names (following links); none when it cannot be found.
std::optional<FileIdentity> identityOf(const QString &path);

// "64 MiB", "4 KiB" or "1000 bytes": a bound as the messages name it.
QString describeBytes(qint64 bytes);
// "20 s" or "1500 ms": a time bound as the messages name it.
QString describeDuration(qint64 ms);

} // namespace nuv
