#include "cli/Profiles.h"

#include <ini.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/Ascii.h"
#include "base/Options.h"

namespace kestrava::cli {
namespace {

using Kind = ProfileKey::Kind;

constexpr std::string_view kIdOptions[] = {"--id"};
constexpr std::string_view kHostOptions[] = {"--host"};
constexpr std::string_view kTestOptions[] = {"--test"};
constexpr std::string_view kSecretOptions[] = {"--secret", "--secret-file", "--keyring"};
constexpr std::string_view kDbOptions[] = {"--db"};
constexpr std::string_view kFormatOptions[] = {"--format", "--compact"};
constexpr std::string_view kRetryOptions[] = {"--retry"};
constexpr std::string_view kRetryMaxTimeOptions[] = {"--retry-max-time"};
constexpr std::string_view kTimeoutOptions[] = {"--timeout"};
constexpr std::string_view kOverlapOptions[] = {"--overlap"};

const ProfileKey kKeys[] = {
    {"id", "--id", Kind::Value, kIdOptions, "KESTRAVA_CLIENT_ID"},
    {"host", "--host", Kind::Value, kHostOptions},
    {"test", "--test", Kind::Flag, kTestOptions},
    {"secret-file", "--secret-file", Kind::Path, kSecretOptions, "KESTRAVA_CLIENT_SECRET"},
    {"keyring", "--keyring", Kind::Flag, kSecretOptions, "KESTRAVA_CLIENT_SECRET"},
    {"db", "--db", Kind::Path, kDbOptions, "KESTRAVA_DB"},
    {"format", "--format", Kind::Value, kFormatOptions},
    {"retry", "--retry", Kind::Value, kRetryOptions},
    {"retry-max-time", "--retry-max-time", Kind::Value, kRetryMaxTimeOptions},
    {"timeout", "--timeout", Kind::Value, kTimeoutOptions},
    {"overlap", "--overlap", Kind::Value, kOverlapOptions},
};

// A profile's name also names its systemd unit (kestrava-sync@NAME.timer)
// and fits the INI reader's section: a few plain characters.
constexpr std::size_t kLongestName = 40;

const ProfileKey* FindKey(std::string_view name) {
  for (const ProfileKey& key : kKeys) {
    if (key.name == name) return &key;
  }
  return nullptr;
}

const Option* FindOption(std::span<const Option> options, std::string_view name) {
  for (const Option& option : options) {
    if (option.name == name) return &option;
  }
  return nullptr;
}

// Stores `value` for `key` through the check of its option among `options`
// (which store where that option stores); what is wrong otherwise, worded
// to follow the key's name. Every key has its option (see ProfileKeys).
std::optional<std::string> Store(const ProfileKey& key, const std::string& value,
                                 const std::vector<Option>& options) {
  const Option* option = FindOption(options, key.option);
  if (key.kind == Kind::Flag) {
    if (value == "false") return std::nullopt;
    if (value != "true") return Needs("true or false", value);
    return option->value.store("");
  }
  return option->value.store(value);
}

std::string Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
    text.remove_suffix(1);
  return std::string(text);
}

bool IsProfileName(std::string_view name) {
  if (name.empty() || name.size() > kLongestName) return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return IsAsciiLetter(c) || IsAsciiDigit(c) || c == '.' || c == '_' || c == '-';
  });
}

struct Entry {
  std::string key, value;
  int line;
};

struct Profile {
  std::string name;
  int line;
  std::vector<Entry> entries;
};

// The configuration file as inih reads it. inih gets the file line by line
// from ReadLine, which counts the lines (so that every message names one),
// notes the section headings (so that one without keys is checked too),
// and hands each line over without its leading blanks: an indented line is
// then never taken as the continuation of the value above it.
class Reading {
 public:
  Reading(std::string file, std::string_view text, const EnvironmentLookup& getenv)
      : file_(std::move(file)), text_(text), getenv_(getenv) {
    if (text_.starts_with("\xEF\xBB\xBF")) text_.remove_prefix(3);
  }

