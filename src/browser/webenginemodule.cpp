// The browser module's entry point: Qt WebEngine set up on first use, one profile per origin.
#include "webenginemodule.h"

#include "webbrowser.h"

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

} // namespace

WebEngineModule::WebEngineModule() {
  // Chromium refuses to start its sandbox as root, which only tests and CI run as; a person's
  // engine keeps it.
  if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
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
