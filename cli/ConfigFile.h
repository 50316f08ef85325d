#pragma once

// The configuration file of kestrava-cli: where it is, and reading it only
// when no other user can change it (it says where secrets come from and
// where data goes).

#include <functional>
#include <optional>
#include <string>

namespace kestrava::cli {

using EnvironmentLookup = std::function<std::optional<std::string>(const std::string&)>;

// --config FILE when given, else $XDG_CONFIG_HOME/kestrava/kestrava.conf,
// else $HOME/.config/kestrava/kestrava.conf. Empty variables count as unset,
// and so does a relative XDG_CONFIG_HOME. "" when nothing gives a place.
std::string ConfigPath(const std::optional<std::string>& option, const EnvironmentLookup& getenv);

// The file's text in `text`; otherwise what is wrong: it cannot be read, it
// is no regular file or is too long, or another user owns or can write it
// or a folder above it (a folder with the sticky bit, such as /tmp, keeps
// others from replacing a file that is not theirs, so it may be writable).
// "" when the text was read.
std::string ReadConfigFile(const std::string& path, std::string& text);

}  // namespace kestrava::cli
