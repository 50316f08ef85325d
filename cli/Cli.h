#pragma once

// kestrava-cli: the API client without a window, for scripts and scheduled
// exports. Success writes the result (the window's text or another format)
// to standard output or a file; failure writes the client's error text to
// standard error, the secret masked.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "datetime/DateTime.h"
#include "keyring/Keyring.h"
#include "output/ByteSink.h"

namespace kestrava::cli {

enum ExitCode { ExitSuccess = 0, ExitFailure = 1, ExitUsage = 2 };

struct CliEnvironment {
  int in;  // descriptor of standard input
  ByteSink& out;
  ByteSink& err;
  // On a terminal, text is shown so that server bytes cannot act on it;
  // progress of a transaction export is shown only on a terminal.
  bool outIsTerminal = false;
  bool errIsTerminal = false;
  // Environment lookup (KESTRAVA_CLIENT_ID, KESTRAVA_CLIENT_SECRET).
  std::function<std::optional<std::string>(const std::string&)> getenv = {};
  // The clocks and the wait between retries, so tests need not wait.
  std::function<TDateTime()> now = Now;  // local time, for --last
  std::function<std::chrono::steady_clock::time_point()> monotonic = std::chrono::steady_clock::now;
  std::function<std::chrono::system_clock::time_point()> utc = std::chrono::system_clock::now;
  std::function<void(std::chrono::seconds)> wait = [](std::chrono::seconds duration) {
    std::this_thread::sleep_for(duration);
  };
  // The keyring of the session, reached only when a command asks for it;
  // none: this run has no keyring.
  std::function<std::unique_ptr<keyring::TKeyring>()> openKeyring = {};
};

// args: the arguments after the program name.
int RunCli(const std::vector<std::string>& args, CliEnvironment& env);

// The --help text.
std::string UsageText();

}  // namespace kestrava::cli
