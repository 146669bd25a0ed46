// One embedded browser on Qt WebEngine: navigation interception, the "nuv:" bridge, frame
// completion and script errors.
#include "webbrowser.h"

#include <QDir>
#include <QMetaObject>
#include <QRandomGenerator>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineUrlRequestInterceptor>

namespace nuv {

using namespace Qt::StringLiterals;

namespace {

const QString frameScriptName = u"nuv-frames"_s;

bool isCommand(const QUrl &url) {
  return url.scheme().compare(u"nuv", Qt::CaseInsensitive) == 0;
}

// The folder both folders lie in.
QString commonFolder(const QString &a, const QString &b) {
  qsizetype end = 0;
  for (qsizetype i = 0; i < std::min(a.size(), b.size()) && a[i] == b[i]; ++i)
    if (a[i] == u'/') end = i + 1;
  return a.left(end);
}

// Sees every request of one page; only "nuv:" navigations of the page or a frame matter.
class CommandInterceptor : public QWebEngineUrlRequestInterceptor {
public:
  explicit CommandInterceptor(WebPage *page)
      : QWebEngineUrlRequestInterceptor(page), m_page(page) {}
  void interceptRequest(QWebEngineUrlRequestInfo &info) override {
    if (!isCommand(info.requestUrl())) return;
    const auto type = info.resourceType();
    if (type != QWebEngineUrlRequestInfo::ResourceTypeMainFrame &&
        type != QWebEngineUrlRequestInfo::ResourceTypeSubFrame)
      return; // a picture or script fetched from "nuv:" is no navigation
    m_page->commandRequested(info.requestUrl(), info.initiator());
  }

private:
  WebPage *m_page;
};

} // namespace

QString frameReportToken() {
  static const QString token =
      u"nuv-frame-loaded-"_s + QString::number(QRandomGenerator::system()->generate64(), 36);
  return token;
}

WebPage::WebPage(QWebEngineProfile *profile, BrowserListener *listener, QObject *parent)
    : QWebEnginePage(profile, parent), m_listener(listener) {
  setUrlRequestInterceptor(new CommandInterceptor(this));
  // The page itself reports through loadFinished; frames have no such signal.
  QWebEngineScript frames;
  frames.setName(frameScriptName);
  frames.setWorldId(QWebEngineScript::ApplicationWorld);
  frames.setRunsOnSubFrames(true);
  frames.setInjectionPoint(QWebEngineScript::DocumentCreation);
  frames.setSourceCode(u"if (window !== window.top) window.addEventListener('load', "
                       u"function () { console.info('"_s +
                       frameReportToken() + u"'); });"_s);
  scripts().insert(frames);
  QObject::connect(this, &QWebEnginePage::loadFinished, this, [this](bool ok) {
    if (ok) report([this] { m_listener->afterNavigate(url().toString()); });
  });
}

bool WebPage::acceptNavigationRequest(const QUrl &url, NavigationType, bool isMainFrame) {
  // The interceptor reports it and the scheme's handler cancels it; no block runs for it.
  if (isCommand(url)) return true;
  if (isMainFrame) {
    m_fileFolders.clear();
    m_errorShown = false;
  }
  if (url.isLocalFile()) {
    const QString path = QDir::cleanPath(url.toLocalFile());
    m_fileFolders.append(path.left(path.lastIndexOf(u'/') + 1));
  }
  report([this, &url] { m_listener->beforeNavigate(url.toString()); });
  return true;
}

void WebPage::report(const std::function<void()> &call) {
  ++m_inCallback;
  call();
  --m_inCallback;
  if (m_inCallback == 0 && !m_waiting.empty())
    QMetaObject::invokeMethod(this, &WebPage::flushRequests, Qt::QueuedConnection);
}

void WebPage::whenOutsideCallback(std::function<void()> request) {
  // Once one request waits, later ones wait behind it, so they keep their order.
  if (m_inCallback == 0 && m_waiting.empty()) {
    request();
    return;
  }
  m_waiting.push_back(std::move(request));
}

void WebPage::flushRequests() {
  std::vector<std::function<void()>> requests;
  requests.swap(m_waiting);
  for (const auto &request : requests)
    request();
}

QString WebPage::senderOrigin(const QUrl &initiator) const {
  if (!initiator.isValid() || initiator.scheme().isEmpty()) return {};
  if (initiator.scheme() != u"file") {
    const QUrl origin = initiator.adjusted(QUrl::RemovePath | QUrl::RemoveQuery |
                                           QUrl::RemoveFragment | QUrl::RemoveUserInfo);
    return origin.toString();
  }
  // All file pages share one origin: the sender lies somewhere among the file pages shown.
  if (m_fileFolders.isEmpty()) return u"file://"_s;
  QString folder = m_fileFolders.first();
  for (const QString &other : m_fileFolders)
    folder = commonFolder(folder, other);
  return u"file://"_s + folder;
}

void WebPage::commandRequested(const QUrl &url, const QUrl &initiator) {
  QString text = QString::fromLatin1(url.toEncoded()).mid(4);
  // The web engine escapes the double quotes a page writes. Put back, they keep a ";" inside a
  // quoted value from splitting the page's statements, as the page meant.
  text.replace(u"%22"_s, u"\""_s);
  const QString origin = senderOrigin(initiator);
  QMetaObject::invokeMethod(
      this, [this, origin, text] { m_listener->pageCommand(origin, text); }, Qt::QueuedConnection);
}

void WebPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message,
                                       int line, const QString &source) {
  if (source == u"userscript:"_s + frameScriptName) {
    if (message == frameReportToken())
      report([this] { m_listener->afterNavigate(url().toString()); });
    return;
  }
  if (level != ErrorMessageLevel || !message.startsWith(u"Uncaught"_s)) return;
  if (m_silent || m_errorShown) return;
  m_errorShown = true;
  QMetaObject::invokeMethod(
      this, [this, message, source, line] { m_listener->scriptError(message, source, line); },
      Qt::QueuedConnection);
}

WebBrowser::WebBrowser(QWebEngineProfile *profile, BrowserListener *listener, QWidget *parent)
    : QWebEngineView(parent), m_page(new WebPage(profile, listener, this)) {
  setPage(m_page);
}

void WebBrowser::navigate(const QUrl &url) {
  m_page->whenOutsideCallback([this, url] { m_page->load(url); });
}

void WebBrowser::back() {
  m_page->whenOutsideCallback([this] { m_page->triggerAction(QWebEnginePage::Back); });
}

void WebBrowser::forward() {
  m_page->whenOutsideCallback([this] { m_page->triggerAction(QWebEnginePage::Forward); });
}

void WebBrowser::reload() {
  m_page->whenOutsideCallback([this] { m_page->triggerAction(QWebEnginePage::Reload); });
}

void WebBrowser::stop() {
  m_page->whenOutsideCallback([this] { m_page->triggerAction(QWebEnginePage::Stop); });
}

} // namespace nuv
