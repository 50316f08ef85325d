#include "fuzz/net/FuzzBodies.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kestrava::net::fuzz::ContentType(data, size);
  return 0;
}
