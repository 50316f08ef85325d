#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "datetime/FormatSettings.h"

int main(int argc, char** argv) {
  kestrava::InitializeFormatSettings();
  std::ios::sync_with_stdio(false);
  kestrava::cli::CliEnvironment env{std::cin, std::cout, std::cerr, isatty(STDERR_FILENO) == 1,
                                    [](const std::string& name) -> std::optional<std::string> {
                                      const char* value = std::getenv(name.c_str());
                                      if (value == nullptr) return std::nullopt;
                                      return std::string(value);
                                    }};
  const int code = kestrava::cli::RunCli(std::vector<std::string>(argv + 1, argv + argc), env);
  // Output that could not be written (a full disk) is no success.
  std::cout.flush();
  if (code == 0 && !std::cout) return 1;
  return code;
}
