#pragma once

// The Secret Service that tests/support/with-secret-service started beside
// a test program: which kind it is, and locking its keyring as a session
// does when it locks the screen.

#include <cstdlib>
#include <string>
#include <string_view>

namespace kestrava::testing {

// True when the program runs under with-secret-service in `mode`
// ("unlocked", "no-service", "no-bus"). A test of the keyring checks it
// first, so that it never stores, clears or locks anything in a user's own
// keyring.
inline bool UnderSecretService(std::string_view mode) {
  const char* given = std::getenv("KESTRAVA_TEST_SECRET_SERVICE");
  return given != nullptr && mode == given;
}

// Locks the login collection through the service's own Lock method (which
// needs no prompt; unlocking it again would). True when done.
inline bool LockLoginKeyring() {
  return std::system(
             "dbus-send --session --print-reply --dest=org.freedesktop.secrets "
             "/org/freedesktop/secrets org.freedesktop.Secret.Service.Lock "
             "array:objpath:/org/freedesktop/secrets/collection/login >/dev/null") == 0;
}

}  // namespace kestrava::testing
