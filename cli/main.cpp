#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/StandardDescriptors.h"
#include "cli/Cli.h"
#include "datetime/FormatSettings.h"
#include "keyring/SecretServiceKeyring.h"

int main(int argc, char** argv) {
  if (!kestrava::OpenStandardDescriptors()) return 1;
  // A file that passes the size limit (ulimit -f) fails its write with
  // EFBIG, reported and cleaned up as any failed write, instead of ending
  // the process in the middle of the export.
  std::signal(SIGXFSZ, SIG_IGN);
  kestrava::InitializeFormatSettings();
  kestrava::DescriptorSink out(STDOUT_FILENO), err(STDERR_FILENO);
  kestrava::cli::CliEnvironment env{
      .in = STDIN_FILENO,
      .out = out,
      .err = err,
      .outIsTerminal = isatty(STDOUT_FILENO) == 1,
      .errIsTerminal = isatty(STDERR_FILENO) == 1,
      .getenv = [](const std::string& name) -> std::optional<std::string> {
        const char* value = std::getenv(name.c_str());
        if (value == nullptr) return std::nullopt;
        return std::string(value);
      },
      .openKeyring = kestrava::keyring::NewSecretServiceKeyring};
  return kestrava::cli::RunCli(std::vector<std::string>(argv + 1, argv + argc), env);
}
