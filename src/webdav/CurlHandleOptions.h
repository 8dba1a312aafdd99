#pragma once
// The options every libcurl handle of this client shares, set in one place so
// the main-loop transport and the blocking one cannot drift apart. Takes the
// handle untyped: libcurl's header stays in the two adapter sources.

namespace kdisk::webdav {

struct HTTPRequest;

// TLS verification with the extra CA, http and https only, no redirects
// followed by libcurl, no signals, decoded bodies, and the connect time-out
// of `request` (20 seconds when it sets none).
void setCommonCurlOptions(void* easy, const HTTPRequest& request);

// libcurl adds "application/x-www-form-urlencoded" to any body sent without a
// type; the caller's own Content-Type, or none at all, goes out instead.
bool needsContentTypeSuppressed(const HTTPRequest& request);

}  // namespace kdisk::webdav
