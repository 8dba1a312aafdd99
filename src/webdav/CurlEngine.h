#pragma once
// The process's one libcurl multi handle, on the main thread: libcurl says
// which sockets to watch and when to call back; the main loop watches them.
// Easy handles are taken untyped so libcurl's header stays in the adapters.

namespace kdisk::webdav {

class CurlEngine {
 public:
  // The owner of one easy handle the engine drives.
  class Transfer {
   public:
    virtual ~Transfer() = default;
    // libcurl is done with the handle: `result` is its CURLcode.
    virtual void curlTransferDidComplete(int result) = 0;
    virtual bool hasPendingEvents() const = 0;
    // Hands the queued events to the client; may remove any transfer.
    virtual void deliverPendingEvents() = 0;
  };

  static CurlEngine& shared();

  bool add(void* easy, Transfer* transfer);
  // Never from inside a libcurl callback.
  void remove(void* easy);
  bool isLive(const Transfer* transfer) const;

  CurlEngine(const CurlEngine&) = delete;
  CurlEngine& operator=(const CurlEngine&) = delete;

  struct State;

 private:
  CurlEngine();
  State* m_state;
};

}  // namespace kdisk::webdav
