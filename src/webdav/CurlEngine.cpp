#include "webdav/CurlEngine.h"

#include <curl/curl.h>
#include <glib-unix.h>
#include <glib.h>

#include <map>
#include <vector>

#include "platform/RunLoop.h"

namespace kdisk::webdav {

struct CurlEngine::State {
  CURLM* multi = nullptr;
  std::map<curl_socket_t, guint> watches;
  std::map<CURL*, Transfer*> transfers;
  TimerId timer = 0;

  static int onSocket(CURL*, curl_socket_t socket, int what, void* user, void*) {
    auto* engine = static_cast<State*>(user);
    if (auto it = engine->watches.find(socket); it != engine->watches.end()) {
      g_source_remove(it->second);
      engine->watches.erase(it);
    }
    if (what == CURL_POLL_REMOVE) return 0;
    int condition = G_IO_ERR | G_IO_HUP;
    if (what == CURL_POLL_IN || what == CURL_POLL_INOUT) condition |= G_IO_IN;
    if (what == CURL_POLL_OUT || what == CURL_POLL_INOUT) condition |= G_IO_OUT;
    engine->watches[socket] = g_unix_fd_add(socket, static_cast<GIOCondition>(condition), &State::onReady, engine);
    return 0;
  }

  static gboolean onReady(gint fd, GIOCondition condition, gpointer user) {
    auto* engine = static_cast<State*>(user);
    int flags = 0;
    if (condition & G_IO_IN) flags |= CURL_CSELECT_IN;
    if (condition & G_IO_OUT) flags |= CURL_CSELECT_OUT;
    if (condition & (G_IO_ERR | G_IO_HUP)) flags |= CURL_CSELECT_ERR;
    // The watch may be replaced or removed by curl inside this call; GLib keeps
    // this source alive until we return, and a removed one is not called again.
    engine->act(fd, flags);
    return G_SOURCE_CONTINUE;
  }

  static int onTimer(CURLM*, long timeoutMilliseconds, void* user) {
    auto* engine = static_cast<State*>(user);
    if (engine->timer) RunLoop::main().cancel(engine->timer);
    engine->timer = 0;
    if (timeoutMilliseconds < 0) return 0;
    engine->timer = RunLoop::main().postDelayed(
        static_cast<double>(timeoutMilliseconds) / 1000.0,
        [engine] {
          engine->timer = 0;
          engine->act(CURL_SOCKET_TIMEOUT, 0);
        },
        Clock::Wall);
    return 0;
  }

  void act(curl_socket_t socket, int flags) {
    int running = 0;
    curl_multi_socket_action(multi, socket, flags, &running);
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
      if (message->msg != CURLMSG_DONE) continue;
      auto it = transfers.find(message->easy_handle);
      if (it == transfers.end()) continue;
      it->second->curlTransferDidComplete(message->data.result);
    }
    drain();
  }

  // Hands each transfer's events to its client. A client may cancel or destroy
  // any transfer (its own included) or start new ones meanwhile, so the set is
  // re-checked after every event.
  void drain() {
    std::vector<Transfer*> ready;
    for (auto& [easy, transfer] : transfers) {
      if (transfer->hasPendingEvents()) ready.push_back(transfer);
    }
    for (Transfer* transfer : ready) {
      if (!isLive(transfer)) continue;
      transfer->deliverPendingEvents();
    }
  }

  bool isLive(const Transfer* transfer) const {
    for (const auto& [easy, live] : transfers) {
      if (live == transfer) return true;
    }
    return false;
  }
};

CurlEngine& CurlEngine::shared() {
  static CurlEngine* engine = new CurlEngine();  // never destroyed: sources may still fire at exit
  return *engine;
}

CurlEngine::CurlEngine() : m_state(new State()) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  m_state->multi = curl_multi_init();
  curl_multi_setopt(m_state->multi, CURLMOPT_SOCKETFUNCTION, &State::onSocket);
  curl_multi_setopt(m_state->multi, CURLMOPT_SOCKETDATA, m_state);
  curl_multi_setopt(m_state->multi, CURLMOPT_TIMERFUNCTION, &State::onTimer);
  curl_multi_setopt(m_state->multi, CURLMOPT_TIMERDATA, m_state);
}

bool CurlEngine::add(void* easy, Transfer* transfer) {
  if (curl_multi_add_handle(m_state->multi, easy) != CURLM_OK) return false;
  m_state->transfers[easy] = transfer;
  return true;
}

void CurlEngine::remove(void* easy) {
  if (!easy) return;
  m_state->transfers.erase(easy);
  // Never inside a libcurl callback: events reach clients only from drain().
  curl_multi_remove_handle(m_state->multi, easy);
}

bool CurlEngine::isLive(const Transfer* transfer) const { return m_state->isLive(transfer); }

}  // namespace kdisk::webdav
