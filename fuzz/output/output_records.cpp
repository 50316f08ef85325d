#include "fuzz/output/FuzzBodies.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kestrava::fuzz::Records(data, size);
  return 0;
}
