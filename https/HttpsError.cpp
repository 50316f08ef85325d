#include "https/HttpsError.h"

#include <openssl/err.h>

namespace kestrava::https {

std::string OpenSslFailure(const std::string& what) {
  std::string text = what;
  bool first = true;
  while (unsigned long code = ERR_get_error()) {
    char buffer[256];
    ERR_error_string_n(code, buffer, sizeof buffer);
    text += first ? ": " : "; ";
    text += buffer;
    first = false;
  }
  return text;
}

}  // namespace kestrava::https
