#include "service/DavHandler.h"

#include "service/FileFacts.h"
#include "service/FormFields.h"
#include "service/HttpExchange.h"
#include "service/Pictures.h"
#include "service/Propfind.h"
#include "service/WebPath.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <memory>
#include <vector>

namespace kdisk::service {

namespace {

constexpr std::size_t kPropfindBodyLimit = 64 * 1024;
constexpr std::size_t kStreamChunk = 256 * 1024;
constexpr int kLargestPreviewEdge = 4096;

const char kAllowed[] = "OPTIONS, GET, HEAD, PUT, DELETE, MKCOL, PROPFIND, POST";

struct FileDescriptor {
  int fd = -1;
  ~FileDescriptor() {
    if (fd >= 0) ::close(fd);
  }
};

// A temporary upload that removes itself unless committed.
struct TemporaryUpload {
  std::filesystem::path path;
  int fd = -1;
  bool committed = false;
  ~TemporaryUpload() {
    if (fd >= 0) ::close(fd);
    if (!committed && !path.empty()) ::unlink(path.c_str());
  }
};

std::optional<std::uint64_t> parseNumber(std::string_view text) {
  std::uint64_t value = 0;
  if (text.empty()) return std::nullopt;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

struct ByteRange {
  std::uint64_t first = 0;
  std::uint64_t last = 0;
};

enum class RangeOutcome { Whole, Partial, Unsatisfiable };

// One "bytes=" range; several ranges or a malformed header serve the whole file,
// as RFC 9110 allows.
RangeOutcome parseRange(const std::string& header, std::uint64_t size, ByteRange& range) {
  static constexpr std::string_view kPrefix = "bytes=";
  std::string_view text = header;
  if (text.substr(0, kPrefix.size()) != kPrefix) return RangeOutcome::Whole;
  text.remove_prefix(kPrefix.size());
  if (text.find(',') != std::string_view::npos) return RangeOutcome::Whole;
  auto dash = text.find('-');
  if (dash == std::string_view::npos) return RangeOutcome::Whole;
  auto firstText = text.substr(0, dash), lastText = text.substr(dash + 1);
  if (firstText.empty()) {
    auto suffix = parseNumber(lastText);
    if (!suffix) return RangeOutcome::Whole;
    if (*suffix == 0 || size == 0) return RangeOutcome::Unsatisfiable;
    range.first = size - std::min(*suffix, size);
    range.last = size - 1;
    return RangeOutcome::Partial;
  }
  auto first = parseNumber(firstText);
  if (!first) return RangeOutcome::Whole;
  std::uint64_t last = size == 0 ? 0 : size - 1;
  if (!lastText.empty()) {
    auto parsed = parseNumber(lastText);
    if (!parsed || *parsed < *first) return RangeOutcome::Whole;
    last = std::min(*parsed, last);
  }
  if (*first >= size) return RangeOutcome::Unsatisfiable;
  range.first = *first;
  range.last = last;
  return RangeOutcome::Partial;
}

std::string displayNameOf(const WebPath& path) {
  return path.isRoot() ? std::string("disk") : path.lastSegment();
}

ResourceFacts resourceFacts(const WebPath& path, const FileFacts& facts) {
  ResourceFacts resource;
  resource.href = path.href("disk", facts.collection);
  resource.displayName = displayNameOf(path);
  resource.collection = facts.collection;
  resource.size = facts.size;
  resource.lastModified = httpDate(facts.modifiedSeconds);
  resource.etag = facts.etag;
  resource.contentType = contentTypeFor(resource.displayName);
  return resource;
}

bool validChildName(const std::string& name) {
  if (name == "." || name == ".." || name.empty() || name.size() > 255) return false;
  return std::none_of(name.begin(), name.end(), [](unsigned char c) { return c < 0x20 || c == 0x7f; });
}

// The names a listing may show of the folder at `target`, sorted.
std::vector<std::string> listableChildNames(const std::filesystem::path& target) {
  std::vector<std::string> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(target, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (validChildName(name)) names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end());
  return names;
}

} // namespace

DavHandler::DavHandler(const ServiceConfig& config, AccountStore& store)
    : m_config(config), m_store(store) {}

std::filesystem::path DavHandler::rootOf(const Account& account) const {
  auto root = m_config.dataFolder / "disks" / std::to_string(account.uid);
  std::error_code ec;
  std::filesystem::create_directories(root, ec);
  return root;
}

void DavHandler::handle(HttpExchange& exchange, const Account& account, const WebPath& path) {
  const std::string& method = exchange.request().method;
  if (method == "PROPFIND") return propfind(exchange, account, path);
  if (method == "GET" || method == "HEAD") return get(exchange, account, path);
  if (method == "PUT") return put(exchange, account, path);
  if (method == "MKCOL") return mkcol(exchange, account, path);
  if (method == "DELETE") return remove(exchange, account, path);
  if (method == "POST") return post(exchange, account, path);
  HeaderFields fields;
  fields.set("Allow", kAllowed);
  if (method == "OPTIONS") {
    fields.set("DAV", "1");
    exchange.respondEmpty(200, fields);
    return;
  }
  exchange.respond(405, "text/plain", "method not allowed\n", fields);
}

void DavHandler::propfind(HttpExchange& exchange, const Account& account, const WebPath& path) {
  auto depth = exchange.request().fields.find("Depth").value_or("infinity");
  if (depth == "infinity") {
    exchange.respond(403, "text/plain", "Depth infinity is not served\n");
    return;
  }
  if (depth != "0" && depth != "1") {
    exchange.respond(400, "text/plain", "bad Depth\n");
    return;
  }
  bool tooLarge = false;
  auto body = exchange.readWholeBody(kPropfindBodyLimit, tooLarge);
  if (!body) {
    if (tooLarge) exchange.respond(413, "text/plain", "body too large\n");
    return;
  }
  auto query = PropfindQuery::parse(*body);
  if (!query) {
    exchange.respond(400, "text/plain", "malformed PROPFIND body\n");
    return;
  }
  const auto root = rootOf(account);
  const auto target = path.under(root);
  auto facts = factsOf(target);
  if (!facts) {
    exchange.respond(404, "text/plain", "not found\n");
    return;
  }
  MultistatusWriter writer(*query);
  ResourceFacts self = resourceFacts(path, *facts);
  if (path.isRoot()) {
    ResourceFacts::Quota quota;
    quota.maxFileSize = m_config.maxFileSizeBytes;
    quota.used = bytesUsedBelow(root);
    quota.available = m_config.quotaBytes > quota.used ? m_config.quotaBytes - quota.used : 0;
    self.quota = quota;
  }
  writer.add(self);
  if (facts->collection && depth == "1") {
    for (const auto& name : listableChildNames(target)) {
      auto child = path.child(name);
      if (auto childFacts = factsOf(child.under(root)))
        writer.add(resourceFacts(child, *childFacts));
    }
  }
  exchange.respond(207, "application/xml; charset=utf-8", writer.finish());
}

void DavHandler::sendFile(HttpExchange& exchange, const std::filesystem::path& file,
                          const std::string& downloadName) {
  FileDescriptor descriptor{::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW)};
  struct stat info {};
  if (descriptor.fd < 0 || ::fstat(descriptor.fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    exchange.respond(404, "text/plain", "not found\n");
    return;
  }
  // Facts from the open descriptor, so the tag describes the bytes sent even if
  // an upload replaces the path meanwhile.
  auto facts = factsOfDescriptor(descriptor.fd);
  std::string etag = facts ? facts->etag : "";
  std::uint64_t size = static_cast<std::uint64_t>(info.st_size);
  HeaderFields fields;
  fields.set("ETag", etag);
  fields.set("Last-Modified", httpDate(info.st_mtim.tv_sec));
  fields.set("Accept-Ranges", "bytes");
  fields.set("Content-Type", contentTypeFor(downloadName));
  if (auto match = exchange.request().fields.find("If-None-Match"); match && *match == etag) {
    exchange.respondEmpty(304, fields);
    return;
  }
  ByteRange range{0, size == 0 ? 0 : size - 1};
  unsigned status = 200;
  if (auto header = exchange.request().fields.find("Range")) {
    auto ifRange = exchange.request().fields.find("If-Range");
    if (!ifRange || *ifRange == etag) {
      switch (parseRange(*header, size, range)) {
      case RangeOutcome::Whole: break;
      case RangeOutcome::Partial: status = 206; break;
      case RangeOutcome::Unsatisfiable:
        fields.set("Content-Range", "bytes */" + std::to_string(size));
        exchange.respond(416, "text/plain", "range not satisfiable\n", fields);
        return;
      }
    }
  }
  std::uint64_t length = size == 0 ? 0 : range.last - range.first + 1;
  if (status == 206)
    fields.set("Content-Range", "bytes " + std::to_string(range.first) + "-" +
                                    std::to_string(range.last) + "/" + std::to_string(size));
  HttpResponseHead head;
  head.status = status;
  head.fields = fields;
  head.contentLength = length;
  if (!exchange.sendHead(head) || exchange.request().method == "HEAD") return;
  std::unique_ptr<char[]> buffer(new char[kStreamChunk]);
  std::uint64_t offset = range.first, remaining = length;
  while (remaining > 0) {
    auto want = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, kStreamChunk));
    ssize_t got = ::pread(descriptor.fd, buffer.get(), want, static_cast<off_t>(offset));
    if (got <= 0) return; // file shrank under us: the peer sees a short body
    if (!exchange.sendBody(buffer.get(), static_cast<std::size_t>(got))) return;
    offset += static_cast<std::uint64_t>(got);
    remaining -= static_cast<std::uint64_t>(got);
  }
}

