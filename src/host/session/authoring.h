// Tools for people who write Skivets: --help, --version, --reference, --check, --watch and
// --screenshot.
#pragma once

#include "documentreader.h"

#include <QString>
#include <QStringList>

namespace nuv {

class Cache;

enum class AuthoringMode {
  Run,        // runs the Skivet, no tool
  Help,       // --help
  Version,    // --version
  Reference,  // --reference
  Check,      // --check LOCATION
  Watch,      // --watch LOCATION
  Screenshot, // --screenshot FILE
  Mistake     // an authoring option used wrongly
};

struct AuthoringOptions {
  AuthoringMode mode = AuthoringMode::Run;
  QString screenshot;    // the PNG that --screenshot writes
  QStringList arguments; // what start-up gets: the location and the engine's own options
  QString mistake;       // for Mistake: what is wrong
};

// The arguments after the program name.
QStringList commandLineOf(int argc, char *argv[]);
// Takes the "--" options out of the arguments; the rest go to start-up as they stand.
AuthoringOptions readAuthoringOptions(const QStringList &arguments);
// Help, Version, Reference, Check and Mistake need no window: they run here and give the exit
// status.
bool runsWithoutWindow(AuthoringMode mode);
int runAuthoringTool(const AuthoringOptions &options);

// What is wrong with an expanded text, in the compiler form "FILE:LINE: error: text": the
// reads that failed, then what checkDocument finds. Files are resolved as the engine would.
struct Diagnostics {
  QStringList lines;
  bool errors = false;
  // The version cannot run as it stands: a read failed, it is empty, or a block or a quote is
  // never closed.
  bool unfinished = false;
};
Diagnostics diagnose(const SourceMap &map, const QString &text, const Cache &cache,
                     const QString &document);

} // namespace nuv
