#include "webdav/KMPROPFINDRequest.h"

std::shared_ptr<KMProp> KMPROPFINDRequest::resourceTypeProp() {
  return KMResourceTypeProp::propWithNameXmlns("resourcetype", KMWebDAVDefaultDAVXMLNamespace());
}

std::shared_ptr<KMProp> KMFileListRequest::displayNameProp() {
  return KMProp::propWithNameXmlns("displayname", KMWebDAVDefaultDAVXMLNamespace());
}
std::shared_ptr<KMProp> KMFileListRequest::contentLengthProp() {
  return KMLongLongProp::propWithNameXmlns("getcontentlength", KMWebDAVDefaultDAVXMLNamespace());
}
std::shared_ptr<KMProp> KMFileListRequest::lastModifiedProp() {
  return KMDateRFC822Prop::propWithNameXmlns("getlastmodified", KMWebDAVDefaultDAVXMLNamespace());
}
std::shared_ptr<KMProp> KMFileListRequest::eTagProp() {
  return KMProp::propWithNameXmlns("getetag", KMWebDAVDefaultDAVXMLNamespace());
}

std::shared_ptr<KMProp> KMAdditionalInfoRequest::maxFileSizeProp() {
  return KMLongLongProp::propWithNameXmlns("max-file-size", KMWebDAVDefaultKalumoXMLNamespace());
}
std::shared_ptr<KMProp> KMAdditionalInfoRequest::quotaAvailableBytesProp() {
  return KMLongLongProp::propWithNameXmlns("quota-available-bytes", KMWebDAVDefaultDAVXMLNamespace());
}
std::shared_ptr<KMProp> KMAdditionalInfoRequest::quotaUsedBytesProp() {
  return KMLongLongProp::propWithNameXmlns("quota-used-bytes", KMWebDAVDefaultDAVXMLNamespace());
}

void KMPROPFINDRequest::prepareRequest(HTTPRequest& request) {
  KMMultistatusRequest::prepareRequest(request);
  request.method = "PROPFIND";
  request.setValueForHTTPHeaderField(KMWebDAVDepthStringRepresentation(m_depth), "depth");
  // Some servers refuse a PROPFIND whose body is not labelled as XML (415).
  request.setValueForHTTPHeaderField("application/xml; charset=utf-8", "Content-Type");
}

std::string KMPROPFINDRequest::buildHTTPBody() {
  std::string body = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
  body += "<D:propfind xmlns:D=\"DAV:\"><D:prop xmlns:K=\"urn:kalumo:disk:meta\"";
  if (m_props.empty()) return body + "/></D:propfind>";
  body += ">";
  for (const auto& prop : m_props) {
    const std::string& uri = prop->xmlNamespace().URI;
    const char* prefix = uri == kKMWebDAVDAVNamespaceURI ? "D:" : uri == kKMWebDAVKalumoNamespaceURI ? "K:" : "";
    body += "<" + std::string(prefix) + prop->name() + "/>";
  }
  return body + "</D:prop></D:propfind>";
}

std::shared_ptr<KMMultiStatusResponse> KMPROPFINDRequest::multistatusResponseForXMLElement(
    const KMXMLElement& element) const {
  auto response = KMMultistatusRequest::multistatusResponseForXMLElement(element);
  if (!response) return response;
  std::vector<std::shared_ptr<KMPropstatResponse>> propstats;
  for (const KMXMLElement& child : element.childElements()) {
    if (!child.isNamed("propstat", kKMWebDAVDAVNamespaceURI)) continue;
    auto propstat = std::make_shared<KMPropstatResponse>();
    propstat->setStatusCode(statusCodeOfElement(child, 0));
    KMXMLElement prop = child.firstChildElementNamed("prop", kKMWebDAVDAVNamespaceURI);
    kdisk::Dictionary values;
    for (const auto& descriptor : m_props) {
      KMXMLElement found = prop.firstChildElementNamed(descriptor->name(), descriptor->xmlNamespace().URI);
      if (found.isNull()) continue;
      auto value = descriptor->valueForXMLElement(found);
      values[descriptor->fullname()] = value ? std::move(*value) : kdisk::Value(kdisk::Null{});
    }
    propstat->setPropValues(std::move(values));
    propstats.push_back(std::move(propstat));
  }
  response->setPropstats(std::move(propstats));
  return response;
}
