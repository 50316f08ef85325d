#include "bench/common/SandboxProcess.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <thread>

#include "base/Exception.h"
#include "sandbox/SandboxServer.h"

namespace kestrava::bench {

namespace {

// Runs the sandbox until the parent closes its end of `keepAlive`; reports
// "PORT CA-FILE" on `ready`. Never returns.
[[noreturn]] void RunChild(const sandbox::DataScale& scale, sandbox::LocalMillis now,
                           const std::filesystem::path& stateDir, int keepAlive, int ready) {
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  int status = 0;
  try {
    sandbox::SandboxOptions options;
    options.stateDir = stateDir;
    options.service.scale = scale;
    options.service.clock = [now] { return now; };
    sandbox::SandboxServer server(std::move(options));
    const std::string line = std::to_string(server.Port()) + " " + server.CaFile().string() + "\n";
    if (write(ready, line.data(), line.size()) != static_cast<ssize_t>(line.size())) _exit(1);
    close(ready);
    std::atomic<bool> stop{false};
    std::thread watch([&] {
      char byte;
      while (read(keepAlive, &byte, 1) > 0) {
      }
      stop = true;
    });
    server.Run(stop);
    watch.join();
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "sandbox: %s\n", failure.what());
    status = 1;
  }
  _exit(status);
}

}  // namespace

TSandboxProcess::TSandboxProcess(const sandbox::DataScale& scale, sandbox::LocalMillis now) {
  char folder[] = "/tmp/kestrava-bench-sandbox-XXXXXX";
  if (mkdtemp(folder) == nullptr) throw Exception("cannot make a state folder");
  stateDir_ = folder;
  int keepAlive[2];
  int ready[2];
  if (pipe(keepAlive) != 0 || pipe(ready) != 0) throw Exception("cannot make pipes");
  child_ = fork();
  if (child_ < 0) throw Exception("cannot start the sandbox process");
  if (child_ == 0) {
    close(keepAlive[1]);
    close(ready[0]);
    RunChild(scale, now, stateDir_ / "state", keepAlive[0], ready[1]);
  }
  close(keepAlive[0]);
  close(ready[1]);
  keepAlive_ = keepAlive[1];
  std::string line;
  char c;
  while (read(ready[0], &c, 1) == 1 && c != '\n') line += c;
  close(ready[0]);
  const auto space = line.find(' ');
  if (space == std::string::npos) {
    close(keepAlive_);
    waitpid(child_, nullptr, 0);
    std::filesystem::remove_all(stateDir_);
    throw Exception("the sandbox did not start");
  }
  host_ = "localhost:" + line.substr(0, space);
  caFile_ = line.substr(space + 1);
}

TSandboxProcess::~TSandboxProcess() {
  if (keepAlive_ >= 0) close(keepAlive_);
  if (child_ > 0) waitpid(child_, nullptr, 0);
  std::error_code ignored;
  std::filesystem::remove_all(stateDir_, ignored);
}

}  // namespace kestrava::bench
