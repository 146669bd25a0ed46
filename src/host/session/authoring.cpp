// Tools for people who write Skivets: --help, --version, --reference, --check, --watch and
// --screenshot.
#include "authoring.h"

#include "cache.h"
#include "checker.h"
#include "hostresources.h"
#include "interpreter.h"
#include "locations.h"
#include "quietwindowsystem.h"
#include "reference.h"
#include "startup.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace nuv {

using namespace Qt::StringLiterals;

namespace {

const char helpText[] = R"(Usage: nuv LOCATION [-x:N] [-y:N] [-ox:N] [-oy:N] [-relative] [-nomove]
       nuv --check LOCATION
       nuv --watch LOCATION [placement options]
       nuv --screenshot FILE LOCATION [placement options]
       nuv -postinstall | -preuninstall
       nuv --help | -h | -? | --version | --reference

Runs a Skivet. LOCATION is a location file (.nuv, .jov) whose first field names the document,
a Skivet document itself (a local file named *.skv), or an http(s):// address whose body names
the document.

Placement:
  -x:N, -y:N         left and top edge in pixels; N- counts from the right or bottom edge
  -ox:N, -oy:N       an origin that -relative adds to -x: and -y:
  -relative          place the window relative to the origin
  -nomove            accepted for old shortcuts; no effect

For people who write Skivets:
  --check LOCATION   report what the document gets wrong, in line order, one line each, as
                     FILE:LINE: error: text, or warning: for a line the engine passes over;
                     exit status 1 on an error, 0 for warnings alone
  --watch LOCATION   run the Skivet, and run it afresh whenever the document or a file it
                     includes changes, also once a file that went missing is back; a version
                     that cannot run as it stands leaves the last good one showing
  --screenshot FILE  render the first frame without a display into the PNG FILE, and exit;
                     exit status 1 when FILE cannot be written
  --reference        print the language reference: every statement, object, property,
                     command, event and constant, with what it takes and an example

Installers:
  -postinstall       make a desktop entry for every template in the program's Desktop folder
                     on the desktop (made when missing), and print where each went
  -preuninstall      remove those entries, the web profiles and the per-user folders

Files: the per-user folder is $XDG_DATA_HOME/NUV/ (default ~/.local/share/NUV/), with the
download cache in its cache/ and the uninstall record uninsNUV.dat.
Set NUV_MESSAGES=stderr to have messages written to standard error instead of shown.
)";

void print(std::FILE *stream, const QString &text) {
  std::fputs(text.toLocal8Bit().constData(), stream);
}

// Start-up's messages, as diagnostics of the location a check was given.
class DiagnosticWindows : public QuietWindowSystem {
public:
  explicit DiagnosticWindows(QString location) : m_location(std::move(location)) {}

  void showMessage(const QString &title, const QString &text, MessageIcon) override {
    QString flat = text;
    flat.replace(u"\r\n"_s, u" "_s).replace(u'\n', u' ');
    print(stdout, m_location + u": error: "_s + title + u": "_s + flat.simplified() + u'\n');
  }
  // A check places nothing, shows nothing and starts nothing.
  QPoint mainWindowPosition() const override { return {unplaced, unplaced}; }
  void whenPlaced(std::function<void()>) override {}
  bool startProcess(const QString &, const QStringList &, const QStringList &) override {
    return false;
  }
  SkinKind applySkin(const SkinRequest &) override { return SkinKind::Plain; }
  bool setPointer(PointerTarget, const Pointer &) override { return false; }
  ControlId createControl(const ControlSpec &) override { return 0; }

private:
  QString m_location;
};

int runCheck(const AuthoringOptions &options) {
  int argc = 1;
  char name[] = "nuv";
  char *argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(u"NUV"_s);
  Cache cache;
  cache.transfer().setLimits(TransferLimits::fromEnvironment());
  HostResources resources(cache);
  DiagnosticWindows windows(options.arguments.isEmpty() ? QString() : options.arguments.last());
  Interpreter interpreter(windows, resources);
  Startup startup(windows, interpreter, cache);
  SourceMap map;
  startup.setSourceMap(&map);
  const bool read = startup.run(options.arguments);
  if (!read && startup.documentLocation().isEmpty()) return 1;
  const Diagnostics found =
      diagnose(map, startup.documentText(), cache, startup.documentLocation());
  for (const QString &line : found.lines)
    print(stdout, line + u'\n');
  std::fflush(stdout);
  return found.errors || !read ? 1 : 0;
}

} // namespace

QStringList commandLineOf(int argc, char *argv[]) {
  QStringList arguments;
  for (int i = 1; i < argc; ++i)
    arguments += QString::fromLocal8Bit(argv[i]);
  return arguments;
}

