#pragma once

// The sandbox service in a child process of its own, so that its memory and
// threads do not count against the window measured in this one. Start it
// before any thread of this process exists; it stops with this object (or
// when this process goes).

#include <sys/types.h>

#include <filesystem>
#include <string>

#include "sandbox/CivilTime.h"
#include "sandbox/SandboxData.h"

namespace kestrava::bench {

class TSandboxProcess {
 public:
  // Serves data of the scale as the service would at the moment `now`.
  TSandboxProcess(const sandbox::DataScale& scale, sandbox::LocalMillis now);
  ~TSandboxProcess();
  TSandboxProcess(const TSandboxProcess&) = delete;
  TSandboxProcess& operator=(const TSandboxProcess&) = delete;

  // "localhost:PORT" and the file of the CA that signed its certificate.
  const std::string& Host() const noexcept { return host_; }
  const std::string& CaFile() const noexcept { return caFile_; }

 private:
  std::filesystem::path stateDir_;
  pid_t child_ = -1;
  int keepAlive_ = -1;  // the child runs while this pipe end is open
  std::string host_;
  std::string caFile_;
};

}  // namespace kestrava::bench
