#pragma once

// The public suffix list (libpsl, the list libcurl itself uses): names under
// which anyone may register a domain, such as "com", "co.uk" or "github.io".

#include <string_view>

namespace kestrava::net {

// True for a lower-case name that the list holds, and for a top-level name
// it does not know (its implicit "*" rule). The list is loaded once per
// process: the system's newest copy, or the one built into libpsl.
bool IsPublicSuffix(std::string_view name);

}  // namespace kestrava::net
