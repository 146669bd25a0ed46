// Embedded browsers on the platform side: the web-engine module loaded on the first browser, and
// each browser's reports handed to the interpreter's events.
#include "browsers.h"

#include "browserhost.h"
#include "installdirs.h"
#include "messages.h"
#include "x11.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QMetaObject>
#include <QPluginLoader>
#include <QUrl>

#include <algorithm>
#include <cstdio>

namespace nuv {

using namespace Qt::StringLiterals;

namespace {

const QString moduleName = u"nuvbrowser.so"_s;
// The package that brings the module to an installed engine.
const QString modulePackage = u"nuv-browser"_s;

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

// Where a browser's view is made once the window is on screen; the view fills it.
class BrowserFrame : public QWidget {
public:
  using QWidget::QWidget;
  void hold(QWidget *view) {
    m_view = view;
    setFocusProxy(view);
    view->setGeometry(rect());
    view->show();
  }

protected:
  void resizeEvent(QResizeEvent *) override {
    if (m_view != nullptr) m_view->setGeometry(rect());
  }

private:
  QPointer<QWidget> m_view;
};

// Whether the only OpenGL the web view's scene graph could use is a software rasteriser, told
// from the environment, the graphics devices and the X server: asking OpenGL itself would take
// longer than showing the skin.
bool onlySoftwareOpenGL() {
  if (qEnvironmentVariableIntValue("LIBGL_ALWAYS_SOFTWARE") != 0) return true;
  if (QGuiApplication::platformName() == u"offscreen") return true;
  const bool gpu = !QDir(u"/dev/dri"_s).entryList({u"renderD*"_s}, QDir::System).isEmpty() ||
                   QFileInfo::exists(u"/dev/nvidia0"_s);
  if (!gpu) return true;
  return QGuiApplication::platformName() == u"xcb" && !x11OffersDirectRendering();
}

// Drawn through a software rasteriser, the web view's scene graph costs more than drawn in
// software outright: pages show sooner and take less memory. Such a view also draws into the
// window the way the skin does, so it can be added once the window shows; an OpenGL one makes Qt
// remake the window then, and is made before it shows. A scene graph a person chose stays.
bool webViewsInSoftware() {
  const QByteArray chosen = qgetenv("QT_QUICK_BACKEND");
  if (!chosen.isEmpty()) return chosen == "software";
  if (qEnvironmentVariableIsSet("QSG_RHI_BACKEND")) return false;
  return onlySoftwareOpenGL();
}

bool moduleInstalled() {
  const QStringList candidates = browserModuleCandidates();
  return std::any_of(candidates.begin(), candidates.end(),
                     [](const QString &file) { return QFileInfo::exists(file); });
}

} // namespace

void prepareWebEngineDiagnostics() {
  if (QLoggingCategory("qt.webenginecontext").isDebugEnabled())
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

QStringList browserModuleCandidates() {
  const QString chosen = qEnvironmentVariable("NUV_BROWSER_MODULE");
  if (!chosen.isEmpty()) return {chosen};
  const QString folder = QCoreApplication::applicationDirPath() + u'/';
  // The build tree keeps the module in lib/nuv/ beside the engine; an install, where it was
  // configured to go.
  return {folder + u"lib/nuv/"_s + moduleName,
          QDir::cleanPath(folder + QLatin1StringView(installed::moduleFolder)) + u'/' + moduleName};
}

Browsers::Browsers(EventSink sink) : m_sink(std::move(sink)) {}

Browsers::~Browsers() = default;

BrowserModule *Browsers::module() {
  if (m_loadTried) return m_module;
  m_loadTried = true;
  if (m_beforeLoading) m_beforeLoading();
  // Read when the first view draws. The engines this one starts see it too, and would choose
  // the same on the same display.
  if (m_viewsInSoftware && qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND"))
    qputenv("QT_QUICK_BACKEND", "software");
  handlerBeforeWebEngine = qInstallMessageHandler(withoutWebEngineSetupNoise);
  QString why;
  const QStringList candidates = browserModuleCandidates();
  for (const QString &candidate : candidates) {
    if (!QFileInfo::exists(candidate)) continue;
    QPluginLoader loader(candidate);
    m_module = qobject_cast<BrowserModule *>(loader.instance());
    if (m_module != nullptr) return m_module;
    why = loader.errorString();
  }
  if (why.isEmpty()) {
    showMessageBox(u"Browser Error"_s,
                   u"Web pages cannot be shown: the browser module is not installed.\n"_s
                   u"Install the "_s +
                       modulePackage + u" package (sudo apt install "_s + modulePackage +
                       u").\nLooked for: "_s + candidates.join(u", "_s),
                   MessageIcon::Exclamation);
    return nullptr;
  }
  showMessageBox(u"Browser Error"_s,
                 u"Web pages cannot be shown: the browser module could not be loaded.\n"_s + why +
                     u"\nReinstalling the "_s + modulePackage + u" package may mend it."_s,
                 MessageIcon::Exclamation);
  return nullptr;
}

QWidget *Browsers::create(ControlId id, const BrowserSpec &request, QWidget *parent) {
  if (m_browsers.empty() && !m_loadTried) m_viewsInSoftware = webViewsInSoftware();
  // A module that is not there is said at once; one that fails to load, when the view is made.
  if (!m_loadTried && !moduleInstalled()) module();
  if (m_loadTried && m_module == nullptr) return nullptr;
  if (!m_viewsInSoftware) m_viewsAllowed = true;
  Entry entry;
  auto *frame = new BrowserFrame(parent);
  entry.widget = frame;
  auto reports = std::make_unique<Reports>(m_sink, request.recordIndex);
  reports->setContext(frame);
  entry.reports = std::move(reports);
  entry.profile = profileFolder(request.documentOrigin);
  m_browsers[id] = std::move(entry);
  setSilent(id, request.silent);
  if (!request.location.isEmpty()) navigate(id, request.location);
  if (m_viewsAllowed) makeView(id);
  return frame;
}

void Browsers::allowViews() {
  if (m_viewsAllowed) return;
  m_viewsAllowed = true;
  for (auto &[id, entry] : m_browsers)
    makeView(id);
}

void Browsers::makeView(ControlId id) {
  const auto found = m_browsers.find(id);
  if (found == m_browsers.end()) return;
  Entry &entry = found->second;
  if (entry.widget == nullptr || entry.browser != nullptr) return;
  BrowserModule *loaded = module();
  if (loaded == nullptr) return;
  entry.browser = loaded->createBrowser(entry.widget, entry.profile, entry.reports.get());
  static_cast<BrowserFrame *>(entry.widget.data())->hold(entry.browser->widget());
  std::vector<Request> waiting;
  waiting.swap(entry.waiting);
  for (const Request &request : waiting)
    request(*entry.browser);
}

void Browsers::ask(ControlId id, Request request) {
  const auto found = m_browsers.find(id);
  if (found == m_browsers.end() || found->second.widget == nullptr) return;
  Entry &entry = found->second;
  if (entry.browser != nullptr)
    request(*entry.browser);
  else
    entry.waiting.push_back(std::move(request));
}

void Browsers::navigate(ControlId id, const QString &url) {
  ask(id, [address = QUrl::fromUserInput(url)](Browser &b) { b.navigate(address); });
}

void Browsers::action(ControlId id, BrowserAction action) {
  ask(id, [action](Browser &b) {
    switch (action) {
    case BrowserAction::Back:
      return b.back();
    case BrowserAction::Forward:
      return b.forward();
    case BrowserAction::Refresh:
      return b.reload();
    case BrowserAction::Stop:
      return b.stop();
    }
  });
}

void Browsers::setSilent(ControlId id, bool silent) {
  ask(id, [silent](Browser &b) { b.setSilent(silent); });
}

void Browsers::release() {
  m_browsers.clear();
  if (m_module != nullptr) m_module->release();
}

} // namespace nuv
