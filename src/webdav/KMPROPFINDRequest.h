#pragma once
// PROPFIND for a list of properties at a depth; only 207 is accepted. Each
// response carries its propstats with the asked properties decoded.

#include "webdav/KMMultistatusRequest.h"
#include "webdav/KMProp.h"
#include "webdav/KMWebDAV.h"

class KMPROPFINDRequest : public KMMultistatusRequest {
 public:
  using KMMultistatusRequest::KMMultistatusRequest;

  static std::shared_ptr<KMProp> resourceTypeProp();

  const KMPropList& props() const { return m_props; }
  void setProps(KMPropList props);
  KMWebDAVDepth depth() const { return m_depth; }
  void setDepth(KMWebDAVDepth depth) { m_depth = depth; }
  const char* className() const override { return "KMPROPFINDRequest"; }

  std::shared_ptr<KMMultiStatusResponse> multistatusResponseForXMLElement(const KMXMLElement& element) const override;
  // The exact body sent: XML declaration, then a compact D:propfind tree.
  std::string buildHTTPBody() override;

 protected:
  void prepareRequest(HTTPRequest& request) override;
  bool acceptResponseCode(int statusCode) override { return statusCode == 207; }

 private:
  KMPropList m_props;
  // Their full names, shared by every decoded propstat.
  std::shared_ptr<const std::vector<std::string>> m_propFullnames = std::make_shared<std::vector<std::string>>();
  KMWebDAVDepth m_depth = KMWebDAVDepthInfinity;
};

// Directory listing: display name, resource type, length, date, entity tag.
class KMFileListRequest : public KMPROPFINDRequest {
 public:
  using KMPROPFINDRequest::KMPROPFINDRequest;
  ~KMFileListRequest() override { clearMultistatusBlock(); }
  static std::shared_ptr<KMProp> displayNameProp();
  static std::shared_ptr<KMProp> contentLengthProp();
  static std::shared_ptr<KMProp> lastModifiedProp();
  static std::shared_ptr<KMProp> eTagProp();
  const char* className() const override { return "KMFileListRequest"; }
};

// Account information: maximal file size, free and used bytes.
class KMAdditionalInfoRequest : public KMPROPFINDRequest {
 public:
  using KMPROPFINDRequest::KMPROPFINDRequest;
  static std::shared_ptr<KMProp> maxFileSizeProp();
  static std::shared_ptr<KMProp> quotaAvailableBytesProp();
  static std::shared_ptr<KMProp> quotaUsedBytesProp();
  const char* className() const override { return "KMAdditionalInfoRequest"; }
};
