#include <string>
#include <string_view>

#include "client/Kestrava2Intf.h"

namespace kestrava {
namespace {

std::string& Host() {
  static std::string host(DefaultServiceHost());
  return host;
}

}  // namespace

std::string_view DefaultServiceHost() noexcept {
  return KESTRAVA_DEFAULT_SERVICE_HOST;
}

const std::string& ServiceHost() {
  return Host();
}

void SetServiceHost(std::string_view host) {
  Host() = std::string(host);
}

}  // namespace kestrava
