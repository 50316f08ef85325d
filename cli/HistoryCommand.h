#pragma once

// history transactions and history accounts: what syncs stored, read from
// the local store without the network, printed as the commands of the
// service print what they read.

#include <string>

#include "cli/Cli.h"
#include "cli/CliArguments.h"
#include "cli/SecretMask.h"

namespace kestrava::cli {

int RunHistory(const CliArguments& args, CliEnvironment& env, SecretMask& mask);

// What history's argument and options allow together; "" when right.
std::string CheckHistory(const CliArguments& args);

}  // namespace kestrava::cli
