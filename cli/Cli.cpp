#include "cli/Cli.h"

#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "cli/CliArguments.h"
#include "cli/CommandOutput.h"
#include "cli/Commands.h"
#include "cli/Messages.h"
#include "cli/Profiles.h"
#include "cli/SecretMask.h"

namespace kestrava::cli {
namespace {

int HelpOrVersion(const CliArguments& args, CliEnvironment& env) {
  const std::unique_ptr<OutputTarget> target = OpenTarget(env, std::nullopt);
  std::string text = args.help ? UsageText() : std::string("kestrava-cli ") + KESTRAVA_VERSION;
  if (args.help) text.pop_back();  // WriteWhole ends it
  return WriteWhole(env, *target, std::move(text));
}

}  // namespace

int RunCli(const std::vector<std::string>& args, CliEnvironment& env) {
  CliArguments parsed = ParseArguments(args);
  SecretMask mask;
  for (const std::string& secret : parsed.givenSecrets) mask.Add(secret);
  if (env.getenv) mask.Add(env.getenv("KESTRAVA_CLIENT_SECRET").value_or(""));
  if (!parsed.error.empty()) return Usage(env, mask(parsed.error));
  try {
    if (parsed.help || parsed.version) return HelpOrVersion(parsed, env);
    if (const std::string wrong = ApplyProfile(parsed, env.getenv); !wrong.empty())
      return Usage(env, mask(wrong));
    // A workbook is bytes for a file or a program, never for a terminal,
    // whether the command line or a profile asks for it.
    const bool toStandardOutput = !parsed.output || *parsed.output == "-";
    if (parsed.format == OutputFormat::Xlsx && toStandardOutput && env.outIsTerminal) {
      return Usage(env,
                   "--format xlsx writes a workbook: give --output FILE, or send standard "
                   "output to a file or a program");
    }
    return FindCommand(parsed.command)->run(parsed, env, mask);
  } catch (const std::exception& e) {
    return Failure(env, mask, {e.what()}, parsed.exactErrors);
  }
}

}  // namespace kestrava::cli
