#include "graphics/Screen.h"

#include <atomic>

namespace kdisk {
namespace {
std::atomic<double> g_mainScreenScale{1.0};
}

double mainScreenScale() {
  return g_mainScreenScale.load(std::memory_order_relaxed);
}

void setMainScreenScale(double scale) {
  g_mainScreenScale.store(scale >= 1.5 ? 2.0 : 1.0, std::memory_order_relaxed);
}

} // namespace kdisk
