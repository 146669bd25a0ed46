// One embedded browser on Qt WebEngine: navigation interception, the "nuv:" bridge, frame
// completion and script errors.
#include "webbrowser.h"

#include "commandtext.h"

#include <QDir>
#include <QMetaObject>
#include <QRandomGenerator>
#include <QWebEngineLoadingInfo>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineUrlRequestInterceptor>

namespace nuv {

using namespace Qt::StringLiterals;

namespace {

const QString frameScriptName = u"nuv-frames"_s;

// How long a page's commands wait for the end of the refused "nuv:" navigation that carried them.
constexpr int refusalEndLimitMs = 2000;

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
    m_page->commandRequested(info.requestUrl(), info.initiator(),
                             type == QWebEngineUrlRequestInfo::ResourceTypeMainFrame);
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
  // The page itself reports through loadFinished; frames have no such signal. The main frame's
  // document says instead when it is made, before the page's own scripts can navigate.
  QWebEngineScript frames;
  frames.setName(frameScriptName);
  frames.setWorldId(QWebEngineScript::ApplicationWorld);
  frames.setRunsOnSubFrames(true);
  frames.setInjectionPoint(QWebEngineScript::DocumentCreation);
  frames.setSourceCode(u"if (window !== window.top) window.addEventListener('load', "
                       u"function () { console.info('"_s +
                       frameReportToken() + u"'); });"_s + u"else console.info('"_s +
                       frameReportToken() + u" ' + location.href);"_s);
  scripts().insert(frames);
  QObject::connect(this, &QWebEnginePage::loadFinished, this, [this](bool ok) {
    if (ok && !m_finishReported) report([this] { m_listener->afterNavigate(url().toString()); });
    releaseCommands();
  });
  // Now and then the web engine ends a history navigation as failed, with no error, just before
  // it shows that navigation's address: the page did change, and that is its finished load.
  QObject::connect(this, &QWebEnginePage::loadingChanged, this,
                   [this](const QWebEngineLoadingInfo &info) {
                     if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus) {
                       m_finishReported = false;
                       m_unreportedFinish.clear();
                     } else if (info.status() == QWebEngineLoadingInfo::LoadFailedStatus &&
                                info.errorCode() == 0 && !info.isErrorPage()) {
                       m_unreportedFinish = info.url();
                       if (url() == info.url()) reportUnreportedFinish();
                     }
                   });
  QObject::connect(this, &QWebEnginePage::urlChanged, this, [this](const QUrl &address) {
    if (!m_unreportedFinish.isEmpty() && address == m_unreportedFinish) reportUnreportedFinish();
  });
  m_refusalEnd.setSingleShot(true);
  m_refusalEnd.setInterval(refusalEndLimitMs);
  QObject::connect(&m_refusalEnd, &QTimer::timeout, this, &WebPage::releaseCommands);
}

bool WebPage::acceptNavigationRequest(const QUrl &url, NavigationType, bool isMainFrame) {
  if (isCommand(url)) {
    // A remote page's command goes on to the interceptor, which knows its sender, and the
    // scheme's handler ends it. A file page's never would: the web engine refuses a file page
    // every other scheme but by a clicked link, and shows its error page instead. Since it lets a
    // file page load nothing remote, frames included, a page with a file page on top holds file
    // pages only, and the sender is one of them.
    if (!m_fileTop) return true;
    reportCommand(url, fileSender(), isMainFrame);
    return false;
  }
  if (isMainFrame) m_errorShown = false;
  // The page's documents stay until the main frame's next document announces itself: a page
  // that starts a navigation is still there, and may still command.
  if (!isMainFrame) addFileFolder(url);
  report([this, &url] { m_listener->beforeNavigate(url.toString()); });
  return true;
}

void WebPage::addFileFolder(const QUrl &url) {
  if (!url.isLocalFile()) return;
  const QString path = QDir::cleanPath(url.toLocalFile());
  const QString folder = path.left(path.lastIndexOf(u'/') + 1);
  // A frame that navigates in a loop keeps the list as long as its folders are many.
  if (!m_fileFolders.contains(folder)) m_fileFolders.append(folder);
}

// The main frame's new document, from the frame script before any script of the page runs: the
// page's earlier documents are all gone.
void WebPage::mainDocumentCreated(const QUrl &url) {
  m_fileTop = url.isLocalFile();
  m_fileFolders.clear();
  addFileFolder(url);
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
  return fileSender();
}

// All file pages share one origin: the sender lies somewhere among the file pages shown.
QString WebPage::fileSender() const {
  if (m_fileFolders.isEmpty()) return u"file://"_s;
  QString folder = m_fileFolders.first();
  for (const QString &other : m_fileFolders)
    folder = commonFolder(folder, other);
  return u"file://"_s + folder;
}

void WebPage::commandRequested(const QUrl &url, const QUrl &initiator, bool mainFrame) {
  reportCommand(url, senderOrigin(initiator), mainFrame);
}

void WebPage::reportCommand(const QUrl &url, const QString &origin, bool mainFrame) {
  QString text = commandText(url);
  // The web engine escapes the double quotes a page writes. Put back, they keep a ";" inside a
  // quoted value from splitting the page's statements, as the page meant.
  text.replace(u"%22"_s, u"\""_s);
  auto command = [this, origin, text] { m_listener->pageCommand(origin, text); };
  if (mainFrame || !m_heldCommands.empty()) {
    m_heldCommands.push_back(std::move(command));
    m_refusalEnd.start();
    return;
  }
  QMetaObject::invokeMethod(this, std::move(command), Qt::QueuedConnection);
}

void WebPage::reportUnreportedFinish() {
  m_unreportedFinish.clear();
  m_finishReported = true;
  report([this] { m_listener->afterNavigate(url().toString()); });
}

// After the web engine's callback, in the order the page sent them.
void WebPage::releaseCommands() {
  m_refusalEnd.stop();
  std::vector<std::function<void()>> commands;
  commands.swap(m_heldCommands);
  for (auto &command : commands)
    QMetaObject::invokeMethod(this, std::move(command), Qt::QueuedConnection);
}

void WebPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message,
                                       int line, const QString &source) {
  if (source == u"userscript:"_s + frameScriptName) {
    if (message == frameReportToken())
      report([this] { m_listener->afterNavigate(url().toString()); });
    else if (message.startsWith(frameReportToken() + u' '))
      mainDocumentCreated(QUrl(message.mid(frameReportToken().size() + 1)));
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
