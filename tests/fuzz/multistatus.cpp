// The streaming multistatus decoder. The same body, whole or cut into chunks
// of random sizes, must give the same responses; and a body the document
// parser refuses must never give a listing (a partial one would be merged
// as the whole folder).
#include "FuzzSupport.h"
#include "webdav/KMPROPFINDRequest.h"
#include "webdav/KMWebDAV.h"

namespace {

std::shared_ptr<KMFileListRequest> listingRequest() {
  auto request = std::make_shared<KMFileListRequest>(*kdisk::URL::fromString("https://127.0.0.1:8443/disk/Folder/"));
  request->setProps({KMFileListRequest::displayNameProp(), KMPROPFINDRequest::resourceTypeProp(),
                     KMFileListRequest::contentLengthProp(), KMFileListRequest::lastModifiedProp(),
                     KMFileListRequest::eTagProp()});
  return request;
}

// Values compare by their text: a NaN is equal to itself here.
std::string summary(const KMMultiStatusResponseList& responses) {
  std::string text;
  for (const auto& response : responses) {
    text += response->URL().absoluteString() + " " + std::to_string(response->statusCode()) + "\n";
    for (const auto& propstat : response->propstats()) {
      text += " " + std::to_string(propstat->statusCode());
      for (const auto& [name, value] : propstat->propValues()) text += " " + name + "=" + value.description();
      text += "\n";
    }
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const auto request = listingRequest();
  const std::string_view body = kdisk::fuzz::text(data, size);

  const KMMultiStatusResponseList whole = request->multistatusResponsesForBody(body);

  // As the network decoder does: feed every chunk, judge at the end.
  KMMultiStatusResponseList chunked;
  KMXMLStreamParser parser([&](const KMXMLElement& child) {
    if (!child.isNamed("response", kKMWebDAVDAVNamespaceURI)) return;
    if (auto response = request->multistatusResponseForXMLElement(child)) chunked.push_back(std::move(response));
  });
  kdisk::fuzz::SplitMix random(kdisk::fuzz::fnv1a(body));
  for (std::size_t at = 0; at < body.size();) {
    const std::size_t length = 1 + random.next() % 64;
    parser.feed(body.substr(at, length));
    at += length;
  }
  if (!parser.finish()) chunked.clear();

  KDISK_FUZZ_CHECK(summary(whole) == summary(chunked));
  if (!whole.empty()) KDISK_FUZZ_CHECK(KMXMLDocument::parse(body).has_value());
  return 0;
}
