#pragma once

// The commands that sign in to the service: login, accounts and
// transactions.

#include <string>

#include "cli/Cli.h"
#include "cli/CliArguments.h"
#include "cli/SecretMask.h"

namespace kestrava::cli {

int RunLogin(const CliArguments& args, CliEnvironment& env, SecretMask& mask);
int RunAccounts(const CliArguments& args, CliEnvironment& env, SecretMask& mask);
int RunTransactions(const CliArguments& args, CliEnvironment& env, SecretMask& mask);

// What the range options of transactions allow together; "" when right.
std::string CheckTransactions(const CliArguments& args);

}  // namespace kestrava::cli
