// A window system that does nothing: for benchmarks and fuzzing, where only the interpreter counts.
#pragma once

#include "windowsystem.h"

namespace nuv::test {

class NullWindowSystem : public WindowSystem {
public:
  void showMessage(const QString &, const QString &, MessageIcon) override {}
  void setTitle(const QString &) override {}
  void setAlwaysOnTop(bool) override {}
  void setShowInTaskbar(bool) override {}
  void minimize() override {}
  void closeMainWindow() override {}
  void closeLoadingWindow() override {}
  void showLoadingWindow() override {}
  void hideLoadingWindow() override {}
  void hideAlphaWindow() override {}
  void setMaskColor(int, int, int) override {}
  void setClipObjectsVisible(bool) override {}
  QPoint mainWindowPosition() const override { return {}; }
  void setMainWindowPosition(const QPoint &) override {}
  QSize screenSize() const override { return {1920, 1080}; }
  void setMainPicture(const QString &) override {}
  int applyWindowSkin(const QString &, const QString &) override { return 1; }
  void setMoveRestriction(int) override {}
  bool startProcess(const QString &, const QStringList &) override { return true; }
  ControlId createControl(const ControlSpec &) override { return ++m_controls; }
  void setControlGeometry(ControlId, const QRect &) override {}
  void setControlVisible(ControlId, bool) override {}
  void setControlPicture(ControlId, const QString &) override {}
  void setControlText(ControlId, const QString &) override {}

private:
  int m_controls = 0;
};

} // namespace nuv::test
