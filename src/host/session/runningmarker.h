// The "NUVMutex" marker that lets other processes see an engine is running.
#pragma once

namespace nuv {

// A lock file held with a shared lock for the life of the object. Any number of engines may
// hold it at once.
//
// It lives in $XDG_RUNTIME_DIR as "NUVMutex", else in the temporary folder. Anyone may create
// names there, so in that folder it is "NUVMutex-<uid>" and only a regular file of this user's
// own counts. The marker is never opened through a symbolic link, so a planted link neither
// creates its target nor lends it the lock; a name taken by anything else leaves it unheld.
class RunningMarker {
public:
  RunningMarker();
  ~RunningMarker();
  RunningMarker(const RunningMarker &) = delete;
  RunningMarker &operator=(const RunningMarker &) = delete;

private:
  int m_fd = -1;
};

} // namespace nuv
