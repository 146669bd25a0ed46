// nuv: runs a Skivet document.
#include "authoring.h"
#include "cache.h"
#include "hostresources.h"
#include "interpreter.h"
#include "locations.h"
#include "pictures.h"
#include "qtwindowsystem.h"
#include "runningmarker.h"
#include "startup.h"
#include "watcher.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QSaveFile>
#include <QScopeGuard>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

// A Skivet places its own window, which X11 allows and Wayland does not.
void preferX11() {
  if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) return;
  if (qEnvironmentVariableIsSet("WAYLAND_DISPLAY") && qEnvironmentVariableIsSet("DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "xcb");
  else if (!qEnvironmentVariableIsSet("DISPLAY") && !qEnvironmentVariableIsSet("WAYLAND_DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
}

// What a person would see of the window: outside a shaped window's region is transparent. The
// PNG is written beside its place and renamed into it; "" when written, else why not.
QString saveScreenshot(QWidget &window, const QString &path) {
  QImage shot = window.grab().toImage().convertToFormat(QImage::Format_ARGB32);
  const QRegion region = window.mask();
  if (!region.isEmpty()) {
    QImage clipped(shot.size(), QImage::Format_ARGB32);
    clipped.fill(Qt::transparent);
    QPainter painter(&clipped);
    painter.setClipRegion(region);
    painter.drawImage(0, 0, shot);
    painter.end();
    shot = clipped;
  }
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return file.errorString();
  if (!shot.save(&file, "PNG")) return QStringLiteral("the picture could not be encoded");
  if (!file.commit()) return file.errorString();
  return {};
}

// An engine started by NEW runs only in a place of its own, so the cap on running engines holds
// however many start at once. It refuses as the NEW that started it would have.
bool placeRefused(const nuv::RunningMarker &marker, const QStringList &arguments) {
  if (qEnvironmentVariableIntValue(nuv::newDepthVariable) <= 0) return false;
  if (marker.place() == nuv::EnginePlace::Held) return false;
  std::fprintf(stderr, "NEW \"%s\" refused: %s\n", qPrintable(arguments.value(0)),
               qPrintable(nuv::whyNoPlace(marker.place())));
  return true;
}

// Taking a window of many controls apart widget by widget takes longer than the rest of the
// run's end: when nothing must be handed on, the process ends at once, its files complete.
int ended(const nuv::QtWindowSystem &windows, int status) {
  if (windows.needsOrderlyEnd()) return status;
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(status);
}

} // namespace

int main(int argc, char *argv[]) {
  QElapsedTimer sinceStart;
  sinceStart.start();
  const nuv::AuthoringOptions authoring = nuv::readAuthoringOptions(nuv::commandLineOf(argc, argv));
  if (nuv::runsWithoutWindow(authoring.mode)) return nuv::runAuthoringTool(authoring);
  // A screenshot is taken headless, whatever display there is.
  if (authoring.mode == nuv::AuthoringMode::Screenshot) qputenv("QT_QPA_PLATFORM", "offscreen");
  nuv::RunningMarker marker;
  if (placeRefused(marker, authoring.arguments)) return 1;
  preferX11();
  nuv::prepareWebEngineDiagnostics();
  QApplication app(argc, argv);
  nuv::limitPictureMemory();
  QApplication::setApplicationName(QStringLiteral("NUV"));
  QApplication::setQuitOnLastWindowClosed(true);
  // The style comes from a plugin on some desktops: have it before the plugins are put aside.
  QApplication::style();
  // Qt's Wayland platform loads its shell and buffer plugins when the first window is made.
  if (!QGuiApplication::platformName().startsWith(QStringLiteral("wayland"))) nuv::deferPlugins();

  nuv::Cache cache;
  cache.transfer().setLimits(nuv::TransferLimits::fromEnvironment());
  // Below 1.5 device pixels to a pixel double-density art would only be scaled down again, so
  // none is looked for.
  cache.setHighDensity(app.devicePixelRatio() >= 1.5);
  nuv::HostResources resources(cache);
  nuv::QtWindowSystem windows;
  nuv::Interpreter interpreter(windows, resources);
  windows.setEventSink(&interpreter);
  // Giving up on the loading window fails the fetches it waits for, as any failed fetch.
  windows.setLoadingCancel([&cache] {
    cache.transfer().cancelWaits(
        QStringLiteral("The wait was cancelled (Esc, or a click on the LOADING window)."));
  });
  // The web engine finds its own plugins through the library paths.
  windows.browsers().setBeforeLoading([] { nuv::restorePlugins(); });
  // The window outlives the interpreter: nothing it reports while going may reach a dead sink.
  const auto clearSink = qScopeGuard([&windows] { windows.setEventSink(nullptr); });
  interpreter.setProgramPath(QCoreApplication::applicationFilePath());
  interpreter.setNewDepth(qEnvironmentVariableIntValue(nuv::newDepthVariable));
  bool budgetSet = false;
  const int budget = qEnvironmentVariableIntValue(nuv::newBudgetVariable, &budgetSet);
  if (budgetSet) interpreter.setNewBudget(budget);

  // Qt has taken its own options out by now; the authoring ones are no business of start-up.
  const QStringList arguments =
      nuv::readAuthoringOptions(QCoreApplication::arguments().mid(1)).arguments;
  nuv::Startup startup(windows, interpreter, cache);
  if (!startup.run(arguments)) return startup.exitCode();
  if (windows.mainWindowClosed()) return ended(windows, 0);

  nuv::MainWindow &window = windows.mainWindow();

  // Headless runs and start-up measurements: report the first painted frame, then leave.
  const QString screenshot = authoring.mode == nuv::AuthoringMode::Screenshot
                                 ? authoring.screenshot
                                 : qEnvironmentVariable("NUV_SCREENSHOT");
  const bool timeFirstPaint = qEnvironmentVariableIsSet("NUV_EXIT_AFTER_FIRST_PAINT");
  QObject::connect(&window, &nuv::MainWindow::firstPaint, &window, [&] {
    // Once the frame is out, every plugin is available again.
    QTimer::singleShot(0, &window, [] { nuv::restorePlugins(); });
    if (timeFirstPaint) {
      std::printf("first-paint-ms %lld\n", static_cast<long long>(sinceStart.elapsed()));
      std::fflush(stdout);
    }
    if (!screenshot.isEmpty()) {
      QTimer::singleShot(200, &window, [&] {
        const QString failure = saveScreenshot(window, screenshot);
        if (failure.isEmpty()) return QCoreApplication::quit();
        std::fprintf(stderr, "nuv: could not write the screenshot %s: %s\n",
                     QFile::encodeName(screenshot).constData(), failure.toLocal8Bit().constData());
        QCoreApplication::exit(1);
      });
    } else if (timeFirstPaint) {
      QTimer::singleShot(0, &window, [] { QCoreApplication::quit(); });
    }
  });
  windows.showMainWindow();
  std::unique_ptr<nuv::DocumentWatcher> watcher;
  if (authoring.mode == nuv::AuthoringMode::Watch) {
    watcher = std::make_unique<nuv::DocumentWatcher>(
        cache, interpreter, windows, startup.documentLocation(),
        nuv::displayNameOf(startup.locationFile()), [&windows] { windows.resetDocument(); });
  }
  const int status = QApplication::exec();
  watcher.reset();
  return ended(windows, status);
}
