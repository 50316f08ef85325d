#pragma once

// The inputs kept from fuzzing, replayed by ctest through the same code the
// fuzz targets run: for a target, the files of <folder>/regressions/<target>
// (inputs that once failed) and of <folder>/seeds/<target>.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string_view>

namespace kestrava::testing {

using FuzzInput = std::function<void(const std::uint8_t* data, std::size_t size)>;

// Runs every kept input of the target; gives how many there were. The name
// of each file goes to standard error first, so a crash names its input.
int ReplayKeptInputs(const std::filesystem::path& folder, std::string_view target,
                     const FuzzInput& run);

}  // namespace kestrava::testing