void DavHandler::get(HttpExchange& exchange, const Account& account, const WebPath& path) {
  auto target = path.under(rootOf(account));
  auto facts = factsOf(target);
  auto query = FormFields::parse(exchange.request().query);
  if (!query) {
    exchange.respond(400, "text/plain", "malformed query\n");
    return;
  }
  if (query->has("preview")) {
    if (!facts) {
      exchange.respond(404, "text/plain", "not found\n");
    } else if (facts->collection) {
      exchange.respond(415, "text/plain", "a folder has no preview\n");
    } else {
      auto edge = parseNumber(query->valueOr("size", ""));
      if (!edge || *edge == 0 || *edge > kLargestPreviewEdge) {
        exchange.respond(400, "text/plain", "size must be 1-4096\n");
        return;
      }
      std::string jpeg;
      if (makeJpegPreview(target, static_cast<int>(*edge), jpeg) != PreviewOutcome::Made) {
        exchange.respond(415, "text/plain", "not a picture\n");
        return;
      }
      HeaderFields fields;
      fields.set("ETag", facts->etag.substr(0, facts->etag.size() - 1) + "-p" +
                             std::to_string(*edge) + "\"");
      exchange.respond(200, "image/jpeg", jpeg, fields);
    }
    return;
  }
  if (!facts) {
    exchange.respond(404, "text/plain", "not found\n");
    return;
  }
  if (facts->collection) {
    std::string page = "<!doctype html><meta charset=utf-8><title>" + xmlEscape(displayNameOf(path)) +
                       "</title><ul>";
    for (const auto& name : listableChildNames(target)) {
      auto child = path.child(name);
      auto childFacts = factsOf(child.under(rootOf(account)));
      if (!childFacts) continue;
      page += "<li><a href=\"" + xmlEscape(child.href("disk", childFacts->collection)) + "\">" +
              xmlEscape(name) + "</a>";
    }
    page += "</ul>\n";
    exchange.respond(200, "text/html; charset=utf-8", page);
    return;
  }
  sendFile(exchange, target, path.lastSegment());
}

