#pragma once
// Usage analytics: screens report named events ("kKMMV…"), which are kept in
// memory and logged at verbose level. Nothing leaves the machine.
// Thread-safe; one process-wide instance that is never destroyed.

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Value.h"

namespace kdisk {

inline constexpr const char* kKMMVStartUp = "kKMMVStartUp";
inline constexpr const char* kKMMVDiskSearch = "kKMMVDiskSearch";
inline constexpr const char* kKMMVDiskAdd = "kKMMVDiskAdd";
inline constexpr const char* kKMMVDiskDelete = "kKMMVDiskDelete";
inline constexpr const char* kKMMVDiskShare = "kKMMVDiskShare";
inline constexpr const char* kKMMVDiskSettings = "kKMMVDiskSettings";
inline constexpr const char* kKMMVDiskPullToSync = "kKMMVDiskPullToSync";
inline constexpr const char* kKMMVDiskItemSelected = "kKMMVDiskItemSelected";
inline constexpr const char* kKMMVDiskItemUnselected = "kKMMVDiskItemUnselected";
inline constexpr const char* kKMMVDiskUploadingFileSelected = "kKMMVDiskUploadingFileSelected";
inline constexpr const char* kKMMVDiskUploadingFileShare = "kKMMVDiskUploadingFileShare";
inline constexpr const char* kKMMVDiskUploadingFileTapped = "kKMMVDiskUploadingFileTapped";
inline constexpr const char* kKMMVLoginSignup = "kKMMVLoginSignup";
inline constexpr const char* kKMMVLoginRestore = "kKMMVLoginRestore";
inline constexpr const char* kKMMVLoginDoLogin = "kKMMVLoginDoLogin";
inline constexpr const char* kKMMVAboutOpenKalumoApps = "kKMMVAboutOpenKalumoApps";

class KMAnalytics {
 public:
  struct Event {
    std::string name;
    Dictionary parameters;
  };

  static KMAnalytics& sharedInstance();

  void logEvent(std::string_view name, Dictionary parameters = {});
  // Set once the start-up answer arrives; events before it are still kept.
  void start();
  bool isStarted() const;

  std::vector<Event> recordedEvents() const;
  void clearRecordedEventsForTesting();

 private:
  KMAnalytics() = default;
  mutable std::mutex m_mutex;
  std::vector<Event> m_events;
  bool m_started = false;
};

}  // namespace kdisk
