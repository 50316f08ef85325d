// kestrava-sandbox: a stand-alone HTTPS double of the Kestrava service.

#include <csignal>
#include <cstdio>
#include <iostream>

#include "base/Exception.h"
#include "base/StandardDescriptors.h"
#include "sandbox/CommandLine.h"
#include "sandbox/SandboxServer.h"

namespace {

// Set by SIGINT/SIGTERM; the server polls it.
std::atomic<bool> stopRequested{false};

extern "C" void RequestStop(int) {
  stopRequested.store(true);
}

}  // namespace

int main(int argc, char** argv) {
  if (!kestrava::OpenStandardDescriptors()) return 1;
  using namespace kestrava::sandbox;
  const CommandLine line = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (!line.error.empty()) {
    std::cerr << "kestrava-sandbox: " << line.error << "\n";
    return 2;
  }
  if (line.help || line.version) {
    std::cout << (line.help ? UsageText() : "kestrava-sandbox " KESTRAVA_VERSION "\n")
              << std::flush;
    return std::cout ? 0 : 1;  // a text that could not be written is no success
  }
  SandboxOptions options = line.options;
  if (!line.quiet)
    options.log = [](const std::string& text) {
      std::cerr << "kestrava-sandbox: " << text << "\n";
    };

  static_assert(std::atomic<bool>::is_always_lock_free);
  struct sigaction action {};
  action.sa_handler = RequestStop;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  try {
    SandboxServer server(std::move(options));
    std::cout << server.ReadyLine() << std::endl;
    server.Run(stopRequested);
  } catch (const kestrava::Exception& failure) {
    std::cerr << "kestrava-sandbox: " << failure.Message() << "\n";
    return 1;
  }
  return 0;
}
