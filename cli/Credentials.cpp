#include "cli/Credentials.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>

#include "cli/InputBytes.h"
#include "cli/KeyringSecret.h"
#include "cli/Messages.h"

namespace kestrava::cli {
namespace {

// The first line of the secret file; 0 or the errno of the failure. A
// regular file that others may read or change gets a warning, as ssh gives
// for keys: the secret works, but it is no longer the client's alone.
int ReadSecretFile(const std::string& path, std::string& line, CliEnvironment& env) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return errno;
  struct stat status {};
  if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
      (status.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(status.st_mode & 07777));
    WriteLine(env, "kestrava-cli: warning: other users can get at the secret file " + path +
                       " (mode " + mode + "); make it private: chmod 600 " + path);
  }
  const int error = ReadFirstLine(fd, line);
  close(fd);
  return error;
}

}  // namespace

std::optional<Credentials> FindCredentials(const CliArguments& args, CliEnvironment& env,
                                           int& code) {
  const auto lookup = [&](const char* name) {
    return env.getenv ? env.getenv(name) : std::optional<std::string>();
  };
  std::optional<std::string> id = args.id ? args.id : lookup("KESTRAVA_CLIENT_ID");
  // The command line's way first (--secret, --secret-file, --keyring, one
  // at most), then the environment; a profile's way is among the
  // command line's when nothing above it gave one.
  std::optional<std::string> secret = args.secret;
  if (!secret && !args.secretFile && !args.keyring) secret = lookup("KESTRAVA_CLIENT_SECRET");
  code = ExitUsage;
  if (!id) {
    Usage(env, "no client id: give --id ID or set KESTRAVA_CLIENT_ID");
    return std::nullopt;
  }
  if (!secret && !args.secretFile && !args.keyring) {
    Usage(env,
          "no client secret: give --secret SECRET, --secret-file FILE or --keyring, or set "
          "KESTRAVA_CLIENT_SECRET");
    return std::nullopt;
  }
  code = ExitFailure;
  if (!secret && args.keyring) {
    secret = SecretFromKeyring(args, *id, env);
    if (!secret) return std::nullopt;
  } else if (!secret) {
    const bool fromInput = *args.secretFile == "-";
    std::string line;
    const int error =
        fromInput ? ReadFirstLine(env.in, line) : ReadSecretFile(*args.secretFile, line, env);
    if (error != 0) {
      code = CannotRead(env, fromInput ? "standard input" : *args.secretFile, error);
      return std::nullopt;
    }
    secret = std::move(line);
  }
  return Credentials{std::move(*id), std::move(*secret)};
}

}  // namespace kestrava::cli
