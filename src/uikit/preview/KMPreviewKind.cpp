#include "uikit/preview/KMPreviewKind.h"

#include <fcntl.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string_view>
#include <sys/stat.h>

#include "platform/DesktopApplications.h"
#include "platform/FileOwners.h"
#include "platform/GLibOwners.h"

namespace kdisk {
namespace {

constexpr std::size_t kHeadLength = 4096;

struct FileHead {
  bool readable = false;
  std::size_t fileSize = 0;
  std::string bytes;
};

FileHead readHead(const std::string& path) {
  FileHead head;
  UniqueFd owner(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!owner.isValid())
    return head;
  const int descriptor = owner.get();
  struct stat status {};
  if (::fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode)) {
    head.readable = true;
    head.fileSize = std::size_t(status.st_size);
    std::array<char, kHeadLength> buffer{};
    ssize_t got = ::read(descriptor, buffer.data(), buffer.size());
    if (got > 0)
      head.bytes.assign(buffer.data(), std::size_t(got));
  }
  return head;
}

// The picture formats whose gdk-pixbuf loader is installed and whose header
// the loader recognises; the size it reads comes from the header alone.
bool isDecodablePicture(const std::string& path, const std::string& contentType) {
  if (contentType == "image/svg+xml")
    return false; // drawings, not pictures
  int width = 0, height = 0;
  GdkPixbufFormat* format = gdk_pixbuf_get_file_info(path.c_str(), &width, &height);
  if (!format || width <= 0 || height <= 0)
    return false;
  std::unique_ptr<gchar*, glib::StrvDeleter> mimeTypes(gdk_pixbuf_format_get_mime_types(format));
  bool matches = false;
  for (gchar** type = mimeTypes.get(); type && *type && !matches; ++type)
    matches = contentTypeIsA(contentType, *type) || contentTypeIsA(*type, contentType);
  return matches;
}

// PDF readers accept the marker anywhere in the first kilobyte.
bool hasPDFMarker(std::string_view head) {
  return head.substr(0, 1024).find("%PDF-") != std::string_view::npos;
}

// Text has no NUL bytes, except as UTF-16 with its byte order mark.
bool looksLikeText(std::string_view head) {
  if (head.starts_with("\xFF\xFE") || head.starts_with("\xFE\xFF"))
    return true;
  return head.find('\0') == std::string_view::npos;
}

} // namespace

KMPreviewKind KMPreviewKindOfFile(const std::string& path) {
  const FileHead head = readHead(path);
  if (!head.readable || head.fileSize == 0)
    return KMPreviewKind::None;
  const std::string type = contentTypeOfFile(path);
  if (contentTypeIsA(type, "image/*"))
    return isDecodablePicture(path, type) ? KMPreviewKind::Picture : KMPreviewKind::None;
  if (type == "application/pdf")
    return hasPDFMarker(head.bytes) ? KMPreviewKind::PDF : KMPreviewKind::None;
  if (contentTypeIsA(type, "text/plain") || type == "application/json" || type == "application/xml")
    return looksLikeText(head.bytes) ? KMPreviewKind::Text : KMPreviewKind::None;
  return KMPreviewKind::None;
}

} // namespace kdisk
