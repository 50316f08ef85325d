#pragma once

// The client id and secret of a command of the service.

#include <optional>
#include <string>

#include "cli/Cli.h"
#include "cli/CliArguments.h"

namespace kestrava::cli {

struct Credentials {
  std::string id, secret;
};

// From the options, the secret file or the environment. None after the
// failure has been reported, with its exit code in `code`.
std::optional<Credentials> FindCredentials(const CliArguments& args, CliEnvironment& env,
                                           int& code);

}  // namespace kestrava::cli
