#include "cli/ConfigFile.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "cli/InputBytes.h"
#include "output/ByteSink.h"

namespace kestrava::cli {
namespace {

constexpr off_t kLongestFile = 1 << 20;

std::string Octal(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

bool OwnedByUserOrRoot(const struct stat& status) {
  return status.st_uid == geteuid() || status.st_uid == 0;
}

// The real path of `path`; "" when it cannot be resolved.
std::string RealPath(const std::string& path) {
  const std::unique_ptr<char, decltype(&free)> real(realpath(path.c_str(), nullptr), &free);
  return real != nullptr ? std::string(real.get()) : std::string();
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// What is wrong with the folders from `folder` up to "/"; "" when none can
// be changed by another user.
std::string CheckFolders(const std::string& folder) {
  std::string at = RealPath(folder);
  if (at.empty()) return {};  // the open of the file says why
  for (;;) {
    struct stat status {};
    if (stat(at.c_str(), &status) == 0) {
      if (!OwnedByUserOrRoot(status))
        return "its folder " + at + " belongs to another user (uid " +
               std::to_string(status.st_uid) + ")";
      if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (status.st_mode & S_ISVTX) == 0)
        return "other users can write its folder " + at + " (mode " + Octal(status.st_mode) + ")";
    }
    if (at == "/") return {};
    at = FolderOf(at);
  }
}

}  // namespace

std::string ConfigPath(const std::optional<std::string>& option, const EnvironmentLookup& getenv) {
  if (option) return *option;
  const auto lookup = [&](const char* name) {
    return getenv ? getenv(name).value_or("") : std::string();
  };
  const std::string config = lookup("XDG_CONFIG_HOME");
  if (!config.empty() && config[0] == '/') return config + "/kestrava/kestrava.conf";
  const std::string home = lookup("HOME");
  if (!home.empty()) return home + "/.config/kestrava/kestrava.conf";
  return {};
}

std::string ReadConfigFile(const std::string& path, std::string& text) {
  const std::string refused = "the configuration file " + path + " is refused: ";
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return "cannot read the configuration file " + path + ": " + ErrorDescription(errno);
  struct stat status {};
  std::string problem;
  if (fstat(fd, &status) != 0) {
    problem = "cannot read the configuration file " + path + ": " + ErrorDescription(errno);
  } else if (!S_ISREG(status.st_mode)) {
    problem = refused + "it is no regular file";
  } else if (!OwnedByUserOrRoot(status)) {
    problem = refused + "it belongs to another user (uid " + std::to_string(status.st_uid) + ")";
  } else if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    problem = refused + "other users can write it (mode " + Octal(status.st_mode) +
              "); make it writable by its owner alone: chmod go-w " + path;
  } else if (status.st_size > kLongestFile) {
    problem = refused + "it is longer than 1 MiB";
  }
  // Where the path is a link, both the link's folders and the file's count.
  const std::string real = RealPath(path);
  for (const std::string& folder : {FolderOf(path), real.empty() ? real : FolderOf(real)}) {
    if (problem.empty() && !folder.empty()) {
      if (std::string wrong = CheckFolders(folder); !wrong.empty()) problem = refused + wrong;
    }
  }
  if (problem.empty()) {
    if (const int error = ReadAll(fd, text); error != 0)
      problem = "cannot read the configuration file " + path + ": " + ErrorDescription(error);
  }
  close(fd);
  return problem;
}

}  // namespace kestrava::cli
