// The URL type: a URL (first line) and a path component (the rest). Whatever
// parses must survive every building operation as a URL the parser accepts
// again, with the component reading back as it was given.
#include "FuzzSupport.h"
#include "platform/URL.h"

using kdisk::URL;

namespace {

void touch(const URL& url) {
  (void)url.scheme();
  (void)url.host();
  (void)url.port();
  (void)url.origin();
  (void)url.path();
  (void)url.query();
  (void)url.pathExtension();
  (void)url.hasDirectoryPath();
}

bool parsesAgain(const URL& url) {
  auto again = URL::fromString(url.absoluteString());
  return again && *again == url;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input = kdisk::fuzz::text(data, size);
  const std::size_t newline = input.find('\n');
  const std::string_view urlText = input.substr(0, newline);
  const std::string_view component = newline == std::string_view::npos ? std::string_view() : input.substr(newline + 1);

  KDISK_FUZZ_CHECK(kdisk::percentDecode(kdisk::percentEncode(component)) == component);
  KDISK_FUZZ_CHECK(kdisk::percentDecode(kdisk::percentEncodePathComponent(component)) == component);
  if (component.starts_with("/")) {
    const URL file = URL::fileURLWithPath(component);
    KDISK_FUZZ_CHECK(parsesAgain(file) && file.path() == component);
  }

  const auto url = URL::fromString(urlText);
  if (!url) return 0;
  touch(*url);
  std::string_view name = component;
  while (name.starts_with("/")) name.remove_prefix(1);
  for (bool isDirectory : {false, true}) {
    const URL appended = url->appendingPathComponent(component, isDirectory);
    KDISK_FUZZ_CHECK(parsesAgain(appended));
    if (name.empty()) continue;
    KDISK_FUZZ_CHECK(appended.lastPathComponent() == name);
    KDISK_FUZZ_CHECK(appended.deletingLastPathComponent() == url->withTrailingSlash());
    KDISK_FUZZ_CHECK(appended.hasDirectoryPath() == isDirectory);
  }
  for (const URL& built : {url->deletingLastPathComponent(), url->withTrailingSlash(), url->withoutTrailingSlash(),
                           url->appendingPathExtension(component)}) {
    KDISK_FUZZ_CHECK(parsesAgain(built));
    touch(built);
  }
  // A listing's hrefs join the request's origin without a second parse.
  KDISK_FUZZ_CHECK(url->withAbsolutePathReference(component) == URL::fromString(url->origin() + std::string(component)));
  for (const URL& built : {url->withOriginOf(URL()), url->deletingLastPathComponent()}) {
    KDISK_FUZZ_CHECK(built.withAbsolutePathReference(component) ==
                     URL::fromString(built.origin() + std::string(component)));
  }
  if (auto relative = URL::fromStringRelativeTo(component, *url)) {
    KDISK_FUZZ_CHECK(parsesAgain(*relative));
    touch(*relative);
  }
  return 0;
}
