#include "base/HostPort.h"

#include <arpa/inet.h>

#include <algorithm>
#include <utility>

#include "base/Ascii.h"

namespace kestrava {
namespace {

constexpr std::size_t kMaxNameLength = 253;
constexpr std::size_t kMaxLabelLength = 63;

bool AllDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), IsAsciiDigit);
}

// Four decimal numbers 0 to 255 without leading zeros (which some readers
// take for octal).
bool IsIpv4(std::string_view text) {
  int parts = 0;
  for (std::size_t start = 0;; ++parts) {
    const std::size_t dot = text.find('.', start);
    const std::string_view part = text.substr(start, dot - start);
    if (!AllDigits(part) || part.size() > 3 || (part.size() > 1 && part[0] == '0')) return false;
    if (std::stoi(std::string(part)) > 255) return false;
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  return parts == 3;
}

std::optional<std::string> NameProblem(std::string_view name) {
  const std::size_t lastDot = name.rfind('.');
  const std::string_view lastLabel =
      lastDot == std::string_view::npos ? name : name.substr(lastDot + 1);
  // A name whose last part is a number is read as an IPv4 address.
  if (AllDigits(lastLabel)) {
    if (IsIpv4(name)) return std::nullopt;
    return "it is no IPv4 address of four numbers from 0 to 255";
  }
  for (const char c : name) {
    if (!IsAsciiLetter(c) && !IsAsciiDigit(c) && c != '-' && c != '.')
      return "a host name has only letters, digits, hyphens and dots";
  }
  if (name.size() > kMaxNameLength) return "a host name has at most 253 characters";
  for (std::size_t start = 0;;) {
    const std::size_t dot = name.find('.', start);
    const std::string_view label = name.substr(start, dot - start);
    if (label.empty()) return "a host name has no empty part between dots";
    if (label.size() > kMaxLabelLength) return "a part of a host name has at most 63 characters";
    if (label.front() == '-' || label.back() == '-')
      return "a part of a host name neither starts nor ends with a hyphen";
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  return std::nullopt;
}

std::optional<std::string> PortProblem(std::string_view port) {
  if (port.empty()) return "its port is empty";
  if (!AllDigits(port)) return "its port is no number";
  const std::size_t digits = port.find_first_not_of('0');
  if (digits == std::string_view::npos || port.size() - digits > 5 ||
      std::stol(std::string(port.substr(digits))) > 65535) {
    return "its port is not from 1 to 65535";
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> HostPortProblem(std::string_view text) {
  if (text.empty()) return "it is empty";
  if (text.find("://") != std::string_view::npos) return "it has a scheme";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80) return "a name in another script needs its ASCII form, xn--...";
    if (byte <= 0x20 || byte == 0x7F) return "it has white space or a control character";
  }
  if (text.find('@') != std::string_view::npos) return "it has a user part";
  if (text.find_first_of("/?#") != std::string_view::npos) return "it has a path";

  std::string_view host = text, rest;
  if (text.front() == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos) return "its IPv6 address has no closing bracket";
    host = text.substr(1, close - 1);
    rest = text.substr(close + 1);
    if (!rest.empty() && rest.front() != ':') return "only :PORT may follow the bracketed address";
  } else if (const std::size_t colon = text.find(':'); colon != std::string_view::npos) {
    if (text.find(':', colon + 1) != std::string_view::npos)
      return "an IPv6 address goes in brackets, as [::1]";
    host = text.substr(0, colon);
    rest = text.substr(colon);
  }
  if (!rest.empty()) {
    if (auto problem = PortProblem(rest.substr(1))) return problem;
  }
  if (host.empty()) return "it has no host";
  if (text.front() == '[') {
    in6_addr address{};
    const std::string ipv6(host);
    if (host.find_first_not_of("0123456789abcdefABCDEF:.") != std::string_view::npos ||
        inet_pton(AF_INET6, ipv6.c_str(), &address) != 1) {
      return "its IPv6 address is not valid";
    }
    return std::nullopt;
  }
  return NameProblem(host);
}

OptionValue HostPortValue(std::function<void(const std::string&)> set) {
  return OtherValue("HOST[:PORT]",
                    [set = std::move(set)](const std::string& value) -> std::optional<std::string> {
                      if (auto problem = HostPortProblem(value))
                        return Needs(kHostPortForm, value) + " (" + *problem + ")";
                      set(value);
                      return std::nullopt;
                    });
}

}  // namespace kestrava
