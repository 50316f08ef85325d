#include "keyring/SecretServiceKeyring.h"

#include <libsecret/secret.h>
#include <sys/stat.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace kestrava::keyring {
namespace {

struct ObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
template <class T>
using Owned = std::unique_ptr<T, ObjectUnref>;

struct ErrorFree {
  void operator()(GError* error) const { g_error_free(error); }
};
using OwnedError = std::unique_ptr<GError, ErrorFree>;

struct TableUnref {
  void operator()(GHashTable* table) const { g_hash_table_unref(table); }
};

struct ValueUnref {
  void operator()(SecretValue* value) const { secret_value_unref(value); }
};

// The items a search found, each owned.
class Items {
 public:
  explicit Items(GList* list) : list_(list) {}
  ~Items() { g_list_free_full(list_, g_object_unref); }
  Items(const Items&) = delete;
  Items& operator=(const Items&) = delete;
  std::vector<SecretItem*> All() const {
    std::vector<SecretItem*> items;
    for (GList* at = list_; at != nullptr; at = at->next) items.push_back(SECRET_ITEM(at->data));
    return items;
  }

 private:
  GList* list_;
};

const SecretSchema& Schema() {
  static const SecretSchema schema = [] {
    SecretSchema made{};
    made.name = KESTRAVA_APPLICATION_ID;
    made.flags = SECRET_SCHEMA_NONE;
    made.attributes[0] = {"host", SECRET_SCHEMA_ATTRIBUTE_STRING};
    made.attributes[1] = {"client-id", SECRET_SCHEMA_ATTRIBUTE_STRING};
    return made;
  }();
  return schema;
}

std::unique_ptr<GHashTable, TableUnref> Attributes(const TSecretKey& key) {
  return std::unique_ptr<GHashTable, TableUnref>(secret_attributes_build(
      &Schema(), "host", key.Host.c_str(), "client-id", key.ClientId.c_str(), nullptr));
}

// The error's text without the D-Bus name of a remote error, on one line.
std::string Reason(GError* error) {
  if (error == nullptr) return "no reason given";
  g_dbus_error_strip_remote_error(error);
  std::string text = error->message != nullptr ? error->message : "";
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

bool ServiceIsAway(const GError* error) {
  return g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN) ||
         g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER) ||
         g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NO_REPLY) ||
         g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_DISCONNECTED) ||
         g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CLOSED);
}

[[noreturn]] void Throw(GError* raw) {
  const OwnedError error(raw);
  TKeyringFailure failure = TKeyringFailure::Failed;
  if (ServiceIsAway(raw)) failure = TKeyringFailure::NoService;
  if (g_error_matches(raw, SECRET_ERROR, SECRET_ERROR_IS_LOCKED)) failure = TKeyringFailure::Locked;
  throw EKeyringError(failure, Reason(raw));
}

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// GLib would start a bus of its own ("autolaunch") when it finds no address:
// an unattended run must not leave one behind, so no address is no service.
void RequireSessionBus() {
  if (!Environment("DBUS_SESSION_BUS_ADDRESS").empty()) return;
  const std::string runtime = Environment("XDG_RUNTIME_DIR");
  struct stat status {};
  if (!runtime.empty() && stat((runtime + "/bus").c_str(), &status) == 0 &&
      S_ISSOCK(status.st_mode)) {
    return;
  }
  throw EKeyringError(TKeyringFailure::NoService,
                      "no session bus: DBUS_SESSION_BUS_ADDRESS is not set and there is no "
                      "$XDG_RUNTIME_DIR/bus");
}

class SecretServiceKeyring final : public TKeyring {
 public:
  std::string Lookup(const TSecretKey& key) override {
    const Items items = Search(key);
    bool locked = false;
    for (SecretItem* item : items.All()) {
      if (secret_item_get_locked(item)) {
        locked = true;
        continue;
      }
      GError* error = nullptr;
      if (!secret_item_load_secret_sync(item, nullptr, &error)) Throw(error);
      const std::unique_ptr<SecretValue, ValueUnref> value(secret_item_get_secret(item));
      if (value == nullptr) continue;
      gsize length = 0;
      const gchar* bytes = secret_value_get(value.get(), &length);
      return std::string(bytes, length);
    }
    if (locked) throw EKeyringError(TKeyringFailure::Locked, "the collection is locked");
    RequireDefaultUnlocked();
    throw EKeyringError(TKeyringFailure::NotStored, "nothing is stored under this host and id");
  }

