#pragma once

// The service host as the programs take it, on a command line, in a profile
// or in a request's Host field: HOST[:PORT], where HOST is a host name
// (letters, digits, hyphens and dots; an internationalised name in its ASCII
// form, xn--...), an IPv4 address or an IPv6 address in brackets, and PORT
// a number from 1 to 65535. Nothing else goes with it: no scheme, user,
// path, query or white space.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/Options.h"

namespace kestrava {

// The form expected, as a message shows it after "needs ".
inline constexpr std::string_view kHostPortForm =
    "HOST[:PORT]: a host name, an IPv4 address or a bracketed IPv6 address, "
    "and a port from 1 to 65535";

// What is wrong with `text` as HOST[:PORT] ("it has a scheme"); none when it
// is right.
std::optional<std::string> HostPortProblem(std::string_view text);

// An option's value that is HOST[:PORT]; a refused one is answered with the
// form expected and what is wrong.
OptionValue HostPortValue(std::function<void(const std::string&)> set);

}  // namespace kestrava
