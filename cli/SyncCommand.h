#pragma once

// sync: the transactions from a start up to now read into the local store,
// page after page, so that history and status need no network.

#include "cli/Cli.h"
#include "cli/CliArguments.h"
#include "cli/SecretMask.h"

namespace kestrava::cli {

int RunSync(const CliArguments& args, CliEnvironment& env, SecretMask& mask);

}  // namespace kestrava::cli
