#include "tests/support/KeptInputs.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace kestrava::testing {

int ReplayKeptInputs(const std::filesystem::path& folder, std::string_view target,
                     const FuzzInput& run) {
  int replayed = 0;
  for (const char* kind : {"regressions", "seeds"}) {
    const std::filesystem::path inputs = folder / kind / target;
    if (!std::filesystem::is_directory(inputs)) continue;
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(inputs))
      if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
      std::fprintf(stderr, "replaying %s\n", file.c_str());
      std::ifstream in(file, std::ios::binary);
      const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
      run(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
      ++replayed;
    }
  }
  return replayed;
}

}  // namespace kestrava::testing