  // Reads the whole file; "" or the first mistake, with its file and line.
  std::string Run() {
    const int syntax = ini_parse_stream(&Reading::ReadLine, this, &Reading::OnKey, this);
    if (syntax > 0 && (error_.empty() || syntax < errorLine_))
      Fail(syntax, "neither a [profile NAME] heading nor KEY = VALUE", true);
    return error_;
  }

  const std::vector<Profile>& Profiles() const { return profiles_; }

  // "~/" is the home folder.
  std::optional<std::string> Expanded(const std::string& path) const {
    if (!path.starts_with("~/")) return path;
    const std::string home = getenv_ ? getenv_("HOME").value_or("") : "";
    if (home.empty()) return std::nullopt;
    return home + path.substr(1);
  }

 private:
  static constexpr int kNoSection = -1, kWrongSection = -2;

  void Fail(int line, const std::string& message, bool replace = false) {
    if (!error_.empty() && !replace) return;
    error_ = file_ + ":" + std::to_string(line) + ": " + message;
    errorLine_ = line;
  }

  static char* ReadLine(char* into, int size, void* stream) {
    Reading& self = *static_cast<Reading*>(stream);
    if (self.stopped_ || self.at_ >= self.text_.size()) return nullptr;
    ++self.line_;
    const std::size_t end = self.text_.find('\n', self.at_);
    const std::size_t next = end == std::string_view::npos ? self.text_.size() : end + 1;
    std::string_view line = self.text_.substr(self.at_, next - self.at_);
    self.at_ = next;
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    const std::size_t longest = size > 2 ? static_cast<std::size_t>(size) - 2 : 0;
    std::string_view content = line;
    if (content.ends_with('\n')) content.remove_suffix(1);
    if (content.find('\0') != std::string_view::npos) {
      self.Fail(self.line_, "a NUL byte");
      self.stopped_ = true;
      return nullptr;
    }
    if (content.size() > longest) {
      self.Fail(self.line_, "a line longer than " + std::to_string(longest) + " characters");
      self.stopped_ = true;
      return nullptr;
    }
    std::memcpy(into, line.data(), line.size());
    into[line.size()] = '\0';
    if (line.starts_with('[')) self.Heading(line);
    return into;
  }

  void Heading(std::string_view line) {
    const std::size_t close = line.find(']');
    if (close == std::string_view::npos) {
      section_ = kWrongSection;  // inih reports the line
      return;
    }
    const std::string inner = Trimmed(line.substr(1, close - 1));
    section_ = kWrongSection;
    if (inner != "profile" && !inner.starts_with("profile ") && !inner.starts_with("profile\t")) {
      Fail(line_, "unknown section [" + inner + "]: a section is [profile NAME]");
      return;
    }
    const std::string name = Trimmed(std::string_view(inner).substr(7));
    if (!IsProfileName(name)) {
      Fail(line_, "a profile's name is 1 to " + std::to_string(kLongestName) +
                      " letters, digits, '.', '_' or '-', not \"" + name + "\"");
      return;
    }
    for (const Profile& profile : profiles_) {
      if (profile.name == name) {
        Fail(line_,
             "profile " + name + " again (first on line " + std::to_string(profile.line) + ")");
        return;
      }
    }
    profiles_.push_back({name, line_, {}});
    section_ = static_cast<int>(profiles_.size()) - 1;
  }

  static int OnKey(void* user, const char* /*section*/, const char* name, const char* value) {
    static_cast<Reading*>(user)->Key(name, value != nullptr ? value : "");
    return 1;
  }

