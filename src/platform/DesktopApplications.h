#pragma once
// The desktop's registered applications, through GIO: which of them open a URL
// scheme or a content type, and handing them a URL or a local file. The
// registry is what the user's desktop files say ($XDG_DATA_HOME, $XDG_DATA_DIRS
// and mimeapps.list), so tests point those variables at folders of their own.
// Queries may run on any thread; launches return once the program is spawned.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Expected.h"
#include "platform/URL.h"

namespace kdisk {

struct DesktopApplication {
  std::string identifier;  // the desktop file's id, "org.example.Viewer.desktop"
  std::string name;        // the name the desktop shows
  bool operator==(const DesktopApplication&) const = default;
};

// The content type of a local file, guessed from its name and its first bytes
// (never the whole file); "application/octet-stream" when nothing fits.
std::string contentTypeOfFile(const std::string& path);
// True when `type` is `supertype` or a kind of it ("image/jpeg" of "image/*").
bool contentTypeIsA(const std::string& type, const std::string& supertype);

// The application the desktop opens URLs of `scheme` with, if any.
std::optional<DesktopApplication> defaultApplicationForURLScheme(std::string_view scheme);
// Every application registered for `contentType`, the desktop's default first.
std::vector<DesktopApplication> applicationsForContentType(const std::string& contentType);

// Hands `url` to the default application of its scheme (a file URL: of its
// content type).
Status openURLWithDefaultApplication(const URL& url);
// Starts `application` with the local file at `path`.
Status launchApplicationWithFile(const DesktopApplication& application, const std::string& path);

}  // namespace kdisk
