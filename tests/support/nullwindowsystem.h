// A window system and resources that do nothing: for benchmarks, fuzzing and tests where only
// the interpreter or the reader counts.
#pragma once

#include "quietwindowsystem.h"
#include "resources.h"

namespace nuv::test {

using NullWindowSystem = QuietWindowSystem;

// Every location resolves to itself; nothing is fetched.
class NullResources : public DocumentResources {
public:
  QString resolveLocation(const QString &location) override { return location; }
  QString fetchToCache(const QString &location) override { return location; }
  Picture loadPicture(const QString &) override { return nullptr; }
  std::shared_ptr<const PointerPicture> loadPointer(const QString &) override { return nullptr; }
  void setCacheLevel(int) override {}
};

} // namespace nuv::test
