// The browser module's entry point: Qt WebEngine set up on first use, one profile per origin.
#pragma once

#include "browserhost.h"

#include <QHash>
#include <QObject>

class QWebEngineProfile;

namespace nuv {

class WebEngineModule : public QObject, public BrowserModule {
  Q_OBJECT
  Q_PLUGIN_METADATA(IID NuvBrowserModule_iid)
  Q_INTERFACES(nuv::BrowserModule)
public:
  WebEngineModule();
  ~WebEngineModule() override;

  Browser *createBrowser(QWidget *parent, const QString &profileFolder,
                         BrowserListener *listener) override;
  void release() override;

private:
  QWebEngineProfile *profile(const QString &folder);

  QHash<QString, QWebEngineProfile *> m_profiles;
};

} // namespace nuv
