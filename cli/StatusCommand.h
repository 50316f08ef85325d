#pragma once

// status: what the local store holds of each source and how its syncs went,
// for people and, with --max-age, for monitoring.

#include <string>

#include "cli/Cli.h"
#include "cli/CliArguments.h"
#include "cli/SecretMask.h"

namespace kestrava::cli {

int RunStatus(const CliArguments& args, CliEnvironment& env, SecretMask& mask);

// What status's options allow together; "" when right.
std::string CheckStatus(const CliArguments& args);

}  // namespace kestrava::cli
