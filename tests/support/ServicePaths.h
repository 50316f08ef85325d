#pragma once

// The service's paths as the tests expect them on the wire, written out here
// rather than taken from the client so a wrong path in the client fails.

#include <string_view>

namespace kestrava::testing {

inline constexpr std::string_view kTokenPath =
    "/qorn-web-gateway/tavel-authenticate-api/rest/api/authenticate/qorn-web/tokens";
inline constexpr std::string_view kAccountsPath =
    "/qorn-web-gateway/tavel-accounts/rest/api/ais/qorn-web/export/aisp-accounts";
inline constexpr std::string_view kTransactionsPath =
    "/qorn-web-gateway/tavel-accounts/rest/api/ais/qorn-web/export/aisp-transactions";

}  // namespace kestrava::testing
