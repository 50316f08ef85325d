#pragma once

// A folder for a benchmark's files in /tmp, removed with them at the end.

#include <stdlib.h>

#include <filesystem>
#include <string>

namespace kestrava::bench {

struct TTempFolder {
  // `name` goes into the folder's name: /tmp/kestrava-bench-NAME-XXXXXX.
  explicit TTempFolder(const std::string& name) {
    std::string pattern = "/tmp/kestrava-bench-" + name + "-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) path = pattern;
  }
  ~TTempFolder() {
    std::error_code ignored;
    if (!path.empty()) std::filesystem::remove_all(path, ignored);
  }
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;
  std::filesystem::path path;
};

}  // namespace kestrava::bench
