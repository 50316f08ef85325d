#pragma once

// The client secret kept in the desktop's keyring, behind an interface that
// knows nothing of the library that reaches it: the programs' other layers
// never see GLib. An implementation never shows a prompt, so that an
// unattended run either gets its secret or fails at once.

#include <string>

#include "base/Exception.h"

namespace kestrava::keyring {

// Which secret: the service host as requested (the "api.test." prefix
// included) and the client id.
struct TSecretKey {
  std::string Host;
  std::string ClientId;
};

// Why the keyring could not give what was asked.
enum class TKeyringFailure {
  NoService,  // no Secret Service on the session bus
  Locked,     // the secret's collection is locked; unlocking it needs a prompt
  NotStored,  // nothing is stored under the key
  Failed,     // the service refused or failed otherwise
};

// Its message is the reason as the service or the bus gave it (one line).
class EKeyringError : public Exception {
 public:
  EKeyringError(TKeyringFailure failure, std::string reason)
      : Exception(std::move(reason)), failure_(failure) {}
  TKeyringFailure Failure() const noexcept { return failure_; }

 private:
  TKeyringFailure failure_;
};

// What is stored under a key: nothing, a secret that can be read, or one in
// a locked collection.
enum class TStoredSecret { None, Unlocked, Locked };

// Each call throws EKeyringError when it cannot do what it says.
class TKeyring {
 public:
  virtual ~TKeyring() = default;
  // The secret stored under `key`.
  virtual std::string Lookup(const TSecretKey& key) = 0;
  // Stores `secret` under `key` in the default collection, replacing what
  // was stored there; `label` is what a keyring manager shows.
  virtual void Store(const TSecretKey& key, const std::string& secret,
                     const std::string& label) = 0;
  // Removes what is stored under `key`; false when nothing was.
  virtual bool Clear(const TSecretKey& key) = 0;
  virtual TStoredSecret State(const TSecretKey& key) = 0;
};

}  // namespace kestrava::keyring
