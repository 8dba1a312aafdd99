#pragma once
// Watches whether a host can be reached and reports reachability flags, from
// the desktop's network monitor: a check runs when watching starts and again
// whenever the monitor says the network changed. A check that succeeds gives
// the reachable bit; a network behind a captive portal adds connection- and
// intervention-required; a metered network adds the mobile-network bit.
//
// Lives on the main thread: create, schedule and destroy it there; reports
// arrive there, on later turns of the main loop, never after destruction.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

enum class KMNetworkConnectivity { Local, Limited, Portal, Full };

class KMReachability {
 public:
  using Callback = std::function<void(unsigned flags)>;

  // Nothing for an empty host name.
  static std::unique_ptr<KMReachability> reachabilityWithHostNamePort(std::string hostName,
                                                                      std::uint16_t port);
  ~KMReachability();
  KMReachability(const KMReachability&) = delete;
  KMReachability& operator=(const KMReachability&) = delete;

  // Starts watching; false when the platform has no network monitor.
  bool scheduleWithCallback(Callback callback);
  const std::string& hostName() const { return m_hostName; }

  // The flags one check gives.
  static unsigned flagsForCheck(bool canReach, KMNetworkConnectivity connectivity, bool metered);

  struct Impl;

 private:
  KMReachability(std::string hostName, std::uint16_t port);
  std::string m_hostName;
  std::unique_ptr<Impl> m_impl;
};