  void Key(const std::string& name, const std::string& value) {
    if (section_ == kWrongSection) return;  // its heading is reported
    if (section_ == kNoSection) {
      Fail(line_, "key " + name + " outside a [profile NAME] section");
      return;
    }
    Profile& profile = profiles_[static_cast<std::size_t>(section_)];
    if (name == "secret") {
      Fail(line_,
           "a profile does not hold the secret itself: keep it in the keyring "
           "(keyring = true, then kestrava-cli --profile " +
               profile.name +
               " secret set) or in a file that only you can read (secret-file = FILE)");
      return;
    }
    const ProfileKey* key = FindKey(name);
    if (key == nullptr) {
      std::string keys;
      for (const ProfileKey& known : kKeys)
        keys += (keys.empty() ? "" : ", ") + std::string(known.name);
      Fail(line_, "unknown key " + name + " in profile " + profile.name + "; the keys are " + keys);
      return;
    }
    for (const Entry& entry : profile.entries) {
      if (entry.key == name) {
        Fail(line_, "key " + name + " again in profile " + profile.name + " (first on line " +
                        std::to_string(entry.line) + ")");
        return;
      }
    }
    if (std::string problem = Check(*key, value); !problem.empty()) {
      Fail(line_, name + " " + problem);
      return;
    }
    profile.entries.push_back({name, value, line_});
    const auto holds = [&](const char* wanted, const char* with) {
      return std::any_of(profile.entries.begin(), profile.entries.end(), [&](const Entry& entry) {
        return entry.key == wanted && (with == nullptr || entry.value == with);
      });
    };
    if (holds("secret-file", nullptr) && holds("keyring", "true"))
      Fail(line_, "give the secret either with secret-file or with keyring = true, not both");
  }

  // What is wrong with the value ("needs ..."); "" when it is right.
  std::string Check(const ProfileKey& key, const std::string& value) {
    CliArguments scratch;
    std::string stored = value;
    if (key.kind == Kind::Path) {
      const std::optional<std::string> path = Expanded(value);
      if (!path) return "starts with ~/, but HOME is not set";
      if (!path->starts_with("/"))
        return Needs("an absolute path or one that starts with ~/", value);
      stored = *path;
    }
    return Store(key, stored, CliOptions(scratch)).value_or("");
  }

  std::string file_;
  std::string_view text_;
  const EnvironmentLookup& getenv_;
  std::size_t at_ = 0;
  int line_ = 0;
  bool stopped_ = false;
  int section_ = kNoSection;
  std::vector<Profile> profiles_;
  std::string error_;
  int errorLine_ = 0;
};

std::string Variable(const EnvironmentLookup& getenv, std::string_view name) {
  return getenv ? getenv(std::string(name)).value_or("") : std::string();
}

}  // namespace

std::span<const ProfileKey> ProfileKeys() {
  return kKeys;
}

std::string ApplyProfile(CliArguments& args, const EnvironmentLookup& getenv) {
  std::string name = args.profile.value_or(Variable(getenv, "KESTRAVA_PROFILE"));
  if (name.empty()) {
    if (args.config) return "--config needs a profile: give --profile NAME or set KESTRAVA_PROFILE";
    return {};
  }
  const std::string path = ConfigPath(args.config, getenv);
  if (path.empty())
    return "no configuration file for profile " + name +
           ": neither XDG_CONFIG_HOME nor HOME is set; give --config FILE";
  std::string text;
  if (std::string problem = ReadConfigFile(path, text); !problem.empty()) return problem;
  Reading reading(path, text, getenv);
  if (std::string problem = reading.Run(); !problem.empty()) return problem;
  const auto& profiles = reading.Profiles();
  const auto chosen = std::find_if(profiles.begin(), profiles.end(),
                                   [&](const Profile& profile) { return profile.name == name; });
  if (chosen == profiles.end()) return "no profile " + name + " in " + path;

  const std::vector<Option> options = CliOptions(args);
  const auto given = [&](std::string_view option) {
    return std::find(args.givenOptions.begin(), args.givenOptions.end(), option) !=
           args.givenOptions.end();
  };
  for (const Entry& entry : chosen->entries) {
    const ProfileKey& key = *FindKey(entry.key);
    if (std::any_of(key.overriddenBy.begin(), key.overriddenBy.end(), given)) continue;
    if (!key.variable.empty() && !Variable(getenv, key.variable).empty()) continue;
    const std::string value =
        key.kind == Kind::Path ? reading.Expanded(entry.value).value_or("") : entry.value;
    Store(key, value, options);  // checked as the file was read
  }
  return {};
}

}  // namespace kestrava::cli
