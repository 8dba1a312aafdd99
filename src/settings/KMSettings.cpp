#include "settings/KMSettings.h"

#include <algorithm>
#include <cctype>

#include "platform/GLibOwners.h"
#include "platform/Log.h"
#include "platform/PropertyList.h"
#include "platform/RunLoop.h"

namespace kdisk {
namespace {

std::shared_ptr<spdlog::logger> log() { return logger("KMSettings", LogLevel::Warning); }

std::string newUniqueIdentifier() {
  std::string text(glib::Text(g_uuid_string_random()).get());
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

}  // namespace

// The pending write-out, shared with the run-loop task so the task can outlive
// a test instance without touching it.
struct KMSettings::WriteOut {
  std::mutex mutex;
  TimerId timer = 0;
  int fired = 0;
  std::shared_ptr<UserDefaults> defaults;

  // Main thread only.
  static void reschedule(const std::shared_ptr<WriteOut>& self) {
    std::lock_guard lock(self->mutex);
    if (self->timer != 0) RunLoop::main().cancel(self->timer);
    std::weak_ptr<WriteOut> weak = self;
    self->timer = RunLoop::main().postDelayed(0, [weak] {
      if (auto alive = weak.lock()) alive->fire();
    });
  }

  void fire() {
    {
      std::lock_guard lock(mutex);
      timer = 0;
      ++fired;
    }
    defaults->synchronize();
  }
};

KMSettings& KMSettings::mainSettings() {
  static KMSettings* settings = [] {
    UserDefaults& standard = UserDefaults::standardUserDefaults();
    registerDefaults(standard, Bundle::mainBundle());
    // The standard store is never destroyed, so the settings need not own it.
    return new KMSettings(std::shared_ptr<UserDefaults>(&standard, [](UserDefaults*) {}));
  }();
  return *settings;
}

void KMSettings::registerDefaults(UserDefaults& defaults, const Bundle& bundle) {
  std::optional<std::string> path = bundle.pathForResourceOfType("DefaultPreferences", "plist");
  if (!path) {
    log()->error("Failed to load default preferences from application bundle");
    return;
  }
  Expected<Dictionary> preferences = PropertyList::readDictionaryFile(*path);
  if (!preferences.hasValue()) {
    log()->error("Failed to load default preferences from application bundle ({})",
                 preferences.error().localizedDescription);
    return;
  }
  defaults.registerDefaults(preferences.value());
  defaults.synchronize();
}

std::unique_ptr<KMSettings> KMSettings::createForTesting(std::shared_ptr<UserDefaults> defaults,
                                                         const Bundle* bundle) {
  if (bundle) registerDefaults(*defaults, *bundle);
  return std::unique_ptr<KMSettings>(new KMSettings(std::move(defaults)));
}

KMSettings::KMSettings(std::shared_ptr<UserDefaults> defaults)
    : m_defaults(std::move(defaults)), m_writeOut(std::make_shared<WriteOut>()) {
  m_writeOut->defaults = m_defaults;
}

KMSettings::~KMSettings() {
  std::lock_guard lock(m_writeOut->mutex);
  if (m_writeOut->timer != 0) RunLoop::main().cancel(m_writeOut->timer);
  m_writeOut->timer = 0;
}

void KMSettings::setValue(const char* key, const char* property, Value value) {
  {
    std::lock_guard lock(m_lock);
    m_defaults->setObjectForKey(std::move(value), key);
    saveSettings();
  }
  // Outside the lock, so an observer may read the settings again.
  didChangeValueForKey(property);
}

std::optional<std::string> KMSettings::login() const {
  std::lock_guard lock(m_lock);
  return m_defaults->stringForKey(kKMSettingsUserLogin);
}
void KMSettings::setLogin(std::optional<std::string> login) {
  setValue(kKMSettingsUserLogin, "login", login ? Value(std::move(*login)) : Value());
}

std::optional<std::string> KMSettings::username() const {
  std::optional<std::string> name = login();
  if (!name) return std::nullopt;
  const auto at = name->find('@');
  return at == std::string::npos ? *name : name->substr(0, at);
}

std::optional<std::string> KMSettings::token() const {
  std::lock_guard lock(m_lock);
  return m_defaults->stringForKey(kKMSettingsUserToken);
}
void KMSettings::setToken(std::optional<std::string> token) {
  setValue(kKMSettingsUserToken, "token", token ? Value(std::move(*token)) : Value());
}

bool KMSettings::wasSuccessfullyAuthorized() const {
  std::lock_guard lock(m_lock);
  return m_defaults->boolForKey(kKMSettingsWasSuccessfullyAuthorized);
}
void KMSettings::setWasSuccessfullyAuthorized(bool authorized) {
  setValue(kKMSettingsWasSuccessfullyAuthorized, "wasSuccessfullyAuthorized", authorized);
}

std::optional<std::string> KMSettings::UUID() const {
  std::lock_guard lock(m_lock);
  return m_defaults->stringForKey(kKMSettingsUUID);
}
void KMSettings::setUUID(std::optional<std::string> uuid) {
  setValue(kKMSettingsUUID, "UUID", uuid ? Value(std::move(*uuid)) : Value());
}

std::uint64_t KMSettings::launchCount() const {
  std::lock_guard lock(m_lock);
  return static_cast<std::uint64_t>(m_defaults->integerForKey(kKMSettingsLaunchCount));
}
void KMSettings::setLaunchCount(std::uint64_t count) {
  setValue(kKMSettingsLaunchCount, "launchCount", Value(static_cast<unsigned long long>(count)));
}

bool KMSettings::hasShowedDiskWizard() const {
  std::lock_guard lock(m_lock);
  return m_defaults->boolForKey(kKMSettingsHasShowedDiskWizard);
}
void KMSettings::setHasShowedDiskWizard(bool showed) {
  setValue(kKMSettingsHasShowedDiskWizard, "hasShowedDiskWizard", showed);
}

std::int64_t KMSettings::maxFileSize() const {
  std::lock_guard lock(m_lock);
  return m_defaults->integerForKey(kKMSettingsMaxFileSize);
}
void KMSettings::setMaxFileSize(std::int64_t bytes) {
  setValue(kKMSettingsMaxFileSize, "maxFileSize", Value(static_cast<long long>(bytes)));
}

std::int64_t KMSettings::quotaAvailableBytes() const {
  std::lock_guard lock(m_lock);
  return m_defaults->integerForKey(kKMSettingsQuotaAvailableBytes);
}
void KMSettings::setQuotaAvailableBytes(std::int64_t bytes) {
  setValue(kKMSettingsQuotaAvailableBytes, "quotaAvailableBytes",
           Value(static_cast<long long>(bytes)));
}

std::int64_t KMSettings::quotaUsedBytes() const {
  std::lock_guard lock(m_lock);
  return m_defaults->integerForKey(kKMSettingsQuotaUsedBytes);
}
void KMSettings::setQuotaUsedBytes(std::int64_t bytes) {
  setValue(kKMSettingsQuotaUsedBytes, "quotaUsedBytes", Value(static_cast<long long>(bytes)));
}

bool KMSettings::logVerbose() const {
  std::lock_guard lock(m_lock);
  return m_defaults->boolForKey(kKMSettingsLogVerbose);
}
void KMSettings::setLogVerbose(bool verbose) {
  setValue(kKMSettingsLogVerbose, "logVerbose", verbose);
}

bool KMSettings::testWebDavServer() const {
  std::lock_guard lock(m_lock);
  return m_defaults->boolForKey(kKMSettingsTestWebDavServer);
}
void KMSettings::setTestWebDavServer(bool test) {
  setValue(kKMSettingsTestWebDavServer, "testWebDavServer", test);
}

std::string KMSettings::UDID() {
  std::lock_guard lock(m_lock);
  std::optional<std::string> stored = m_defaults->stringForKey(kKMSettingsUDID);
  if (!stored || stored->empty()) {
    m_defaults->setStringForKey(newUniqueIdentifier(), kKMSettingsUDID);
    // At once: an identifier lost to a crash before the write-out would change.
    m_defaults->synchronize();
    stored = m_defaults->stringForKey(kKMSettingsUDID);
  }
  return stored.value_or("");
}

void KMSettings::saveSettings() {
  if (RunLoop::isMainThread()) {
    WriteOut::reschedule(m_writeOut);
    return;
  }
  // Timers are armed on the main thread; the hop keeps the coalescing there.
  RunLoop::main().post([writeOut = m_writeOut] { WriteOut::reschedule(writeOut); });
}

void KMSettings::saveSettingsDelayed() { m_defaults->synchronize(); }

int KMSettings::writeOutCountForTesting() const {
  std::lock_guard lock(m_writeOut->mutex);
  return m_writeOut->fired;
}

void KMSettings::clearUserRelatedSettingOnLogout() {
  setToken(std::nullopt);
  setWasSuccessfullyAuthorized(false);
  setMaxFileSize(0);
  setQuotaAvailableBytes(0);
  setQuotaUsedBytes(0);
}

}  // namespace kdisk