AuthoringOptions readAuthoringOptions(const QStringList &arguments) {
  AuthoringOptions options;
  bool help = false;
  bool version = false;
  bool reference = false;
  const auto setMode = [&options](AuthoringMode mode, const QString &option) {
    if (options.mode != AuthoringMode::Run && options.mode != mode)
      options.mistake = u"%1 cannot be combined with the other tool options"_s.arg(option);
    options.mode = mode;
  };
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    const QString &argument = arguments[i];
    // The short forms people try first.
    if (argument == u"-h" || argument == u"-?") {
      help = true;
      continue;
    }
    if (!argument.startsWith(u"--"_s)) {
      options.arguments += argument;
      continue;
    }
    const qsizetype equals = argument.indexOf(u'=');
    const QString option = equals < 0 ? argument : argument.left(equals);
    const auto value = [&]() -> QString {
      if (equals >= 0) return argument.mid(equals + 1);
      if (i + 1 < arguments.size()) return arguments[++i];
      options.mistake = option + u" needs a value"_s;
      return {};
    };
    if (option == u"--help") {
      help = true;
    } else if (option == u"--version") {
      version = true;
    } else if (option == u"--reference") {
      reference = true;
    } else if (option == u"--check" || option == u"--watch") {
      setMode(option == u"--check" ? AuthoringMode::Check : AuthoringMode::Watch, option);
      const QString location = value();
      if (!location.isEmpty()) options.arguments += location;
    } else if (option == u"--screenshot") {
      setMode(AuthoringMode::Screenshot, option);
      options.screenshot = value();
    } else if (options.mistake.isEmpty()) {
      options.mistake = u"unknown option '%1'"_s.arg(argument);
    }
  }
  if (help)
    options.mode = AuthoringMode::Help;
  else if (version)
    options.mode = AuthoringMode::Version;
  else if (reference)
    options.mode = AuthoringMode::Reference;
  else if (!options.mistake.isEmpty())
    options.mode = AuthoringMode::Mistake;
  else if (options.mode != AuthoringMode::Run && options.arguments.isEmpty())
    options = {AuthoringMode::Mistake, {}, {}, u"a LOCATION is needed"_s};
  return options;
}

bool runsWithoutWindow(AuthoringMode mode) {
  return mode == AuthoringMode::Help || mode == AuthoringMode::Version ||
         mode == AuthoringMode::Reference || mode == AuthoringMode::Check ||
         mode == AuthoringMode::Mistake;
}

int runAuthoringTool(const AuthoringOptions &options) {
  switch (options.mode) {
  case AuthoringMode::Help:
    std::fputs(helpText, stdout);
    return 0;
  case AuthoringMode::Version:
    std::printf("nuv %s\n", NUV_VERSION);
    return 0;
  case AuthoringMode::Reference:
    print(stdout, languageReference());
    return 0;
  case AuthoringMode::Check:
    return runCheck(options);
  case AuthoringMode::Mistake:
    print(stderr, u"nuv: "_s + options.mistake + u"\nTry 'nuv --help' for more information.\n"_s);
    return 2;
  case AuthoringMode::Run:
  case AuthoringMode::Watch:
  case AuthoringMode::Screenshot:
    break;
  }
  return 0;
}

namespace {

// One thing to tell, with how many lines of the expanded text come before it.
struct Told {
  size_t before;
  SourceMap::Place place;
  Severity severity;
  QString text;
  bool unfinished;
};

// What the checker finds in the expanded text, placed through the map.
void addFindings(std::vector<Told> &told, const SourceMap &map, const QString &text,
                 const Cache &cache) {
  // One line per place: the reader ends every line it keeps with LF.
  QStringList lines = text.split(u'\n');
  lines.removeLast();
  const FileProbe exists = [&cache](const QString &location) {
    const QString resolved = cache.resolve(location);
    return isRemote(resolved) || !findLocalFile(resolved).isEmpty();
  };
  for (const Finding &finding : checkDocument(lines, exists)) {
    const size_t index = size_t(finding.line - 1);
    told.push_back({index, index < map.lines.size() ? map.lines[index] : SourceMap::Place{},
                    finding.severity, finding.text, finding.unfinished});
  }
}

} // namespace

Diagnostics diagnose(const SourceMap &map, const QString &text, const Cache &cache,
                     const QString &document) {
  // A read that failed leaves a version that cannot run; an include that includes nothing is a
  // line the engine passes over.
  std::vector<Told> told;
  for (const SourceMap::Problem &problem : map.problems)
    told.push_back({problem.before, problem.place,
                    problem.passedOver ? Severity::Warning : Severity::Error, problem.text,
                    !problem.passedOver});
  const bool readFailed =
      std::any_of(told.begin(), told.end(), [](const Told &t) { return t.unfinished; });
  if (text.isEmpty() && !readFailed)
    told.push_back({0, {}, Severity::Error, u"the document is empty"_s, true});
  if (!text.isEmpty()) addFindings(told, map, text, cache);
  // In the order of the expanded text: a problem with an %INCLUDE comes before the lines it
  // would have brought.
  std::stable_sort(told.begin(), told.end(),
                   [](const Told &a, const Told &b) { return a.before < b.before; });
  Diagnostics out;
  for (const Told &t : told) {
    const QString location =
        t.place.file >= 0 && t.place.file < map.files.size() ? map.files[t.place.file] : document;
    QString line = isRemote(location) ? location : localPathOf(location);
    if (t.place.line > 0) line += u':' + QString::number(t.place.line);
    line += t.severity == Severity::Error ? u": error: "_s : u": warning: "_s;
    out.lines += line + t.text;
    out.errors = out.errors || t.severity == Severity::Error;
    out.unfinished = out.unfinished || t.unfinished;
  }
  return out;
}

} // namespace nuv
