// Embedded browsers on the platform side: the web-engine module loaded on the first browser, and
// each browser's reports handed to the interpreter's events.
#include "browsers.h"

#include "browserhost.h"
#include "messages.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QLoggingCategory>
#include <QMetaObject>
#include <QPluginLoader>
#include <QUrl>

#include <cstdio>

namespace nuv {

using namespace Qt::StringLiterals;

namespace {

const QString moduleFile = u"lib/nuv/nuvbrowser.so"_s;

// Cookies and storage of one document origin: a folder of the per-user folder named after the
// origin, with a digest so that origins that read alike never share one.
QString profileFolder(const QString &origin) {
  QString base = qEnvironmentVariable("XDG_DATA_HOME");
  if (base.isEmpty() || !QDir::isAbsolutePath(base)) base = QDir::homePath() + u"/.local/share"_s;
  QString readable = origin.left(60);
  for (QChar &c : readable)
    if (!c.isLetterOrNumber() && c != u'.' && c != u'-') c = u'_';
  const QString digest = QString::fromLatin1(
      QCryptographicHash::hash(origin.toUtf8(), QCryptographicHash::Sha256).toHex().left(12));
  return base + u"/NUV/browsers/"_s + readable + u'-' + digest;
}

// The web engine wants Qt::AA_ShareOpenGLContexts set before the application object. Set there,
// it makes every engine create an OpenGL context at start-up, a Skivet with no browser too
// (three times the start-up time and memory); loaded on the first browser, the web engine draws
// its pages without one. It still says so as its library loads and when its first page is made:
// advice that would only mislead a reader of standard error, where the engine's diagnostics go.
const QLatin1StringView webEngineSetupNoise[] = {
    "Qt WebEngine seems to be initialized from a plugin"_L1,
    "WebEngineContext used before QtWebEngineCore::initialize()"_L1,
    "No suitable graphics backend found"_L1,
};

QtMessageHandler handlerBeforeWebEngine = nullptr;

void withoutWebEngineSetupNoise(QtMsgType type, const QMessageLogContext &context,
                                const QString &message) {
  for (const QLatin1StringView noise : webEngineSetupNoise)
    if (message.startsWith(noise)) return;
  if (handlerBeforeWebEngine != nullptr)
    handlerBeforeWebEngine(type, context, message);
  else
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

// Navigations come from inside the web engine's own callbacks, where a block that waits (a
// PRELOAD, a message box) would turn the event loop under the engine's feet: they are recorded
// there, and their blocks run once the callback has returned.
class Reports : public BrowserListener {
public:
  Reports(Browsers::EventSink sink, int recordIndex)
      : m_sink(std::move(sink)), m_record(recordIndex) {}

  // The queued blocks go with the widget: a browser gone runs none.
  void setContext(QObject *context) { m_context = context; }

  void beforeNavigate(const QString &url) override {
    if (ControlEvents *events = m_sink()) events->navigationRequested(m_record, url);
    later([](ControlEvents &events, int record,
             const QString &address) { events.beforeNavigate(record, address); },
          url);
  }
  void afterNavigate(const QString &url) override {
    if (ControlEvents *events = m_sink()) events->navigationFinished(m_record, url);
    later([](ControlEvents &events, int record,
             const QString &address) { events.afterNavigate(record, address); },
          url);
  }
  void pageCommand(const QString &origin, const QString &text) override {
    if (ControlEvents *events = m_sink()) events->pageCommand(m_record, origin, text);
  }
  void scriptError(const QString &message, const QString &source, int line) override {
    showMessageBox(u"Script Error"_s,
                   message + u"\nSource: "_s + source + u"\nLine: "_s + QString::number(line),
                   MessageIcon::Exclamation);
  }

private:
  using Block = void (*)(ControlEvents &, int, const QString &);
  void later(Block block, const QString &url) {
    if (m_context == nullptr) return;
    QMetaObject::invokeMethod(
        m_context,
        [sink = m_sink, record = m_record, block, url] {
          if (ControlEvents *events = sink()) block(*events, record, url);
        },
        Qt::QueuedConnection);
  }

  Browsers::EventSink m_sink;
  int m_record;
  QPointer<QObject> m_context;
};

} // namespace

void prepareWebEngineDiagnostics() {
  if (QLoggingCategory("qt.webenginecontext").isDebugEnabled())
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

QStringList browserModuleCandidates() {
  const QString chosen = qEnvironmentVariable("NUV_BROWSER_MODULE");
  if (!chosen.isEmpty()) return {chosen};
  const QString folder = QCoreApplication::applicationDirPath();
  return {folder + u'/' + moduleFile, folder + u"/../"_s + moduleFile};
}

Browsers::Browsers(EventSink sink) : m_sink(std::move(sink)) {}

Browsers::~Browsers() = default;

BrowserModule *Browsers::module() {
  if (m_loadTried) return m_module;
  m_loadTried = true;
  if (m_beforeLoading) m_beforeLoading();
  handlerBeforeWebEngine = qInstallMessageHandler(withoutWebEngineSetupNoise);
  QString why;
  for (const QString &candidate : browserModuleCandidates()) {
    if (!QFileInfo::exists(candidate)) {
      why = candidate + u": no such file"_s;
      continue;
    }
    QPluginLoader loader(candidate);
    m_module = qobject_cast<BrowserModule *>(loader.instance());
    if (m_module != nullptr) return m_module;
    why = loader.errorString();
  }
  showMessageBox(u"Browser Error"_s,
                 u"Web pages cannot be shown: the browser module could not be loaded.\n"_s + why,
                 MessageIcon::Exclamation);
  return nullptr;
}

QWidget *Browsers::create(ControlId id, const BrowserSpec &request, QWidget *parent) {
  BrowserModule *found = module();
  if (found == nullptr) return nullptr;
  Entry entry;
  auto reports = std::make_unique<Reports>(m_sink, request.recordIndex);
  entry.browser =
      found->createBrowser(parent, profileFolder(request.documentOrigin), reports.get());
  entry.widget = entry.browser->widget();
  reports->setContext(entry.widget);
  entry.reports = std::move(reports);
  entry.browser->setSilent(request.silent);
  QWidget *widget = entry.widget;
  m_browsers[id] = std::move(entry);
  if (!request.location.isEmpty()) navigate(id, request.location);
  return widget;
}

Browser *Browsers::browser(ControlId id) const {
  const auto found = m_browsers.find(id);
  if (found == m_browsers.end() || found->second.widget == nullptr) return nullptr;
  return found->second.browser;
}

void Browsers::navigate(ControlId id, const QString &url) {
  if (Browser *b = browser(id)) b->navigate(QUrl::fromUserInput(url));
}

void Browsers::action(ControlId id, BrowserAction action) {
  Browser *b = browser(id);
  if (b == nullptr) return;
  switch (action) {
  case BrowserAction::Back:
    return b->back();
  case BrowserAction::Forward:
    return b->forward();
  case BrowserAction::Refresh:
    return b->reload();
  case BrowserAction::Stop:
    return b->stop();
  }
}

void Browsers::setSilent(ControlId id, bool silent) {
  if (Browser *b = browser(id)) b->setSilent(silent);
}

void Browsers::release() {
  m_browsers.clear();
  if (m_module != nullptr) m_module->release();
}

} // namespace nuv
