#pragma once
// One remote resource, identified by its absolute URL. A plain value holder:
// two items denote the same resource when their URLs are equal. Not locked;
// an item is filled on one thread and then handed on.

#include <memory>
#include <optional>
#include <string>

#include "platform/URL.h"

class KMFileItem {
 public:
  explicit KMFileItem(kdisk::URL url) : m_URL(std::move(url)) {}
  virtual ~KMFileItem() = default;
  static std::shared_ptr<KMFileItem> fileItemWithURL(kdisk::URL url) {
    return std::make_shared<KMFileItem>(std::move(url));
  }

  const kdisk::URL& URL() const { return m_URL; }
  void setURL(kdisk::URL url) { m_URL = std::move(url); }
  std::string URLString() const { return m_URL.absoluteString(); }

  // The name to show: the stored one, else the decoded last path component.
  virtual std::string displayName() const;
  // The name the service reported, if any.
  const std::optional<std::string>& storedDisplayName() const { return m_displayName; }
  void setDisplayName(std::optional<std::string> name) { m_displayName = std::move(name); }

  virtual bool isDirectory() const { return false; }

 protected:
  std::string lastPathComponentName() const;

 private:
  kdisk::URL m_URL;
  std::optional<std::string> m_displayName;
};