void DavHandler::put(HttpExchange& exchange, const Account& account, const WebPath& path) {
  const auto& request = exchange.request();
  if (path.isRoot() || path.trailingSlash()) {
    exchange.respond(405, "text/plain", "cannot PUT a folder\n");
    return;
  }
  const auto root = rootOf(account);
  const auto target = path.under(root);
  auto parentFacts = factsOf(path.parent()->under(root));
  if (!parentFacts || !parentFacts->collection) {
    exchange.respond(409, "text/plain", "parent folder missing\n");
    return;
  }
  auto existing = factsOf(target);
  if (existing && existing->collection) {
    exchange.respond(405, "text/plain", "a folder is there\n");
    return;
  }
  // "If-None-Match: *": create only, never replace what is there.
  const bool createOnly = [&] {
    auto match = request.fields.find("If-None-Match");
    return match && *match == "*";
  }();
  if (createOnly && existing) {
    exchange.respond(412, "text/plain", "a file is there\n");
    return;
  }
  auto overQuota = [&](std::uint64_t incoming) {
    std::uint64_t used = bytesUsedBelow(root);
    std::uint64_t replaced = existing ? existing->size : 0;
    std::uint64_t after = (used > replaced ? used - replaced : 0) + incoming;
    return after > m_config.quotaBytes;
  };
  std::uint64_t declared = request.contentLength.value_or(0);
  if (declared > m_config.maxFileSizeBytes) {
    exchange.respond(413, "text/plain", "file larger than the maximum file size\n");
    return;
  }
  if (overQuota(declared)) {
    exchange.respond(507, "text/plain", "quota exceeded\n");
    return;
  }

  std::error_code ec;
  std::filesystem::create_directories(uploadFolder(), ec);
  TemporaryUpload upload;
  std::string pattern = (uploadFolder() / "upload-XXXXXX").string();
  upload.fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (upload.fd < 0) {
    exchange.respond(500, "text/plain", "cannot store the upload\n");
    return;
  }
  upload.path = pattern;
  std::unique_ptr<char[]> buffer(new char[kStreamChunk]);
  std::uint64_t received = 0;
  for (;;) {
    auto got = exchange.readBody(buffer.get(), kStreamChunk);
    if (!got) return; // peer gone or cut: the temporary file goes, the old file stays
    if (*got == 0) break;
    received += *got;
    if (received > m_config.maxFileSizeBytes) {
      exchange.respond(413, "text/plain", "file larger than the maximum file size\n");
      return;
    }
    if (request.chunked && received > m_config.quotaBytes) {
      exchange.respond(507, "text/plain", "quota exceeded\n");
      return;
    }
    const char* data = buffer.get();
    std::size_t left = *got;
    while (left > 0) {
      ssize_t written = ::write(upload.fd, data, left);
      if (written < 0) {
        if (errno == EINTR) continue;
        exchange.respond(errno == ENOSPC ? 507 : 500, "text/plain", "cannot store the upload\n");
        return;
      }
      data += written;
      left -= static_cast<std::size_t>(written);
    }
  }
  ::fchmod(upload.fd, 0644);
  ::close(upload.fd);
  upload.fd = -1;

  unsigned status = 0;
  {
    std::lock_guard lock(m_commitMutex);
    existing = factsOf(target);
    auto parentNow = factsOf(path.parent()->under(root));
    if (!parentNow || !parentNow->collection) {
      status = 409;
    } else if (existing && existing->collection) {
      status = 405;
    } else if (overQuota(received)) {
      status = 507;
    } else if (createOnly && existing) {
      status = 412;
    } else if (createOnly && ::link(upload.path.c_str(), target.c_str()) != 0) {
      // link() refuses an existing name, so a file put there meanwhile stays.
      status = errno == EEXIST ? 412 : 500;
    } else if (!createOnly && ::rename(upload.path.c_str(), target.c_str()) != 0) {
      status = 500;
    } else {
      // A linked upload's temporary name still goes; a renamed one is gone.
      upload.committed = !createOnly;
      status = existing ? 204 : 201;
    }
  }
  HeaderFields fields;
  if (status == 201 || status == 204) {
    if (auto facts = factsOf(target)) fields.set("ETag", facts->etag);
  }
  exchange.respond(status, status < 300 ? "" : "text/plain",
                   status < 300 ? "" : "upload not stored\n", fields);
}

