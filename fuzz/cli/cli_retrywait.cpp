#include "fuzz/cli/FuzzBodies.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kestrava::cli::fuzz::RetryWait(data, size);
  return 0;
}
