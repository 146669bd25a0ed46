// The seam between the platform and the separately built web-engine module: the platform loads
// the module only when a document declares a browser, so nothing of the web engine is mapped
// into an engine that shows none.
#pragma once

#include <QString>
#include <QUrl>
#include <QtPlugin>

class QWidget;

namespace nuv {

// What one browser reports; the platform implements it. Every call comes on the UI thread.
class BrowserListener {
public:
  virtual ~BrowserListener() = default;
  // Inside the web engine's navigation callback, for the page and for each of its frames; the
  // navigation goes on. What is asked of the same browser meanwhile waits for the callback.
  virtual void beforeNavigate(const QString &url) = 0;
  // The page or one of its frames finished loading; url is the page's top-level address.
  virtual void afterNavigate(const QString &url) = 0;
  // A page or frame navigated to "nuv:"; the navigation is cancelled, and this comes after the
  // callback has returned. text: what follows "nuv:", still percent-encoded. origin: the
  // sending document's "scheme://host:port", or for file pages "file://" and the folder that
  // holds every file page shown; empty when the sender cannot be told.
  virtual void pageCommand(const QString &origin, const QString &text) = 0;
  // An uncaught script error on a page of a browser that is not silent, at most one per page
  // load; after the callback has returned.
  virtual void scriptError(const QString &message, const QString &source, int line) = 0;
};

// One embedded browser. Its widget belongs to the parent it was created with.
class Browser {
public:
  virtual ~Browser() = default;
  virtual QWidget *widget() = 0;
  virtual void navigate(const QUrl &url) = 0;
  // History and loading; nothing to go back to is no error.
  virtual void back() = 0;
  virtual void forward() = 0;
  virtual void reload() = 0;
  virtual void stop() = 0;
  // Silent: script errors show no box.
  virtual void setSilent(bool silent) = 0;
};

class BrowserModule {
public:
  virtual ~BrowserModule() = default;
  // profileFolder: where the pages of one document origin keep cookies, storage and cache;
  // browsers given the same folder share them. The listener outlives the browser.
  virtual Browser *createBrowser(QWidget *parent, const QString &profileFolder,
                                 BrowserListener *listener) = 0;
  // The application is going and every browser is gone: the profiles go now, while the web
  // engine still runs.
  virtual void release() = 0;
};

} // namespace nuv

#define NuvBrowserModule_iid "org.nuv.BrowserModule/1"
Q_DECLARE_INTERFACE(nuv::BrowserModule, NuvBrowserModule_iid)