  void Store(const TSecretKey& key, const std::string& secret, const std::string& label) override {
    GError* error = nullptr;
    const Owned<SecretCollection> collection(secret_collection_for_alias_sync(
        &Service(), SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, nullptr, &error));
    if (error != nullptr) Throw(error);
    if (collection == nullptr) {
      throw EKeyringError(TKeyringFailure::Failed, "the keyring has no default collection");
    }
    if (secret_collection_get_locked(collection.get())) {
      throw EKeyringError(TKeyringFailure::Locked, "the default collection is locked");
    }
    const std::unique_ptr<SecretValue, ValueUnref> value(
        secret_value_new(secret.data(), static_cast<gssize>(secret.size()), "text/plain"));
    const Owned<SecretItem> item(
        secret_item_create_sync(collection.get(), &Schema(), Attributes(key).get(), label.c_str(),
                                value.get(), SECRET_ITEM_CREATE_REPLACE, nullptr, &error));
    if (item == nullptr) Throw(error);
  }

  bool Clear(const TSecretKey& key) override {
    const Items items = Search(key);
    const std::vector<SecretItem*> all = items.All();
    for (SecretItem* item : all) {
      if (secret_item_get_locked(item)) {
        throw EKeyringError(TKeyringFailure::Locked, "the collection is locked");
      }
    }
    if (all.empty()) RequireDefaultUnlocked();
    for (SecretItem* item : all) {
      GError* error = nullptr;
      if (!secret_item_delete_sync(item, nullptr, &error)) Throw(error);
    }
    return !all.empty();
  }

  TStoredSecret State(const TSecretKey& key) override {
    const Items items = Search(key);
    const std::vector<SecretItem*> all = items.All();
    if (all.empty()) {
      RequireDefaultUnlocked();
      return TStoredSecret::None;
    }
    for (SecretItem* item : all) {
      if (!secret_item_get_locked(item)) return TStoredSecret::Unlocked;
    }
    return TStoredSecret::Locked;
  }

 private:
  SecretService& Service() {
    if (service_ == nullptr) {
      RequireSessionBus();
      GError* error = nullptr;
      service_.reset(secret_service_open_sync(SECRET_TYPE_SERVICE, nullptr,
                                              SECRET_SERVICE_OPEN_SESSION, nullptr, &error));
      if (service_ == nullptr) {
        const OwnedError owned(error);
        throw EKeyringError(TKeyringFailure::NoService, Reason(error));
      }
    }
    return *service_;
  }

  // Every item under the key, locked ones included: none is unlocked.
  Items Search(const TSecretKey& key) {
    GError* error = nullptr;
    GList* found = secret_service_search_sync(&Service(), &Schema(), Attributes(key).get(),
                                              SECRET_SEARCH_ALL, nullptr, &error);
    if (error != nullptr) Throw(error);
    return Items(found);
  }

  // A locked collection may hide what it holds: a search that finds
  // nothing while the default collection is locked proves nothing.
  void RequireDefaultUnlocked() {
    GError* error = nullptr;
    const Owned<SecretCollection> collection(secret_collection_for_alias_sync(
        &Service(), SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, nullptr, &error));
    if (error != nullptr) Throw(error);
    if (collection != nullptr && secret_collection_get_locked(collection.get()))
      throw EKeyringError(TKeyringFailure::Locked, "the default collection is locked");
  }

  Owned<SecretService> service_;
};

}  // namespace

std::unique_ptr<TKeyring> NewSecretServiceKeyring() {
  return std::make_unique<SecretServiceKeyring>();
}

}  // namespace kestrava::keyring
