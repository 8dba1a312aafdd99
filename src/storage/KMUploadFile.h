#pragma once
// One queued upload: where it goes, where its bytes come from, how far it got
// and whether its last attempt failed. A plain value holder, persisted as one
// row of the store's upload table; filled on one thread and then handed on.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/URL.h"

class KMUploadFile {
 public:
  explicit KMUploadFile(kdisk::URL url) : m_URL(std::move(url)) {}
  static std::shared_ptr<KMUploadFile> uploadFileWithURL(kdisk::URL url) {
    return std::make_shared<KMUploadFile>(std::move(url));
  }

  // Target: the directory URL plus the final, unique file name.
  const kdisk::URL& URL() const { return m_URL; }
  void setURL(kdisk::URL url) { m_URL = std::move(url); }
  // Source: a local file URL or a photo-library asset URL.
  const std::optional<kdisk::URL>& localURL() const { return m_localURL; }
  void setLocalURL(std::optional<kdisk::URL> url) { m_localURL = std::move(url); }
  std::uint64_t size() const { return m_size; }
  void setSize(std::uint64_t size) { m_size = size; }
  std::uint64_t uploadedSize() const { return m_uploadedSize; }
  void setUploadedSize(std::uint64_t size) { m_uploadedSize = size; }
  bool failed() const { return m_failed; }
  void setFailed(bool failed) { m_failed = failed; }
  const std::optional<std::string>& failReason() const { return m_failReason; }
  void setFailReason(std::optional<std::string> reason) { m_failReason = std::move(reason); }
  std::string displayName() const { return m_URL.lastPathComponent(); }

 private:
  kdisk::URL m_URL;
  std::optional<kdisk::URL> m_localURL;
  std::uint64_t m_size = 0;
  std::uint64_t m_uploadedSize = 0;
  bool m_failed = false;
  std::optional<std::string> m_failReason;
};
