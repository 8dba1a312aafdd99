// Frame times of the toolkit: the sample list (navigation bar and a table
// showing ten rows) drawn at scale 2 while it scrolls through its 1,000 rows,
// one row per frame. Prints the median and 99th percentile of layout plus
// drawing, and the ratio to a bare Cairo fill of the same surface measured in
// the same run. The target is under 8 ms per frame.
#include <algorithm>
#include <cstdlib>
#include <chrono>
#include <cstdio>
#include <vector>

#include "graphics/UIGraphicsImageContext.h"
#include "platform/RunLoop.h"
#include "uikit/CGContext.h"
#include "uikit/KMHeadlessHost.h"
#include "uikit/UINavigationController.h"
#include "uikit/UIWindow.h"
#include "uikit/sample/KMSampleListViewController.h"

namespace {
using Stopwatch = std::chrono::steady_clock;

double percentile(std::vector<double> values, double fraction) {
  std::sort(values.begin(), values.end());
  const auto index = std::min(values.size() - 1, std::size_t(fraction * double(values.size() - 1) + 0.5));
  return values[index];
}
}  // namespace

int main() {
  using namespace kdisk;
  RunLoop::main();
  KMHeadlessHost host(2);
  auto stack = KMSampleListViewController::makeSampleStack([](const std::string&) {});
  host.setRootViewController(stack);
  auto* list = static_cast<KMSampleListViewController*>(stack->topViewController());
  auto& table = list->tableView();
  host.settle();

  UIGraphicsImageContext surface(host.window().bounds().size, KMImageContextOpacity::Opaque, 2);
  cairo_t* context = surface.context();
  const int rows = KMSampleListViewController::kRowCount;
  const CGFloat rowHeight = table.rowHeight();
  const CGFloat maximum = table.maximumContentOffset().y;

  // Warm the caches (fonts, images, cells) before measuring.
  for (int i = 0; i < 30; ++i) {
    table.setContentOffset({0, std::min(maximum, i * rowHeight)});
    host.window().render(context);
  }
  std::vector<double> frames;
  frames.reserve(std::size_t(rows));
  for (int i = 0; i < rows; ++i) {
    const auto start = Stopwatch::now();
    table.setContentOffset({0, std::min(maximum, i * rowHeight)});
    host.window().render(context);
    KMContextFlush(context);
    frames.push_back(std::chrono::duration<double, std::milli>(Stopwatch::now() - start).count());
  }
  std::vector<double> fills;
  for (int i = 0; i < rows; ++i) {
    const auto start = Stopwatch::now();
    KMContextPaint(context, UIColor::colorWithWhiteAlpha((i % 2) ? 1 : 0.9, 1));
    KMContextFlush(context);
    fills.push_back(std::chrono::duration<double, std::milli>(Stopwatch::now() - start).count());
  }
  const double median = percentile(frames, 0.5), p99 = percentile(frames, 0.99);
  const double fillMedian = percentile(fills, 0.5);
  std::printf("uikit frame bench: %d frames of a navigation bar and a %d-row table at scale 2 (640x960 px)\n",
              rows, int(table.indexPathsForVisibleRows().size()));
  std::printf("  frame time   median %.3f ms   p99 %.3f ms   (target < 8 ms)\n", median, p99);
  std::printf("  bare fill    median %.3f ms\n", fillMedian);
  std::printf("  ratio        frame median / fill median = %.1f\n", fillMedian > 0 ? median / fillMedian : 0);
  double load[1] = {0};
  if (getloadavg(load, 1) == 1)
    std::printf("  load average %.1f (other work on the machine stretches the tail)\n", load[0]);
  return 0;
}
