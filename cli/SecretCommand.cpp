#include "cli/SecretCommand.h"

#include <memory>
#include <optional>

#include "cli/KeyringSecret.h"
#include "cli/Messages.h"
#include "cli/SecretInput.h"
#include "output/ByteSink.h"

namespace kestrava::cli {
namespace {

using keyring::TStoredSecret;

int Set(keyring::TKeyring& keyring, const keyring::TSecretKey& key, CliEnvironment& env,
        SecretMask& mask) {
  // A keyring that cannot take the secret says so before it is typed.
  if (keyring.State(key) == TStoredSecret::Locked)
    throw keyring::EKeyringError(keyring::TKeyringFailure::Locked, "the collection is locked");
  std::string secret;
  if (const int error = ReadSecretLine(env, "Secret for " + SourceName(key) + ": ", secret);
      error != 0) {
    return CannotRead(env, "standard input", error);
  }
  if (secret.empty()) {
    WriteLine(env, "kestrava-cli: no secret on standard input: nothing stored");
    return ExitFailure;
  }
  mask.Add(secret);
  keyring.Store(key, secret, "Kestrava client secret for " + SourceName(key));
  WriteLine(env, "kestrava-cli: secret stored for " + SourceName(key));
  return ExitSuccess;
}

}  // namespace

int RunSecret(const CliArguments& args, CliEnvironment& env, SecretMask& mask) {
  const std::optional<std::string> id =
      args.id ? args.id : (env.getenv ? env.getenv("KESTRAVA_CLIENT_ID") : std::nullopt);
  if (!id)
    return Usage(env, "no client id: give --id ID or --profile NAME, or set KESTRAVA_CLIENT_ID");
  const keyring::TSecretKey key = SecretKeyOf(args, *id);
  const std::unique_ptr<keyring::TKeyring> keyring = OpenKeyring(env);
  if (keyring == nullptr) return ExitFailure;
  const std::string& action = args.arguments[0];
  try {
    if (action == "set") return Set(*keyring, key, env, mask);
    if (action == "clear") {
      const bool cleared = keyring->Clear(key);
      WriteLine(env, std::string("kestrava-cli: ") +
                         (cleared ? "secret cleared for " : "no secret was stored for ") +
                         SourceName(key));
      return ExitSuccess;
    }
    const TStoredSecret state = keyring->State(key);
    std::string line = "secret: ";
    if (state == TStoredSecret::None) line += "none stored for " + SourceName(key);
    if (state == TStoredSecret::Unlocked) line += "stored for " + SourceName(key);
    if (state == TStoredSecret::Locked)
      line += "stored for " + SourceName(key) +
              ", in a locked keyring that no unattended run "
              "can read";
    line += '\n';
    if (!env.out.Write(line)) return CannotWrite(env, "standard output", env.out.Error());
    return state == TStoredSecret::Unlocked ? ExitSuccess : ExitFailure;
  } catch (const keyring::EKeyringError& error) {
    return KeyringFailure(env, args, key, error);
  }
}

std::string CheckSecret(const CliArguments& args) {
  if (args.arguments.empty()) return "secret needs set, clear or status";
  const std::string& action = args.arguments[0];
  if (action != "set" && action != "clear" && action != "status")
    return "secret needs set, clear or status, not \"" + action + "\"";
  return {};
}

}  // namespace kestrava::cli
