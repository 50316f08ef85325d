#include <string>
#include <string_view>

#include "client/Kestrava2Intf.h"

namespace kestrava {
namespace {

std::string& Host() {
  static std::string host = KESTRAVA_DEFAULT_SERVICE_HOST;
  return host;
}

}  // namespace

const std::string& ServiceHost() {
  return Host();
}

void SetServiceHost(std::string_view host) {
  Host() = std::string(host);
}

}  // namespace kestrava
