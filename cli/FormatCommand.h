#pragma once

// format: the JSON text of a file or of standard input in an output format.
// It signs in nowhere, and its result is data: nothing is masked.

#include "cli/Cli.h"
#include "cli/CliArguments.h"
#include "cli/SecretMask.h"

namespace kestrava::cli {

int RunFormat(const CliArguments& args, CliEnvironment& env, SecretMask& mask);

}  // namespace kestrava::cli
