#pragma once

// secret set | clear | status: the client secret of a source in the
// keyring of the session, where --keyring and a profile's keyring = true
// find it.

#include <string>

#include "cli/Cli.h"
#include "cli/CliArguments.h"
#include "cli/SecretMask.h"

namespace kestrava::cli {

int RunSecret(const CliArguments& args, CliEnvironment& env, SecretMask& mask);

// The command's one argument; "" when it is right.
std::string CheckSecret(const CliArguments& args);

}  // namespace kestrava::cli
