// Parses a 10,000-response multistatus body (names with spaces and Cyrillic
// letters) into responses, and compares with a bare libxml2 parse of the same
// bytes in the same run; also the streaming parse alone (our tokenizer and
// the children's light trees, nothing decoded) against the same reference.
#include <libxml/parser.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "webdav/KMPROPFINDRequest.h"
#include "webdav/KMXMLDocument.h"

namespace {

std::string makeBody(int count) {
  std::string body = "<?xml version=\"1.0\" encoding=\"utf-8\"?><d:multistatus xmlns:d=\"DAV:\">";
  for (int i = 0; i < count; ++i) {
    const std::string name = "%D0%A4%D0%B0%D0%B9%D0%BB%20" + std::to_string(i) + "%20old.txt";
    body += "<d:response><d:href>/disk/Folder%20A/" + name + "</d:href><d:propstat><d:prop>"
            "<d:displayname>Файл " + std::to_string(i) + " old.txt</d:displayname><d:resourcetype/>"
            "<d:getcontentlength>" + std::to_string(1000 + i) + "</d:getcontentlength>"
            "<d:getlastmodified>Tue, 15 Nov 1994 12:45:26 GMT</d:getlastmodified>"
            "<d:getetag>\"" + std::to_string(i * 7919) + "\"</d:getetag></d:prop>"
            "<d:status>HTTP/1.1 200 OK</d:status></d:propstat></d:response>";
  }
  return body + "</d:multistatus>";
}

template <typename F> double bestSeconds(int rounds, F&& body) {
  double best = 1e9;
  for (int i = 0; i < rounds; ++i) {
    const auto start = std::chrono::steady_clock::now();
    body();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

}  // namespace

int main() {
  constexpr int kResponses = 10000;
  const std::string body = makeBody(kResponses);
  auto request = std::make_shared<KMFileListRequest>(*kdisk::URL::fromString("https://127.0.0.1:8443/disk/Folder%20A/"));
  request->setProps({KMFileListRequest::displayNameProp(), KMPROPFINDRequest::resourceTypeProp(),
                     KMFileListRequest::contentLengthProp(), KMFileListRequest::lastModifiedProp(),
                     KMFileListRequest::eTagProp()});
  std::size_t decoded = 0;
  const double ours = bestSeconds(5, [&] { decoded = request->multistatusResponsesForBody(body).size(); });
  const double bare = bestSeconds(5, [&] {
    xmlDocPtr document = xmlReadMemory(body.data(), static_cast<int>(body.size()), "bench.xml", nullptr,
                                       XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    xmlFreeDoc(document);
  });
  std::size_t children = 0;
  const double streamed = bestSeconds(5, [&] {
    KMXMLStreamParser parser([&](const KMXMLElement&) { ++children; });
    if (!parser.feed(body) || !parser.finish()) children = 0;
  });
  std::printf("multistatus body: %zu bytes, %zu responses decoded\n", body.size(), decoded);
  std::printf("stream parse alone:  %.2f ms, ratio to bare parse %.2f\n", streamed * 1000, streamed / bare);
  std::printf("decode to responses: %.2f ms, %.0f responses/s\n", ours * 1000, kResponses / ours);
  std::printf("bare libxml2 parse:  %.2f ms, %.0f responses/s\n", bare * 1000, kResponses / bare);
  std::printf("ratio (decode / bare parse): %.2f\n", ours / bare);
  return decoded == kResponses && children > 0 ? 0 : 1;
}
