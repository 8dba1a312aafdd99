#pragma once
// What a document preview shows: a list of local files it asks for by index.
#include <cstddef>
#include <optional>

#include "platform/URL.h"

namespace kdisk {

class QLPreviewController;

class QLPreviewControllerDataSource {
 public:
  virtual ~QLPreviewControllerDataSource() = default;
  virtual std::size_t numberOfPreviewItemsInPreviewController(QLPreviewController& controller) = 0;
  // The file URL of item `index`; nothing when the item has gone.
  virtual std::optional<URL> previewControllerPreviewItemAtIndex(QLPreviewController& controller,
                                                                 std::size_t index) = 0;
};

}  // namespace kdisk
