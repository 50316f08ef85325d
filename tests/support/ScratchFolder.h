#pragma once

// A folder of the test's own in the system's temporary folder, removed
// with everything in it (folders a test made unreadable or unwritable
// included), and whole files read and written as bytes.

#include <string>
#include <string_view>
#include <vector>

namespace kestrava::testing {

class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& Path() const noexcept { return path_; }
  std::string File(std::string_view name) const { return path_ + "/" + std::string(name); }
  // The names in the folder, sorted.
  std::vector<std::string> Names() const;

 private:
  std::string path_;
};

std::string ReadWhole(const std::string& path);
void WriteWhole(const std::string& path, std::string_view bytes);

}  // namespace kestrava::testing
