#include "cli/KeyringSecret.h"

#include "cli/Messages.h"
#include "client/Kestrava2Intf.h"

namespace kestrava::cli {
namespace {

using keyring::TKeyringFailure;

// The command that stores the secret for this source.
std::string SetCommand(const CliArguments& args, const keyring::TSecretKey& key) {
  if (args.profile) return "kestrava-cli --profile " + *args.profile + " secret set";
  std::string command = "kestrava-cli";
  if (args.host) command += " --host " + *args.host;
  if (args.test) command += " --test";
  return command + " --id " + key.ClientId + " secret set";
}

}  // namespace

keyring::TSecretKey SecretKeyOf(const CliArguments& args, const std::string& id) {
  const std::string host = args.host.value_or(std::string(DefaultServiceHost()));
  return {(args.test ? "api.test." : "") + host, id};
}

std::string SourceName(const keyring::TSecretKey& key) {
  return key.Host + ", client id " + key.ClientId;
}

std::unique_ptr<keyring::TKeyring> OpenKeyring(CliEnvironment& env) {
  std::unique_ptr<keyring::TKeyring> keyring = env.openKeyring ? env.openKeyring() : nullptr;
  if (keyring == nullptr) WriteLine(env, "kestrava-cli: this build of kestrava-cli has no keyring");
  return keyring;
}

int KeyringFailure(CliEnvironment& env, const CliArguments& args, const keyring::TSecretKey& key,
                   const keyring::EKeyringError& error) {
  std::string text = "kestrava-cli: ";
  switch (error.Failure()) {
    case TKeyringFailure::NoService:
      text += "no keyring: no Secret Service on the session bus (" + error.Message() + ")";
      break;
    case TKeyringFailure::Locked:
      text +=
          "the keyring is locked: unlocking it needs a password prompt, which kestrava-cli "
          "never shows; unlock it (log in to the desktop session) and try again";
      break;
    case TKeyringFailure::NotStored:
      text += "no secret in the keyring for " + SourceName(key) +
              "; store one with: " + SetCommand(args, key);
      break;
    case TKeyringFailure::Failed:
      text += "the keyring failed: " + error.Message();
      break;
  }
  WriteLine(env, text);
  return ExitFailure;
}

std::optional<std::string> SecretFromKeyring(const CliArguments& args, const std::string& id,
                                             CliEnvironment& env) {
  const std::unique_ptr<keyring::TKeyring> keyring = OpenKeyring(env);
  if (keyring == nullptr) return std::nullopt;
  const keyring::TSecretKey key = SecretKeyOf(args, id);
  try {
    return keyring->Lookup(key);
  } catch (const keyring::EKeyringError& error) {
    KeyringFailure(env, args, key, error);
    return std::nullopt;
  }
}

}  // namespace kestrava::cli
