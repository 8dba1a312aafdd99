#pragma once
// The single store of persistent user and account settings. Every property is
// read from and written to the user defaults on each access; nothing is cached.
// Defaults come from the bundle's "DefaultPreferences.plist".
//
// Any thread may read and write: every getter and setter runs under the
// object's lock. A setter announces its property's change (key-value
// observation, on the setter's thread, after the lock is released) and asks
// for a write-out; write-outs are coalesced onto the next turn of the main run
// loop, so a run of setters in one turn writes the file once.
//
// mainSettings() lives for the whole process; test instances are owned by
// their test.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/Bundle.h"
#include "platform/KeyValueObservable.h"
#include "platform/UserDefaults.h"
#include "settings/InterfaceOrientation.h"

namespace kdisk {

inline constexpr const char* kKMSettingsUserLogin = "kKMSettingsUserLogin";
inline constexpr const char* kKMSettingsUserToken = "kKMSettingsUserToken";
inline constexpr const char* kKMSettingsWasSuccessfullyAuthorized =
    "kKMSettingsWasSuccessfullyAuthorized";
inline constexpr const char* kKMSettingsUUID = "kKMSettingsUUID";
inline constexpr const char* kKMSettingsLaunchCount = "kKMSettingsLaunchCount";
// With an S after Disk: stored installations carry the key in this form.
inline constexpr const char* kKMSettingsHasShowedDiskWizard = "kKMSettingsHasShowedDiskSWizard";
inline constexpr const char* kKMSettingsMaxFileSize = "kKMSettingsMaxFileSize";
inline constexpr const char* kKMSettingsQuotaAvailableBytes = "kKMSettingsQuotaAvailableBytes";
inline constexpr const char* kKMSettingsQuotaUsedBytes = "kKMSettingsQuotaUsedBytes";
inline constexpr const char* kKMSettingsLogVerbose = "kKMSettingsLogVerbose";
inline constexpr const char* kKMSettingsTestWebDavServer = "kKMSettingsTestWebDavServer";
inline constexpr const char* kKMSettingsUDID = "kKMSettingsUDID";

// An opaque colour with 0-255 components; the drawing layer turns it into its
// own colour type.
struct KMSettingsColor {
  std::uint8_t red = 0, green = 0, blue = 0;
  double alpha = 1.0;
  bool operator==(const KMSettingsColor&) const = default;
};

class KMSettings : public KeyValueObservable {
 public:
  static KMSettings& mainSettings();
  // Registers the dictionary of `bundle`'s "DefaultPreferences.plist" as the
  // defaults of `defaults` and synchronises; a missing or damaged resource is
  // logged and the built-in defaults apply.
  static void registerDefaults(UserDefaults& defaults, const Bundle& bundle);
  // A fresh instance over `defaults`, with the defaults of `bundle` registered
  // when one is given.
  static std::unique_ptr<KMSettings> createForTesting(std::shared_ptr<UserDefaults> defaults,
                                                      const Bundle* bundle = nullptr);
  ~KMSettings() override;
  KMSettings(const KMSettings&) = delete;
  KMSettings& operator=(const KMSettings&) = delete;

  std::optional<std::string> login() const;
  void setLogin(std::optional<std::string> login);
  // The login up to its first "@", or the whole login when it has none.
  std::optional<std::string> username() const;
  // Nothing removes the key.
  std::optional<std::string> token() const;
  void setToken(std::optional<std::string> token);
  bool wasSuccessfullyAuthorized() const;
  void setWasSuccessfullyAuthorized(bool authorized);
  std::optional<std::string> UUID() const;
  void setUUID(std::optional<std::string> uuid);
  std::uint64_t launchCount() const;
  void setLaunchCount(std::uint64_t count);
  bool hasShowedDiskWizard() const;
  void setHasShowedDiskWizard(bool showed);
  std::int64_t maxFileSize() const;
  void setMaxFileSize(std::int64_t bytes);
  std::int64_t quotaAvailableBytes() const;
  void setQuotaAvailableBytes(std::int64_t bytes);
  std::int64_t quotaUsedBytes() const;
  void setQuotaUsedBytes(std::int64_t bytes);
  bool logVerbose() const;
  void setLogVerbose(bool verbose);
  bool testWebDavServer() const;
  void setTestWebDavServer(bool test);

  // The installation identifier: made (upper-case 8-4-4-4-12 hexadecimal) and
  // written to disk at once the first time it is asked for, then never changed.
  std::string UDID();

  // Cancels a write-out already scheduled and schedules one for the next turn
  // of the main run loop.
  void saveSettings();
  // The write-out itself.
  void saveSettingsDelayed();
  // How many scheduled write-outs have run.
  int writeOutCountForTesting() const;

  // Sign-out: drops the token, the authorised flag and the account figures;
  // login, identifiers, launch count, wizard and test-server flags stay.
  void clearUserRelatedSettingOnLogout();

  UserDefaults& userDefaults() const { return *m_defaults; }

  static KMSettingsColor defaultTintColor() { return {35, 104, 149}; }
  static KMSettingsColor tintColorGrey() { return {122, 135, 146}; }
  static KMSettingsColor defaultBackgroundColor() { return {228, 232, 234}; }
  // The pattern colour of the background is made from this image.
  static const char* defaultBackgroundTextureImageName() { return "bg"; }
  // Every screen turns only to upright portrait.
  static bool shouldRotateInterfaceToInterfaceOrientation(InterfaceOrientation orientation) {
    return orientation == InterfaceOrientation::Portrait;
  }

 private:
  explicit KMSettings(std::shared_ptr<UserDefaults> defaults);
  void setValue(const char* key, const char* property, Value value);
  struct WriteOut;

  mutable std::mutex m_lock;
  std::shared_ptr<UserDefaults> m_defaults;
  std::shared_ptr<WriteOut> m_writeOut;
};

}  // namespace kdisk
