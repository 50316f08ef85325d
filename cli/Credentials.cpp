#include "cli/Credentials.h"

#include <utility>

#include "cli/InputBytes.h"
#include "cli/Messages.h"

namespace kestrava::cli {

std::optional<Credentials> FindCredentials(const CliArguments& args, CliEnvironment& env,
                                           int& code) {
  const auto lookup = [&](const char* name) {
    return env.getenv ? env.getenv(name) : std::optional<std::string>();
  };
  std::optional<std::string> id = args.id ? args.id : lookup("KESTRAVA_CLIENT_ID");
  std::optional<std::string> secret = args.secret;
  if (!secret && !args.secretFile) secret = lookup("KESTRAVA_CLIENT_SECRET");
  code = ExitUsage;
  if (!id) {
    Usage(env, "no client id: give --id ID or set KESTRAVA_CLIENT_ID");
    return std::nullopt;
  }
  if (!secret && !args.secretFile) {
    Usage(env,
          "no client secret: give --secret SECRET or --secret-file FILE, or set "
          "KESTRAVA_CLIENT_SECRET");
    return std::nullopt;
  }
  if (!secret) {
    const bool fromInput = *args.secretFile == "-";
    std::string line;
    const int error =
        fromInput ? ReadFirstLine(env.in, line) : ReadFirstLineOfFile(*args.secretFile, line);
    if (error != 0) {
      code = CannotRead(env, fromInput ? "standard input" : *args.secretFile, error);
      return std::nullopt;
    }
    secret = std::move(line);
  }
  return Credentials{std::move(*id), std::move(*secret)};
}

}  // namespace kestrava::cli
