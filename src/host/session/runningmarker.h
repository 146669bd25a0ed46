// The "NUVMutex" marker that lets other processes see an engine is running, and the places that
// bound how many engines run for one user at once.
#pragma once

#include <QString>

namespace nuv {

// Whether an engine holds one of the per-user places.
enum class EnginePlace {
  Held,
  // Every place is held by a running engine.
  AllTaken,
  // The folder of places is not this user's own, or cannot be made: running engines cannot be
  // counted.
  Unavailable,
};

// Why an engine has no place, for a refusal line; empty when it holds one.
QString whyNoPlace(EnginePlace place);

// A lock file held with a shared lock for the life of the object. Any number of engines may
// hold it at once.
//
// It lives in $XDG_RUNTIME_DIR as "NUVMutex", else in the temporary folder. Anyone may create
// names there, so in that folder it is "NUVMutex-<uid>" and only a regular file of this user's
// own counts. The marker is never opened through a symbolic link, so a planted link neither
// creates its target nor lends it the lock; a name taken by anything else leaves it unheld.
//
// Beside it, the folder "NUVEngines" ("NUVEngines-<uid>" in the temporary folder, which must be
// this user's own) holds the places "0" to "63"; each engine holds one with an exclusive lock.
// The kernel drops the lock when the engine ends however it ends, so a place never stays taken
// by an engine that is gone.
class RunningMarker {
public:
  // A document that starts engines could otherwise fill the machine with them; a person's
  // engine runs without a place, an engine started by NEW does not.
  static constexpr int maxEngines = 64;

  RunningMarker();
  ~RunningMarker();
  RunningMarker(const RunningMarker &) = delete;
  RunningMarker &operator=(const RunningMarker &) = delete;

  EnginePlace place() const { return m_place; }

private:
  int m_fd = -1;
  int m_placeFd = -1;
  EnginePlace m_place = EnginePlace::Unavailable;
};

} // namespace nuv
