#pragma once

// The options of kestrava-sandbox.

#include <string>
#include <vector>

#include "sandbox/SandboxServer.h"

namespace kestrava::sandbox {

struct CommandLine {
  SandboxOptions options;
  bool help = false;
  bool version = false;
  bool quiet = false;
  std::string error;  // set when the arguments are wrong
};

CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// The --help text.
std::string UsageText();

}  // namespace kestrava::sandbox
