#pragma once
// A screen that takes files dragged onto the window from the desktop (a file
// manager). The window looks outwards from the view under the pointer for
// the nearest one; a navigation stack stands for its top screen. Main thread.
#include <vector>

#include "platform/URL.h"

namespace kdisk {

class KMFileDropTarget {
 public:
  virtual ~KMFileDropTarget() = default;
  // Whether a drop here would be taken now; hosts show it while dragging.
  virtual bool canAcceptDroppedFiles() const { return true; }
  // `urls` as the desktop sent them (local files are file URLs); true when
  // the screen took any of them.
  virtual bool acceptDroppedFiles(const std::vector<URL>& urls) = 0;
};

}  // namespace kdisk
