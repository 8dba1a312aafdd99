// Remote URL → local file. Whatever is accepted lies below the cache's Disk/
// folder, also after normalisation, and nothing whose path holds "..", an
// encoded "/" or a NUL is accepted.
#include <cctype>
#include <cstdlib>
#include <filesystem>

#include "FuzzSupport.h"
#include "storage/KMWebDAVStorage.h"

using kdisk::URL;

namespace {

bool hasEncoded(std::string_view raw, std::string_view code) {
  for (std::size_t at = 0; at + 2 < raw.size(); ++at) {
    if (raw[at] == '%' && std::toupper(static_cast<unsigned char>(raw[at + 1])) == code[0] &&
        std::toupper(static_cast<unsigned char>(raw[at + 2])) == code[1]) {
      return true;
    }
  }
  return false;
}

bool hasDotDotComponent(std::string_view raw) {
  const std::string decoded = "/" + kdisk::percentDecode(raw) + "/";
  return decoded.find("/../") != std::string::npos;
}

void checkBelowDisk(const std::string& disk, const std::string& path) {
  KDISK_FUZZ_CHECK(path == disk || path.starts_with(disk + "/"));
  KDISK_FUZZ_CHECK(path.find('\0') == std::string::npos);
  const std::string rest = path.substr(disk.size());
  KDISK_FUZZ_CHECK(("/" + rest + "/").find("/../") == std::string::npos);
  KDISK_FUZZ_CHECK(("/" + rest + "/").find("/./") == std::string::npos);
  const std::string normal = std::filesystem::path(path).lexically_normal().string();
  KDISK_FUZZ_CHECK(normal == disk || normal == disk + "/" || normal.starts_with(disk + "/"));
}

void check(const KMWebDAVStorage& storage, const URL& url) {
  const std::string disk = storage.localDiskDirectoryPath();
  if (auto path = storage.localPathForWebURL(url)) {
    checkBelowDisk(disk, *path);
    const std::string raw = url.rawPath();
    KDISK_FUZZ_CHECK(!hasEncoded(raw, "2F") && !hasEncoded(raw, "00") && !hasDotDotComponent(raw));
    auto fileURL = storage.fileURLForWebURL(url);
    KDISK_FUZZ_CHECK(fileURL && fileURL->path() == *path);
  }
  if (auto preview = storage.previewPathForWebURL(url)) {
    checkBelowDisk(disk, *preview);
    KDISK_FUZZ_CHECK(*preview != disk);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Path mapping touches no file; the folder need not exist.
  setenv("KDISK_DATA_DIR", "/nonexistent/kdisk-fuzz", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static KMWebDAVStorage* storage = [] {
    auto* made = new KMWebDAVStorage;
    made->setRootURL(URL::fromString("https://127.0.0.1:8443/disk/"));
    return made;
  }();
  const std::string_view text = kdisk::fuzz::text(data, size);
  if (auto url = URL::fromString(text)) check(*storage, *url);
  if (auto url = URL::fromStringRelativeTo(text, *storage->rootURL())) check(*storage, *url);
  return 0;
}
