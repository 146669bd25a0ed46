// Embedded browsers on the platform side: the web-engine module loaded on the first browser, and
// each browser's reports handed to the interpreter's events.
#pragma once

#include "windowsystem.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace nuv {

class Browser;
class BrowserModule;
class BrowserListener;

// Where the module is looked for: NUV_BROWSER_MODULE when set, else lib/nuv/ beside the
// engine (the build tree) and then the module folder the install was configured with, relative
// to the engine's folder (an installed engine).
QStringList browserModuleCandidates();

// Before the application object: the web engine's context log, when a person turns it on to see
// why pages misbehave, reads the shared OpenGL context that the engine otherwise leaves unmade
// for start-up's sake. Only then is it made.
void prepareWebEngineDiagnostics();

class Browsers {
public:
  // Gives where the reports go now (nullptr: nowhere); read at each report.
  using EventSink = std::function<ControlEvents *()>;
  explicit Browsers(EventSink sink);
  ~Browsers();

  // Runs once, right before the module loads.
  void setBeforeLoading(std::function<void()> action) { m_beforeLoading = std::move(action); }
  // A new browser's widget, or nullptr when there is no module (said once, in a message box).
  // Where views draw in software, the widget is an empty frame until views are allowed: the web
  // engine starts and the view is made in it then, and what is asked of the browser meanwhile
  // waits for it, in order.
  QWidget *create(ControlId id, const BrowserSpec &request, QWidget *parent);
  void navigate(ControlId id, const QString &url);
  void action(ControlId id, BrowserAction action);
  void setSilent(ControlId id, bool silent);
  // The window's first frame is out (or it will not be shown): loading the web engine and making
  // the views no longer holds the skin back. Makes every view waiting, and later ones at once.
  void allowViews();
  // Every browser widget is gone: the module lets its profiles go while the engine still runs.
  void release();

private:
  using Request = std::function<void(Browser &)>;
  BrowserModule *module();
  void makeView(ControlId id);
  void ask(ControlId id, Request request);

  struct Entry {
    QPointer<QWidget> widget; // the frame the view lives in; the browser goes with it
    Browser *browser = nullptr;
    std::unique_ptr<BrowserListener> reports;
    QString profile;
    std::vector<Request> waiting; // asked before the view was made
  };
  EventSink m_sink;
  std::function<void()> m_beforeLoading;
  std::map<ControlId, Entry> m_browsers;
  BrowserModule *m_module = nullptr;
  bool m_loadTried = false;
  bool m_viewsAllowed = false;
  bool m_viewsInSoftware = false; // and so made once the window shows
};

} // namespace nuv
