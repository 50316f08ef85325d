#pragma once

// The secret that "secret set" stores, read from standard input: on a
// terminal after a prompt and without echo, whatever ends the program.

#include <string>

#include "cli/Cli.h"

namespace kestrava::cli {

// The first line of standard input, without its line end. On a terminal
// `prompt` goes to standard error first and the typing is not shown; a
// signal that ends the program meanwhile gives the terminal its echo back.
// Returns 0, or the errno of the failure.
int ReadSecretLine(CliEnvironment& env, const std::string& prompt, std::string& line);

}  // namespace kestrava::cli
