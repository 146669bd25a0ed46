// The browser module's entry point: Qt WebEngine set up on first use, one profile per origin.
#include "webenginemodule.h"

#include "webbrowser.h"

#include <QAccessible>
#include <QDir>
#include <QLoggingCategory>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>

#include <unistd.h>

namespace nuv {

using namespace Qt::StringLiterals;

namespace {

// "nuv:" navigations never load anything: the page's interceptor has reported them already.
class CommandSchemeHandler : public QWebEngineUrlSchemeHandler {
public:
  using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;
  void requestStarted(QWebEngineUrlRequestJob *job) override {
    job->fail(QWebEngineUrlRequestJob::RequestAborted);
  }
};

// Chromium starts a renderer process for every page, so each browser of a document cost one, and
// a second browser's renderer starting beside the first delayed both pages. One engine shows one
// document, whose pages share one profile; in one renderer, a second browser costs its page
// little more than the first. (The web engine keeps no site isolation between renderers that
// this would give up: cross-site frames already share one.)
constexpr int rendererProcessLimit = 1;

// Read once, when the web engine starts; a limit a person set stays as it is.
void limitRendererProcesses() {
  QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
  if (flags.contains("--renderer-process-limit")) return;
  if (!flags.isEmpty()) flags += ' ';
  flags += "--renderer-process-limit=" + QByteArray::number(rendererProcessLimit);
  qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
}

// Chromium describes a page to screen readers only when told at its start: with one active, the
// page's headings, text and controls appear below the browser in the accessibility tree.
void describePagesToScreenReaders() {
  if (!QAccessible::isActive()) return;
  QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
  if (flags.contains("--force-renderer-accessibility")) return;
  if (!flags.isEmpty()) flags += ' ';
  flags += "--force-renderer-accessibility";
  qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
}

} // namespace

WebEngineModule::WebEngineModule() {
  // Chromium refuses to start its sandbox as root, which only tests and CI run as; a person's
  // engine keeps it.
  if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  limitRendererProcesses();
  describePagesToScreenReaders();
  // Known to the web engine before its first profile, a "nuv:" link is a navigation that pages
  // may make and the request interceptor sees.
  QWebEngineUrlScheme scheme("nuv");
  scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
  QWebEngineUrlScheme::registerScheme(scheme);
  // The web engine describes its set-up at length on standard error, where the engine's own
  // diagnostics go.
  QLoggingCategory::setFilterRules(u"qt.webenginecontext=false"_s);
}

WebEngineModule::~WebEngineModule() {
  release();
}

QWebEngineProfile *WebEngineModule::profile(const QString &folder) {
  if (QWebEngineProfile *found = m_profiles.value(folder)) return found;
  QDir().mkpath(folder);
  auto *profile = new QWebEngineProfile(QDir(folder).dirName(), this);
  profile->setPersistentStoragePath(folder);
  profile->setCachePath(folder + u"/cache"_s);
  profile->installUrlSchemeHandler("nuv", new CommandSchemeHandler(profile));
  m_profiles.insert(folder, profile);
  return profile;
}

Browser *WebEngineModule::createBrowser(QWidget *parent, const QString &profileFolder,
                                        BrowserListener *listener) {
  return new WebBrowser(profile(profileFolder), listener, parent);
}

void WebEngineModule::release() {
  qDeleteAll(m_profiles);
  m_profiles.clear();
}

} // namespace nuv
