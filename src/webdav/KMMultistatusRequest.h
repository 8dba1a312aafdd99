#pragma once
// A request whose answer is a multistatus document (207). The body is parsed
// on the shared background queue while it arrives; after the finish callback
// the decoded responses, in document order, go to
// didReceiveMultistatusResponsesBlock on the callback queue. A body that does
// not parse gives an empty list; an empty body gives no call at all.
// Responses without a usable href are dropped.

#include "webdav/KMDiskRequest.h"
#include "webdav/KMMultiStatusResponse.h"
#include "webdav/KMXMLDocument.h"

class KMMultistatusRequest : public KMDiskRequest {
 public:
  using DidReceiveMultistatusResponsesBlock = std::function<void(const KMMultiStatusResponseList& responses)>;
  using KMDiskRequest::KMDiskRequest;

  void setDidReceiveMultistatusResponsesBlock(DidReceiveMultistatusResponsesBlock block) {
    m_didReceiveMultistatusResponsesBlock = std::move(block);
  }
  // Set on the parsing thread just before the callback; read it from there.
  const KMMultiStatusResponseList& multistatusResponses() const { return m_multistatusResponses; }
  const char* className() const override { return "KMMultistatusRequest"; }

  // Decodes a whole multistatus body as this request would.
  KMMultiStatusResponseList multistatusResponsesForBody(std::string_view body) const;
  virtual std::shared_ptr<KMMultiStatusResponse> multistatusResponseForXMLElement(const KMXMLElement& element) const;

 protected:
  void processReceivedData() override;
  void connectionDidReceiveResponse(const HTTPResponse& response) override;
  void connectionDidReceiveData(std::string_view chunk) override;
  void clearMultistatusBlock() { m_didReceiveMultistatusResponsesBlock = nullptr; }
  // Status from a "status" child ("HTTP/1.1 404 Not Found"); `fallback` when
  // absent or with fewer than two space-separated parts.
  static unsigned statusCodeOfElement(const KMXMLElement& element, unsigned fallback);
  // The same for the "status" element itself (null: `fallback`).
  static unsigned statusCodeOfStatus(const KMXMLElement& status, unsigned fallback);
  // A response of the href and status elements of one response element;
  // nullptr when the href is missing or unusable.
  std::shared_ptr<KMMultiStatusResponse> responseWithHrefAndStatus(const KMXMLElement& href,
                                                                   const KMXMLElement& status) const;

 private:
  class StreamingDecoder;
  // Adds the decoded response of each `response` child of the root.
  void collectResponse(const KMXMLElement& child, KMMultiStatusResponseList& responses) const;

  DidReceiveMultistatusResponsesBlock m_didReceiveMultistatusResponsesBlock;
  KMMultiStatusResponseList m_multistatusResponses;
  // The current run's decoder; main thread only.
  std::shared_ptr<StreamingDecoder> m_decoder;
};

class KMDeleteRequest : public KMMultistatusRequest {
 public:
  using KMMultistatusRequest::KMMultistatusRequest;
  const char* className() const override { return "KMDeleteRequest"; }

 protected:
  void prepareRequest(HTTPRequest& request) override;
};
