#include "manager/KMReachability.h"

#include <gio/gio.h>

#include "manager/KMWebDAVFileManager.h"
#include "platform/GLibOwners.h"

struct KMReachability::Impl {
  KMReachability* owner = nullptr;
  std::uint16_t port = 0;
  Callback callback;
  GNetworkMonitor* monitor = nullptr;  // the process-wide default; not ours to free
  gulong changedHandler = 0;
  kdisk::glib::Object<GCancellable> pending;

  static void onNetworkChanged(GNetworkMonitor*, gboolean, gpointer data) {
    static_cast<Impl*>(data)->check();
  }

  void check() {
    // A newer network state makes the running check stale.
    if (pending) g_cancellable_cancel(pending.get());
    pending.reset(g_cancellable_new());
    kdisk::glib::Object<GSocketConnectable> address(g_network_address_new(owner->m_hostName.c_str(), port));
    // The cancellable rides along so a finished check can tell it was cancelled
    // without touching this object, which may be gone by then.
    g_network_monitor_can_reach_async(
        monitor, address.get(), pending.get(), &Impl::onChecked,
        new std::pair<Impl*, GCancellable*>(this, G_CANCELLABLE(g_object_ref(pending.get()))));
  }

  static void onChecked(GObject* source, GAsyncResult* result, gpointer data) {
    auto* context = static_cast<std::pair<Impl*, GCancellable*>*>(data);
    Impl* self = context->first;
    kdisk::glib::Object<GCancellable> cancellable(context->second);
    delete context;
    GError* error = nullptr;
    const gboolean reached =
        g_network_monitor_can_reach_finish(G_NETWORK_MONITOR(source), result, &error);
    kdisk::glib::Error ignored(error);
    if (g_cancellable_is_cancelled(cancellable.get())) return;
    self->pending.reset();
    KMNetworkConnectivity connectivity = KMNetworkConnectivity::Full;
    switch (g_network_monitor_get_connectivity(self->monitor)) {
      case G_NETWORK_CONNECTIVITY_LOCAL: connectivity = KMNetworkConnectivity::Local; break;
      case G_NETWORK_CONNECTIVITY_LIMITED: connectivity = KMNetworkConnectivity::Limited; break;
      case G_NETWORK_CONNECTIVITY_PORTAL: connectivity = KMNetworkConnectivity::Portal; break;
      case G_NETWORK_CONNECTIVITY_FULL: connectivity = KMNetworkConnectivity::Full; break;
    }
    const unsigned flags = flagsForCheck(reached, connectivity,
                                         g_network_monitor_get_network_metered(self->monitor));
    if (self->callback) self->callback(flags);
  }
};

KMReachability::KMReachability(std::string hostName, std::uint16_t port)
    : m_hostName(std::move(hostName)), m_impl(std::make_unique<Impl>()) {
  m_impl->owner = this;
  m_impl->port = port;
}

std::unique_ptr<KMReachability> KMReachability::reachabilityWithHostNamePort(std::string hostName,
                                                                             std::uint16_t port) {
  if (hostName.empty()) return nullptr;
  return std::unique_ptr<KMReachability>(new KMReachability(std::move(hostName), port));
}

KMReachability::~KMReachability() {
  if (m_impl->changedHandler) g_signal_handler_disconnect(m_impl->monitor, m_impl->changedHandler);
  if (m_impl->pending) g_cancellable_cancel(m_impl->pending.get());
}

bool KMReachability::scheduleWithCallback(Callback callback) {
  if (m_impl->monitor) return true;
  m_impl->monitor = g_network_monitor_get_default();
  if (!m_impl->monitor) return false;
  m_impl->callback = std::move(callback);
  m_impl->changedHandler = g_signal_connect(m_impl->monitor, "network-changed",
                                            G_CALLBACK(&Impl::onNetworkChanged), m_impl.get());
  m_impl->check();
  return true;
}

unsigned KMReachability::flagsForCheck(bool canReach, KMNetworkConnectivity connectivity,
                                       bool metered) {
  if (!canReach) return 0;
  unsigned flags = kSCNetworkReachabilityFlagsReachable;
  if (connectivity == KMNetworkConnectivity::Portal)
    flags |= kSCNetworkReachabilityFlagsConnectionRequired |
             kSCNetworkReachabilityFlagsInterventionRequired;
  if (metered) flags |= kSCNetworkReachabilityFlagsIsWWAN;
  return flags;
}
