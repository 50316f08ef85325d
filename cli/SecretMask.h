#pragma once

// A text that describes a failure (an error text, a retry line, a usage
// message) never carries the secret, even when a service echoes the request
// back in an error body: neither as written nor as the token request body
// carries it (JSON-escaped, e.g. "/" as "\/"). A result is data and is
// never masked.

#include <string>
#include <vector>

namespace kestrava::cli {

class SecretMask {
 public:
  // Secrets shorter than four bytes would mask ordinary text; they are left
  // alone.
  void Add(const std::string& secret);
  // Every occurrence of a secret replaced by "********".
  std::string operator()(std::string text) const;

 private:
  std::vector<std::string> forms_;  // longer escaped forms before their plain ones
};

}  // namespace kestrava::cli