void DavHandler::mkcol(HttpExchange& exchange, const Account& account, const WebPath& path) {
  if (exchange.request().hasBody()) {
    exchange.respond(415, "text/plain", "MKCOL takes no body\n");
    return;
  }
  if (path.isRoot()) {
    exchange.respond(405, "text/plain", "exists\n");
    return;
  }
  const auto root = rootOf(account);
  if (factsOf(path.under(root)) || std::filesystem::is_symlink(path.under(root))) {
    exchange.respond(405, "text/plain", "exists\n");
    return;
  }
  auto parent = factsOf(path.parent()->under(root));
  if (!parent || !parent->collection) {
    exchange.respond(409, "text/plain", "parent folder missing\n");
    return;
  }
  if (::mkdir(path.under(root).c_str(), 0755) != 0) {
    exchange.respond(errno == EEXIST ? 405 : 500, "text/plain", "cannot create\n");
    return;
  }
  exchange.respondEmpty(201);
}

void DavHandler::remove(HttpExchange& exchange, const Account& account, const WebPath& path) {
  if (path.isRoot()) {
    exchange.respond(403, "text/plain", "the root stays\n");
    return;
  }
  const auto target = path.under(rootOf(account));
  auto facts = factsOf(target);
  if (!facts) {
    exchange.respond(404, "text/plain", "not found\n");
    return;
  }
  std::error_code ec;
  // remove_all does not follow symbolic links, so nothing outside is touched.
  std::filesystem::remove_all(target, ec);
  if (ec) {
    exchange.respond(500, "text/plain", "cannot delete\n");
    return;
  }
  m_store.forgetPublicationsUnder(account, path.key());
  exchange.respondEmpty(204);
}

void DavHandler::post(HttpExchange& exchange, const Account& account, const WebPath& path) {
  auto query = FormFields::parse(exchange.request().query);
  if (!query || !query->has("publish")) {
    exchange.respond(400, "text/plain", "unknown POST\n");
    return;
  }
  auto facts = factsOf(path.under(rootOf(account)));
  if (!facts) {
    exchange.respond(404, "text/plain", "not found\n");
    return;
  }
  if (facts->collection) {
    exchange.respond(409, "text/plain", "only files are published\n");
    return;
  }
  std::string token = m_store.publicationToken(account, path.key());
  std::string base = m_config.httpsBaseURL.empty() ? m_config.httpBaseURL : m_config.httpsBaseURL;
  HeaderFields fields;
  fields.set("Location", base + "/public/" + token);
  exchange.respondEmpty(302, fields);
}

} // namespace kdisk::service
