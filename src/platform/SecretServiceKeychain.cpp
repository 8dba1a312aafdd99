// The Secret Service side of Keychain, and the choice between it and the file.

#include <libsecret/secret.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/GLibOwners.h"
#include "platform/Keychain.h"
#include "platform/Log.h"
#include "platform/Paths.h"

namespace kdisk {
namespace {

std::shared_ptr<spdlog::logger> log() { return logger("Keychain", LogLevel::Warning); }

const SecretSchema* schema() {
  static const SecretSchema definition = {"ru.kalumo.disk.GenericPassword",
                                          SECRET_SCHEMA_NONE,
                                          {{"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                           {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                           {"access-group", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                           {"description", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                           {"class", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                           {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                                          0,
                                          nullptr,
                                          nullptr,
                                          nullptr,
                                          nullptr,
                                          nullptr,
                                          nullptr,
                                          nullptr};
  return &definition;
}

struct HashTableDeleter {
  void operator()(GHashTable* table) const { g_hash_table_unref(table); }
};
using Attributes = std::unique_ptr<GHashTable, HashTableDeleter>;
struct SecretValueDeleter {
  void operator()(SecretValue* value) const { secret_value_unref(value); }
};
using Secret = std::unique_ptr<SecretValue, SecretValueDeleter>;

Attributes makeAttributes() {
  return Attributes(g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free));
}
void put(GHashTable* table, const char* key, std::string_view value) {
  g_hash_table_insert(table, g_strdup(key), g_strndup(value.data(), value.size()));
}
Attributes queryAttributes(std::string_view service, std::string_view accessGroup) {
  Attributes attributes = makeAttributes();
  put(attributes.get(), "class", "genp");
  put(attributes.get(), "service", service);
  put(attributes.get(), "access-group", accessGroup);
  return attributes;
}

KMError errorFrom(GError* error, std::string_view what) {
  const glib::Error owned(error);
  return KMError(kKMKeychainErrorDomain, error ? error->code : -1,
                 std::string(what) + ": " + (error ? error->message : "unknown failure"));
}

std::string attribute(GHashTable* attributes, const char* key) {
  const auto* value = static_cast<const char*>(g_hash_table_lookup(attributes, key));
  return value ? value : "";
}

class SecretServiceKeychain final : public Keychain {
 public:
  Backend backend() const override { return Backend::SecretService; }

  Expected<std::optional<KeychainItem>> findGenericPassword(std::string_view service,
                                                            std::string_view accessGroup) override {
    std::lock_guard lock(m_mutex);
    Attributes query = queryAttributes(service, accessGroup);
    GError* error = nullptr;
    glib::ObjectList found(secret_password_searchv_sync(
        schema(), query.get(),
        static_cast<SecretSearchFlags>(SECRET_SEARCH_UNLOCK | SECRET_SEARCH_LOAD_SECRETS), nullptr,
        &error));
    if (error) return errorFrom(error, "Secret Service search failed");
    std::optional<KeychainItem> item;
    if (found) {
      auto* retrievable = static_cast<SecretRetrievable*>(found->data);
      KeychainItem result;
      Attributes attributes(secret_retrievable_get_attributes(retrievable));
      result.service = attribute(attributes.get(), "service");
      result.account = attribute(attributes.get(), "account");
      result.accessGroup = attribute(attributes.get(), "access-group");
      result.description = attribute(attributes.get(), "description");
      glib::Text label(secret_retrievable_get_label(retrievable));
      result.label = label ? label.get() : "";
      Secret secret(secret_retrievable_retrieve_secret_sync(retrievable, nullptr, &error));
      if (secret) {
        gsize length = 0;
        const gchar* bytes = secret_value_get(secret.get(), &length);
        result.secret.assign(bytes, bytes + length);
      }
      if (error) return errorFrom(error, "Secret Service could not hand out the secret");
      item = std::move(result);
    }
    return item;
  }

  Status storeGenericPassword(const KeychainItem& item) override {
    std::lock_guard lock(m_mutex);
    Attributes attributes = queryAttributes(item.service, item.accessGroup);
    put(attributes.get(), "account", item.account);
    put(attributes.get(), "description", item.description);
    Secret value(secret_value_new(reinterpret_cast<const gchar*>(item.secret.data()),
                                  static_cast<gssize>(item.secret.size()), "application/octet-stream"));
    GError* error = nullptr;
    // The default collection; an item with the same attributes is replaced.
    const gboolean stored = secret_password_storev_binary_sync(
        schema(), attributes.get(), SECRET_COLLECTION_DEFAULT,
        item.label.empty() ? item.service.c_str() : item.label.c_str(), value.get(), nullptr, &error);
    if (!stored) return errorFrom(error, "Secret Service could not store the item");
    return success();
  }

  Status deleteGenericPassword(std::string_view service, std::string_view accessGroup) override {
    std::lock_guard lock(m_mutex);
    Attributes query = queryAttributes(service, accessGroup);
    GError* error = nullptr;
    secret_password_clearv_sync(schema(), query.get(), nullptr, &error);
    if (error) return errorFrom(error, "Secret Service could not delete the item");
    return success();
  }

 private:
  std::mutex m_mutex;
};

bool sessionBusMayExist() {
  if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address && *address)
    return true;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  return runtime && *runtime && paths::fileExists(std::string(runtime) + "/bus");
}

// Whether a Secret Service opens a session within `seconds`. The probe runs on
// its own thread so a bus that never answers costs only the wait; on time-out
// it is cancelled and left to finish on its own.
bool secretServiceAnswers(double seconds) {
  if (!sessionBusMayExist()) return false;
  struct Probe {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    bool answered = false;
    glib::Object<GCancellable> cancellable{g_cancellable_new()};
  };
  auto probe = std::make_shared<Probe>();
  std::thread([probe] {
    GError* error = nullptr;
    glib::Object<SecretService> service(
        secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, probe->cancellable.get(), &error));
    const bool answered = service != nullptr;
    glib::Error ignored(error);
    std::lock_guard lock(probe->mutex);
    probe->done = true;
    probe->answered = answered;
    probe->finished.notify_all();
  }).detach();
  std::unique_lock lock(probe->mutex);
  if (!probe->finished.wait_for(lock, std::chrono::duration<double>(seconds),
                                [&] { return probe->done; })) {
    g_cancellable_cancel(probe->cancellable.get());
    return false;
  }
  return probe->answered;
}

}  // namespace

std::unique_ptr<Keychain> Keychain::createSecretServiceKeychain(double probeSeconds) {
  if (!secretServiceAnswers(probeSeconds)) return nullptr;
  return std::make_unique<SecretServiceKeychain>();
}

Keychain& Keychain::shared() {
  static Keychain* keychain = [] {
    const char* choice = std::getenv("KDISK_KEYCHAIN");
    const std::string_view wanted = choice ? choice : "";
    std::unique_ptr<Keychain> chosen;
    if (wanted == "secret-service") {
      chosen = std::make_unique<SecretServiceKeychain>();
    } else if (wanted != "file") {
      chosen = createSecretServiceKeychain(2.0);
      if (!chosen)
        log()->info("No Secret Service answered; keeping keychain items in {}",
                    keychainFilePath(paths::keychainDirectory()));
    }
    if (!chosen) chosen = createFileKeychain(paths::keychainDirectory());
    return chosen.release();
  }();
  return *keychain;
}

}  // namespace kdisk
