// Installer chores: desktop shortcuts for the shipped templates, and removing them again.
#pragma once

#include <QString>
#include <QStringList>

namespace nuv {

// Where the chores look and write. Folders end in "/"; an empty desktop means there is none.
struct DesktopPlaces {
  QString program; // the engine binary a shortcut starts
  QString programFolder;
  QString templates; // the folder of shipped templates; may not exist
  QString desktop;
  QString userFolder; // holds the uninstall record
  QString cacheFolder;
  // What the web engine keeps for this user: each origin's profile, and the folders Qt WebEngine
  // fills on its own under the application's data and cache folders.
  QStringList webFolders;

  // The places of this program and user: templates in "<program folder>/Desktop/", else in the
  // installed data folder beside the binary; the desktop folder as the desktop names it
  // (desktopFolder()), whether or not it exists yet.
  static DesktopPlaces ofThisProgram(const QString &userFolder, const QString &cacheFolder);
};

// The user's desktop folder as the desktop finds it: what `xdg-user-dir DESKTOP` says when that
// program is there, else the user-dirs.dirs entry, else ~/Desktop. "" when none can be named.
QString desktopFolder();

// What "-postinstall" did, for the installer to show.
struct PostInstallReport {
  QString desktop;     // the desktop folder, with "/"
  QString problem;     // why nothing could be written there; "" when the folder was to be had
  int templates = 0;   // templates found
  QStringList written; // entries written, in order
  QStringList failed;  // entries that could not be written
};

inline constexpr char uninstallRecordName[] = "uninsNUV.dat";

// The icon a shortcut gets when its template brings none: the engine's, from the icon theme.
inline constexpr char engineIconName[] = "nuv";

// "-postinstall": makes the desktop folder when it is missing, then one desktop entry per
// template (.jov before .nuv), each recorded in the uninstall record. An entry this engine did
// not write is never replaced: the new one takes a free name ("Title (2).desktop"). No step
// stops the others; the report says what was done.
PostInstallReport postInstall(const DesktopPlaces &places);
// The lines that tell a person what postInstall did: where each entry went, or why none did.
QStringList describe(const PostInstallReport &report, const DesktopPlaces &places);
// "-preuninstall": deletes the recorded entries that lie directly in the desktop folder and that
// this engine wrote (its Comment, and this program on the Exec line), and the record; then the
// web engine's folders whole, and empties and removes the per-user folders. Ignores every error.
void preUninstall(const DesktopPlaces &places);

// Deletes the plain, visible files directly in a folder, then the folder if that left it empty.
// Subfolders and hidden files stay; an empty path or a root is never touched.
void removeFolder(const QString &path);

// The file name of a shortcut titled so: never a path, never hidden, never empty.
QString shortcutFileName(const QString &title);
// One argument of an Exec line, quoted by the Desktop Entry rules and escaped as a value.
QString execArgument(const QString &argument);
// The text of a desktop entry that opens a template with the engine.
QString shortcutEntry(const QString &title, const QString &program, const QString &templatePath,
                      const QString &workingFolder, const QString &icon);

} // namespace nuv
