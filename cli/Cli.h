#pragma once

// kestrava-cli: the API client without a window, for scripts and scheduled
// exports. Success prints the text the window would show; failure prints the
// client's error text unchanged (the secret masked).

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/ByteStreams.h"

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
};

// args: the arguments after the program name.
int RunCli(const std::vector<std::string>& args, CliEnvironment& env);

std::string UsageText();

}  // namespace kestrava::cli
