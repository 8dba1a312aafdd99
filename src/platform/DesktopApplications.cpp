#include "platform/DesktopApplications.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <memory>

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include "platform/FileOwners.h"
#include "platform/GLibOwners.h"

namespace kdisk {
namespace {

inline constexpr const char* kDesktopErrorDomain = "KMDesktopApplicationErrorDomain";

using AppInfo = glib::Object<GAppInfo>;
using GText = glib::Text;

DesktopApplication describe(GAppInfo* info) {
  const char* identifier = g_app_info_get_id(info);
  const char* name = g_app_info_get_display_name(info);
  return {identifier ? identifier : "", name ? name : (identifier ? identifier : "")};
}

KMError errorFrom(GError* error, std::string_view what) {
  std::string message(what);
  if (error) message += std::string(": ") + error->message;
  g_clear_error(&error);
  return KMError(kDesktopErrorDomain, 1, message);
}

}  // namespace

std::string contentTypeOfFile(const std::string& path) {
  std::array<unsigned char, 4096> head{};
  gsize length = 0;
  UniqueFd descriptor(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (descriptor.isValid()) {
    ssize_t got = ::read(descriptor.get(), head.data(), head.size());
    if (got > 0) length = static_cast<gsize>(got);
  }
  gboolean uncertain = FALSE;
  GText guessed(g_content_type_guess(path.c_str(), length ? head.data() : nullptr, length, &uncertain));
  if (!guessed) return "application/octet-stream";
  GText mime(g_content_type_get_mime_type(guessed.get()));
  return mime ? mime.get() : guessed.get();
}

bool contentTypeIsA(const std::string& type, const std::string& supertype) {
  if (supertype.size() > 2 && supertype.ends_with("/*"))
    return type.compare(0, supertype.size() - 1, supertype, 0, supertype.size() - 1) == 0;
  return g_content_type_is_a(type.c_str(), supertype.c_str());
}

std::optional<DesktopApplication> defaultApplicationForURLScheme(std::string_view scheme) {
  AppInfo info(g_app_info_get_default_for_uri_scheme(std::string(scheme).c_str()));
  if (!info) return std::nullopt;
  return describe(info.get());
}

std::vector<DesktopApplication> applicationsForContentType(const std::string& contentType) {
  std::vector<DesktopApplication> applications;
  AppInfo preferred(g_app_info_get_default_for_type(contentType.c_str(), FALSE));
  if (preferred) applications.push_back(describe(preferred.get()));
  glib::ObjectList all(g_app_info_get_all_for_type(contentType.c_str()));
  for (GList* item = all.get(); item; item = item->next) {
    auto* info = static_cast<GAppInfo*>(item->data);
    DesktopApplication application = describe(info);
    if (!preferred || application.identifier != applications.front().identifier)
      applications.push_back(std::move(application));
  }
  return applications;
}

Status openURLWithDefaultApplication(const URL& url) {
  if (!url.isValid()) return KMError(kDesktopErrorDomain, 2, "Not a URL");
  GError* error = nullptr;
  if (!g_app_info_launch_default_for_uri(url.absoluteString().c_str(), nullptr, &error))
    return errorFrom(error, "No application opened " + url.absoluteString());
  return success();
}

Status launchApplicationWithFile(const DesktopApplication& application, const std::string& path) {
  AppInfo info(G_APP_INFO(g_desktop_app_info_new(application.identifier.c_str())));
  if (!info) return KMError(kDesktopErrorDomain, 3, "No application " + application.identifier);
  glib::Object<GFile> file(g_file_new_for_path(path.c_str()));
  GList files{file.get(), nullptr, nullptr};
  GError* error = nullptr;
  if (!g_app_info_launch(info.get(), &files, nullptr, &error))
    return errorFrom(error, application.name + " did not start");
  return success();
}

}  // namespace kdisk
