#include "fuzz/net/FuzzBodies.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kestrava::net::fuzz::CookieStoreLife(data, size);
  return 0;
}
