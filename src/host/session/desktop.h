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

  // The places of this program and user: templates in "<program folder>/Desktop/", else
  // "<program folder>/../share/nuv/Desktop/" in an installed prefix; the desktop folder only
  // when it exists.
  static DesktopPlaces ofThisProgram(const QString &userFolder, const QString &cacheFolder);
};

inline constexpr char uninstallRecordName[] = "uninsNUV.dat";

// "-postinstall": one desktop entry per template (.jov before .nuv), each recorded in the
// uninstall record. An entry this engine did not write is never replaced: the new one takes a
// free name ("Title (2).desktop"). Ignores every error; returns how many entries were written.
int postInstall(const DesktopPlaces &places);
// "-preuninstall": deletes the recorded entries that lie directly in the desktop folder and that
// this engine wrote (its Comment, and this program on the Exec line), and the record; then
// empties and removes the per-user folders. Ignores every error.
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
