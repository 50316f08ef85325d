#include "cli/Messages.h"

#include "cli/TerminalText.h"
#include "output/ByteSink.h"
#include "output/CsvWriter.h"

namespace kestrava::cli {

void WriteLine(CliEnvironment& env, std::string_view text) {
  std::string line = env.errIsTerminal ? ForTerminal(text) : std::string(text);
  line += '\n';
  env.err.Write(line);
}

int Usage(CliEnvironment& env, const std::string& message) {
  WriteLine(env, "kestrava-cli: " + message);
  WriteLine(env, "kestrava-cli: try 'kestrava-cli --help' for more information");
  return ExitUsage;
}

int CannotRead(CliEnvironment& env, const std::string& name, int error) {
  WriteLine(env, "kestrava-cli: cannot read " + name + ": " + ErrorDescription(error));
  return ExitFailure;
}

int CannotWrite(CliEnvironment& env, const std::string& name, int error) {
  return CannotWrite(env, name, ErrorDescription(error));
}

int CannotWrite(CliEnvironment& env, const std::string& name, const std::string& reason) {
  WriteLine(env, "kestrava-cli: cannot write " + name + ": " + reason);
  return ExitFailure;
}

int RefusedRecords(CliEnvironment& env) {
  WriteLine(env, "kestrava-cli: more than " + std::to_string(CsvWriter::kMaxColumns) +
                     " columns: the records have too many distinct member names for csv; use "
                     "--format ndjson");
  return ExitFailure;
}

int Failure(CliEnvironment& env, const SecretMask& mask, const FailureDetail& failure, bool exact) {
  if (exact) {
    WriteLine(env, mask(failure.text));
    return ExitFailure;
  }
  const FailureDetail masked{mask(failure.text), mask(failure.reply), failure.certificate};
  for (const std::string& line : LogLines(masked)) WriteLine(env, line);
  return ExitFailure;
}

}  // namespace kestrava::cli
