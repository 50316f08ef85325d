#pragma once

// The keyring as the freedesktop Secret Service serves it (GNOME Keyring,
// KWallet, KeePassXC), reached through libsecret on the session bus.

#include <memory>

#include "keyring/Keyring.h"

namespace kestrava::keyring {

// Connects on the first call, never before. No call unlocks a collection
// (that would ask for a password): a locked one is a failure of its own.
// The items carry the schema named by the application id and the
// attributes "host" and "client-id".
std::unique_ptr<TKeyring> NewSecretServiceKeyring();

}  // namespace kestrava::keyring
