// The "NUVMutex" marker that lets other processes see an engine is running.
#pragma once

namespace nuv {

// A lock file in $XDG_RUNTIME_DIR (else the temporary folder), held with a shared lock for the
// life of the object. Any number of engines may hold it at once.
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
