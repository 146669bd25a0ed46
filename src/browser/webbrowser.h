// One embedded browser on Qt WebEngine: navigation interception, the "nuv:" bridge, frame
// completion and script errors.
#pragma once

#include "browserhost.h"

#include <QStringList>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <functional>
#include <vector>

namespace nuv {

class WebPage : public QWebEnginePage {
  Q_OBJECT
public:
  WebPage(QWebEngineProfile *profile, BrowserListener *listener, QObject *parent);

  void setSilent(bool silent) { m_silent = silent; }
  // Runs a request to the web engine now, or once the navigation callback under way returns:
  // a block run from inside it must not re-enter the engine.
  void whenOutsideCallback(std::function<void()> request);
  // A "nuv:" request of the page or one of its frames, seen by the request interceptor.
  void commandRequested(const QUrl &url, const QUrl &initiator, bool mainFrame);

protected:
  bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
  void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message,
                                int line, const QString &source) override;

private:
  // The origin a "nuv:" request reports for its initiator.
  QString senderOrigin(const QUrl &initiator) const;
  // The origin of a file page that sent a command: the folder of every file page shown.
  QString fileSender() const;
  void reportCommand(const QUrl &url, const QString &origin, bool mainFrame);
  void releaseCommands();
  void reportUnreportedFinish();
  void addFileFolder(const QUrl &url);
  void mainDocumentCreated(const QUrl &url);
  void flushRequests();
  // Calls the listener from inside a web-engine callback.
  void report(const std::function<void()> &call);

  BrowserListener *m_listener;
  bool m_silent = true;
  bool m_errorShown = false; // in this page load
  int m_inCallback = 0;
  std::vector<std::function<void()>> m_waiting;
  // The folders of the file documents the page and its frames have shown since the main frame's
  // document last changed: a file page can only be told apart by its path, which its origin
  // lacks.
  QStringList m_fileFolders;
  bool m_fileTop = false; // the main frame shows a file page
  // A "nuv:" link in the main frame is a navigation the web engine ends as refused a little
  // later. A navigation started before that end (a command's BACK, say) never reports its own
  // completion, so the page's commands wait for it.
  std::vector<std::function<void()>> m_heldCommands;
  QTimer m_refusalEnd; // a refusal whose end is never reported holds commands no longer
  // A navigation the web engine ended as failed without an error, until its address shows.
  QUrl m_unreportedFinish;
  bool m_finishReported = false; // for the load under way, by the path above
};

class WebBrowser : public QWebEngineView, public Browser {
  Q_OBJECT
public:
  WebBrowser(QWebEngineProfile *profile, BrowserListener *listener, QWidget *parent);

  QWidget *widget() override { return this; }
  void navigate(const QUrl &url) override;
  void back() override;
  void forward() override;
  void reload() override;
  void stop() override;
  void setSilent(bool silent) override { m_page->setSilent(silent); }

private:
  WebPage *m_page;
};

// The script that reports each frame's completion and each new main document: it runs in a world
// of its own, which the page's scripts cannot reach, and names itself with a token fixed per
// process.
QString frameReportToken();

} // namespace nuv
