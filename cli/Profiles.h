#pragma once

// Profiles: named sets of settings in the configuration file, so that a
// scheduled run (or a person with several clients) names one instead of
// repeating its options:
//
//   [profile acme]
//   id = K27315TQB
//   keyring = true
//   retry = 5
//
// --profile NAME or $KESTRAVA_PROFILE picks one. The command line wins over
// the environment, the environment over the profile, the profile over the
// defaults. A key's value is checked as its option's value is, with the
// same words.

#include <span>
#include <string>
#include <string_view>

#include "cli/CliArguments.h"
#include "cli/ConfigFile.h"

namespace kestrava::cli {

// A key of a profile and what it stands for.
struct ProfileKey {
  std::string_view name;
  // The option whose check and field the value shares.
  std::string_view option;
  enum class Kind {
    Value,  // the option's value as written
    Path,   // a file: absolute, or from the home folder with "~/"
    Flag,   // true or false; true gives the option, which takes no value
  } kind = Kind::Value;
  // The options given on the command line that win over the key.
  std::span<const std::string_view> overriddenBy = {};
  // The environment variable that wins over the key when set and not empty.
  std::string_view variable = {};
};

// In the order the help lists them.
std::span<const ProfileKey> ProfileKeys();

// Checks the whole configuration file and applies the profile that
// `args.profile` or $KESTRAVA_PROFILE picks, if any. "" when done, else
// what is wrong (bad usage), with the file and line where there is one.
std::string ApplyProfile(CliArguments& args, const EnvironmentLookup& getenv);

}  // namespace kestrava::cli
