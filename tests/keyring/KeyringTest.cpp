// The keyring on a real Secret Service: gnome-keyring-daemon on a private
// session bus, or a bus without one, or no bus (tests/support/
// with-secret-service starts each; ctest runs every suite under its own).

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "keyring/Keyring.h"
#include "keyring/SecretServiceKeyring.h"
#include "tests/support/SecretService.h"

namespace kestrava::testing {
namespace {

using keyring::EKeyringError;
using keyring::TKeyringFailure;
using keyring::TSecretKey;
using keyring::TStoredSecret;

// The failure that `call` ends in; none when it ends well.
template <class Call>
std::optional<TKeyringFailure> FailureOf(Call call) {
  try {
    call();
  } catch (const EKeyringError& error) {
    EXPECT_EQ(error.Message().find('\n'), std::string::npos);
    return error.Failure();
  }
  return std::nullopt;
}

class KeyringTest : public ::testing::Test {
 protected:
  explicit KeyringTest(const char* mode) : mode_(mode) {}
  void SetUp() override {
    if (!UnderSecretService(mode_))
      GTEST_FAIL() << "run through tests/support/with-secret-service " << mode_;
  }
  std::unique_ptr<keyring::TKeyring> keyring = keyring::NewSecretServiceKeyring();

 private:
  const char* mode_;
};

class KeyringUnlocked : public KeyringTest {
 protected:
  KeyringUnlocked() : KeyringTest("unlocked") {}
};

TEST_F(KeyringUnlocked, StoresLooksUpReplacesAndClears) {
  const TSecretKey key{"kestrava.example", "K27315TQB"};
  EXPECT_EQ(keyring->State(key), TStoredSecret::None);
  EXPECT_EQ(FailureOf([&] { keyring->Lookup(key); }), TKeyringFailure::NotStored);
  EXPECT_FALSE(keyring->Clear(key));

  keyring->Store(key, "first secret", "a label");
  EXPECT_EQ(keyring->State(key), TStoredSecret::Unlocked);
  EXPECT_EQ(keyring->Lookup(key), "first secret");
  // Storing again replaces: one item, the new secret.
  keyring->Store(key, "second secret", "a label");
  EXPECT_EQ(keyring->Lookup(key), "second secret");
  EXPECT_TRUE(keyring->Clear(key));
  EXPECT_EQ(keyring->State(key), TStoredSecret::None);
  EXPECT_EQ(FailureOf([&] { keyring->Lookup(key); }), TKeyringFailure::NotStored);
  EXPECT_FALSE(keyring->Clear(key));
}

TEST_F(KeyringUnlocked, EachSourceHasASecretOfItsOwn) {
  // Sources that differ in one attribute, or in a prefix of one.
  const std::vector<TSecretKey> keys = {
      {"kestrava.example", "K1"},
      {"api.test.kestrava.example", "K1"},
      {"kestrava.example", "K10"},
      {"kestrava.example:8443", "K1"},
      {"other.example", "K1"},
      {"kestrava.example", ""},
      {"kestrava.example", "K1 with ü*?"},
  };
  for (std::size_t i = 0; i < keys.size(); ++i)
    keyring->Store(keys[i], "secret " + std::to_string(i), "label");
  for (std::size_t i = 0; i < keys.size(); ++i) {
    SCOPED_TRACE(keys[i].Host + " " + keys[i].ClientId);
    EXPECT_EQ(keyring->Lookup(keys[i]), "secret " + std::to_string(i));
  }
  EXPECT_TRUE(keyring->Clear(keys[0]));
  EXPECT_EQ(keyring->State(keys[0]), TStoredSecret::None);
  for (std::size_t i = 1; i < keys.size(); ++i) EXPECT_TRUE(keyring->Clear(keys[i]));
}

TEST_F(KeyringUnlocked, SecretsComeBackByteForByte) {
  const TSecretKey key{"kestrava.example", "bytes"};
  const std::string secrets[] = {
      "9a1c5d2e-8b3f-4c6a-9d1e-7f2b0c4a8e5d",
      " blanks around ",
      "quotes \" ' \\ and ; # = [ ]",
      "\xC8\x99i \xE2\x82\xAC \xF0\x9F\x94\x91",  // ș, €, a key
      std::string(4096, 'k'),
  };
  for (const std::string& secret : secrets) {
    keyring->Store(key, secret, "label");
    EXPECT_EQ(keyring->Lookup(key), secret);
  }
  keyring->Clear(key);
}

class KeyringLocked : public KeyringTest {
 protected:
  KeyringLocked() : KeyringTest("unlocked") {}
};

TEST_F(KeyringLocked, ALockedKeyringFailsAtOnceAndNeverPrompts) {
  const TSecretKey stored{"kestrava.example", "stored"}, never{"kestrava.example", "never"};
  keyring->Store(stored, "the secret", "label");
  ASSERT_TRUE(LockLoginKeyring());
  // A fresh connection, as the next run would make.
  keyring = keyring::NewSecretServiceKeyring();
  EXPECT_EQ(keyring->State(stored), TStoredSecret::Locked);
  EXPECT_EQ(FailureOf([&] { keyring->Lookup(stored); }), TKeyringFailure::Locked);
  EXPECT_EQ(FailureOf([&] { keyring->Clear(stored); }), TKeyringFailure::Locked);
  EXPECT_EQ(FailureOf([&] { keyring->Store(stored, "new", "label"); }), TKeyringFailure::Locked);
  // What a locked collection holds cannot be told: never "not stored".
  EXPECT_EQ(FailureOf([&] { keyring->Lookup(never); }), TKeyringFailure::Locked);
  EXPECT_EQ(FailureOf([&] { keyring->State(never); }), TKeyringFailure::Locked);
  EXPECT_EQ(FailureOf([&] { keyring->Clear(never); }), TKeyringFailure::Locked);
}

// Every call, on a keyring that cannot be reached.
void ExpectNoServiceForEveryCall(keyring::TKeyring& keyring) {
  const TSecretKey key{"kestrava.example", "K1"};
  EXPECT_EQ(FailureOf([&] { keyring.Lookup(key); }), TKeyringFailure::NoService);
  EXPECT_EQ(FailureOf([&] { keyring.State(key); }), TKeyringFailure::NoService);
  EXPECT_EQ(FailureOf([&] { keyring.Clear(key); }), TKeyringFailure::NoService);
  EXPECT_EQ(FailureOf([&] { keyring.Store(key, "s", "label"); }), TKeyringFailure::NoService);
}

class KeyringNoService : public KeyringTest {
 protected:
  KeyringNoService() : KeyringTest("no-service") {}
};

TEST_F(KeyringNoService, ABusWithoutTheServiceIsNoService) {
  ExpectNoServiceForEveryCall(*keyring);
}

class KeyringNoBus : public KeyringTest {
 protected:
  KeyringNoBus() : KeyringTest("no-bus") {}
};

TEST_F(KeyringNoBus, NoSessionBusIsNoService) {
  ExpectNoServiceForEveryCall(*keyring);
  try {
    keyring->Lookup({"kestrava.example", "K1"});
  } catch (const EKeyringError& error) {
    EXPECT_EQ(error.Message(),
              "no session bus: DBUS_SESSION_BUS_ADDRESS is not set and there is no "
              "$XDG_RUNTIME_DIR/bus");
  }
}

}  // namespace
}  // namespace kestrava::testing
