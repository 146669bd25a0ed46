// Document locations: local paths, paths relative to the base folder, and remote addresses.
#pragma once

#include <QString>
#include <QStringView>

namespace nuv {

// Starts with "http:", "https:" or "ftp:" in any letter case.
bool isRemote(QStringView location);
// Starts with "/" or "\", a drive-style "X:", or one of the schemes "http:", "https:", "ftp:",
// "file:" in any letter case.
bool isAbsoluteLocation(QStringView location);

// The location with the base folder in front unless it is absolute. A local location's "\"
// become "/"; remote addresses are left as they are.
QString resolveLocation(QStringView location, QStringView baseFolder);
// Up to and including the last "/" or "\"; "" when there is neither.
QString folderOf(QStringView location);
// The file name without its extension, in the letter case stored on disk when the file exists.
QString displayNameOf(QStringView location);
// From the last "." to the end; "" when there is no ".".
QString extensionOf(QStringView location);

// The file-system path of a local location ("file:" addresses included, "\" made "/");
// "" for a remote one.
QString localPathOf(QStringView location);
// The path of an existing local file or folder, matching path components case-insensitively
// when the exact name is missing, so documents written on case-insensitive systems keep working.
// "" when nothing matches or the location is remote.
QString findLocalFile(QStringView location);
// A local location naming an existing file; false for remote ones and on any failure.
bool locationExists(QStringView location);

// Where the double-density art of a picture lies, as Qt names it: "@2x" before the extension of
// the last path component ("skin.bmp" -> "skin@2x.bmp", "a.b/c" -> "a.b/c@2x"). A remote
// address keeps its query and fragment after the path ("x.png?v=2" -> "x@2x.png?v=2"). "" when
// the name already ends in "@2x" or names no file (a folder, an address without a path).
QString highDensityLocationOf(QStringView location);

} // namespace nuv
