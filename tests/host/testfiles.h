// Whole-file reads and writes, and the Last-Modified stamps, that the cache and preload tests
// share.
#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QString>

namespace nuv::test {

inline const QString stampA = QStringLiteral("Tue, 02 Jan 2024 08:00:00 GMT");
inline const QString stampB = QStringLiteral("Wed, 03 Jan 2024 09:30:00 GMT");

inline QByteArray readAll(const QString &path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void writeAll(const QString &path, const QByteArray &bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(bytes);
}

} // namespace nuv::test
