// A window system that shows nothing and starts nothing: for tools that run the engine's parts
// without a desktop, and for benchmarks, fuzzing and tests.
#pragma once

#include "windowsystem.h"

namespace nuv {

class QuietWindowSystem : public WindowSystem {
public:
  void showMessage(const QString &, const QString &, MessageIcon) override {}
  void setTitle(const QString &) override {}
  void setAlwaysOnTop(bool) override {}
  void setShowInTaskbar(bool) override {}
  void minimize() override {}
  void closeMainWindow() override {}
  QPoint mainWindowPosition() const override { return {}; }
  QPoint mainWindowPlacement() const override { return {}; }
  void whenPlaced(std::function<void()> action) override { action(); }
  void setMainWindowPosition(const QPoint &) override {}
  QSize screenSize() const override { return {1920, 1080}; }
  void setMoveRestriction(MoveRestriction) override {}
  bool startProcess(const QString &, const QStringList &, const QStringList &) override {
    return true;
  }
  void writeDiagnostic(const QString &) override {}
  SkinKind applySkin(const SkinRequest &) override { return SkinKind::Shaped; }
  void setClipObjects(bool) override {}
  void showLoadingWindow(const Picture &, bool) override {}
  void hideLoadingWindow() override {}
  bool setPointer(PointerTarget, const Pointer &) override { return true; }
  ControlId createControl(const ControlSpec &) override { return ++m_controls; }
  void setControlGeometry(ControlId, const QRect &) override {}
  void setControlVisible(ControlId, bool) override {}
  void setControlPicture(ControlId, const Picture &) override {}
  void setControlText(ControlId, const QString &) override {}
  std::optional<ControlId> createBrowser(const BrowserSpec &) override { return std::nullopt; }
  void navigate(ControlId, const QString &) override {}
  void browserAction(ControlId, BrowserAction) override {}
  void setBrowserSilent(ControlId, bool) override {}

private:
  int m_controls = 0;
};

} // namespace nuv
