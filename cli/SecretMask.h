#pragma once

// A text that describes a failure (an error text, a retry line, a usage
// message) never carries a secret (the client secret, an access token),
// even when a service echoes the request back in an error body: neither as
// written nor as JSON writes it, where any of its characters may stand as
// an escape ("/" as "\/", "\" as "\\", U+00E9 as "\u00e9" or "\u00E9",
// U+1F600 as a pair of \u escapes). A result is data and is never masked.

#include <string>
#include <vector>

namespace kestrava::cli {

class SecretMask {
 public:
  // Secrets shorter than four bytes would mask ordinary text; they are left
  // alone, as is one given before.
  void Add(const std::string& secret);
  // Every occurrence of a secret, in any of its forms, replaced by
  // "********".
  std::string operator()(std::string text) const;

 private:
  std::vector<std::string> secrets_;  // the longest first
};

}  // namespace kestrava::cli
