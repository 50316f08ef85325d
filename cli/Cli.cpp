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
  const CliArguments parsed = ParseArguments(args);
  SecretMask mask;
  for (const std::string& secret : parsed.givenSecrets) mask.Add(secret);
  if (env.getenv) mask.Add(env.getenv("KESTRAVA_CLIENT_SECRET").value_or(""));
  if (!parsed.error.empty()) return Usage(env, mask(parsed.error));
  try {
    if (parsed.help || parsed.version) return HelpOrVersion(parsed, env);
    return FindCommand(parsed.command)->run(parsed, env, mask);
  } catch (const std::exception& e) {
    return Failure(env, mask, {e.what()}, parsed.exactErrors);
  }
}

}  // namespace kestrava::cli
