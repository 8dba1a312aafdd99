// The photo picker over an album of 5,000 pictures (2400x1600 JPEGs, the
// size of a phone's reduced photos), on the headless host at scale 2:
//  - reading the library (albums and their items) as the album list does;
//  - opening the album: time until a frame shows every visible thumbnail;
//  - scrolling through the whole album at 1,500 points a second (25 points a
//    frame at 60 frames a second): frame times (delivering decoded
//    thumbnails, layout and drawing) as median and 99th percentile, and how
//    many visible items still wait for their thumbnail.
// Two references are measured in the same run: a bare Cairo fill of the same
// surface, as in the toolkit's frame benchmark, and the same scroll through
// a grid of 5,000 items that need no decoding (drawn as video tiles), which
// shows what the machine's other work alone does to the tail. The target is
// a p99 under 8 ms, with thumbnails arriving as they decode. Beside each wall
// time the main thread's CPU time per frame is printed: on a shared machine
// the difference is time spent waiting for a core.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "graphics/UIGraphicsImageContext.h"
#include "graphics/UIImageRepresentation.h"
#include "platform/PhotoLibrary.h"
#include "platform/RunLoop.h"
#include "screens/viewing/ELCAlbumPickerController.h"
#include "screens/viewing/ELCImagePickerController.h"
#include "screens/viewing/KMAssetGridViewController.h"
#include "screens/viewing/KMAssetThumbnailLoader.h"
#include "screens/viewing/KMAssetThumbnailView.h"
#include "uikit/CGContext.h"
#include "uikit/KMHeadlessHost.h"
#include "uikit/UIWindow.h"

namespace {
namespace fs = std::filesystem;
using Stopwatch = std::chrono::steady_clock;
constexpr int kPictures = 5000;
constexpr int kDistinctPictures = 16;
constexpr double kPointsPerFrame = 25;

double milliseconds(Stopwatch::time_point since) {
  return std::chrono::duration<double, std::milli>(Stopwatch::now() - since).count();
}

double percentile(std::vector<double> values, double fraction) {
  std::sort(values.begin(), values.end());
  const auto index = std::min(values.size() - 1, std::size_t(fraction * double(values.size() - 1) + 0.5));
  return values[index];
}

// Photos with detail everywhere, so JPEG has real work; the album's 5,000
// files are hard links to 16 of them, which keeps the disk footprint small
// while every path is its own item. Made once and kept beside the program
// (build-release/bench-data/), since encoding on a busy machine takes long.
fs::path albumLibrary() {
  using namespace kdisk;
  if (const char* given = std::getenv("KDISK_PICKER_BENCH_ALBUM")) return given;
  std::error_code error;
  const fs::path program = fs::read_symlink("/proc/self/exe", error);
  const fs::path root = (error ? fs::temp_directory_path() : program.parent_path().parent_path()) / "bench-data" /
                        ("picker-album-" + std::to_string(kPictures));
  const fs::path library = root / "library", album = library / "Camera", sources = root / "sources";
  const fs::path complete = root / "complete";
  if (fs::exists(complete)) return library;
  std::printf("  making the album (once) in %s\n", root.c_str());
  fs::remove_all(root, error);
  fs::create_directories(sources);
  for (int i = 0; i < kDistinctPictures; ++i) {
    UIGraphicsImageContext context(CGSizeMake(2400, 1600), KMImageContextOpacity::Opaque, 1);
    for (int y = 0; y < 1600; y += 40)
      for (int x = 0; x < 2400; x += 40)
        CGContextFillRect(context.context(), CGRectMake(x, y, 40, 40),
                          UIColor::colorWithRGB255((x / 7 + i * 29) % 256, (y / 5 + x / 11) % 256, (i * 53 + y / 3) % 256));
    CGContextFillEllipseInRect(context.context(), CGRectMake(300 + i * 60, 300, 900, 900), UIColor::whiteColor());
    auto jpeg = UIImageJPEGRepresentation(context.image().get(), 0.9);
    std::ofstream(sources / (std::to_string(i) + ".jpg"), std::ios::binary)
        .write(reinterpret_cast<const char*>(jpeg->data()), std::streamsize(jpeg->size()));
  }
  fs::create_directories(album);
  for (int i = 0; i < kPictures; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "IMG_%05d.jpg", i);
    fs::create_hard_link(sources / (std::to_string(i % kDistinctPictures) + ".jpg"), album / name);
  }
  std::ofstream(complete) << kPictures << "\n";
  return library;
}

// CPU time of this thread, or of the whole process, in milliseconds.
double cpuMilliseconds(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

int waitingItems(kdisk::KMAssetGridViewController& grid);

// One pass from top to bottom, paced at 60 frames a second as on screen.
void scrollThrough(kdisk::KMHeadlessHost& host, kdisk::KMAssetGridViewController& grid, cairo_t* context,
                   std::vector<double>& frameTimes, std::vector<double>& frameCPUTimes, std::vector<int>* waiting,
                   std::vector<double>* deliveryTimes = nullptr) {
  using namespace kdisk;
  auto& table = *grid.tableView();
  const double maximum = table.maximumContentOffset().y;
  for (double offset = 0; offset <= maximum; offset += kPointsPerFrame) {
    const auto frameStart = Stopwatch::now();
    const double cpuStart = cpuMilliseconds(CLOCK_THREAD_CPUTIME_ID);
    RunLoop::main().runPending();
    if (deliveryTimes) deliveryTimes->push_back(milliseconds(frameStart));
    table.setContentOffset({0, offset});
    host.window().render(context);
    KMContextFlush(context);
    frameTimes.push_back(milliseconds(frameStart));
    frameCPUTimes.push_back(cpuMilliseconds(CLOCK_THREAD_CPUTIME_ID) - cpuStart);
    if (waiting) waiting->push_back(waitingItems(grid));
    const double rest = 1000.0 / 60 - frameTimes.back();
    if (rest > 0) RunLoop::main().runUntil([] { return false; }, rest / 1000);
  }
}

// Visible items of the grid still showing a placeholder.
int waitingItems(kdisk::KMAssetGridViewController& grid) {
  int waiting = 0;
  for (auto& path : grid.tableView()->indexPathsForVisibleRows()) {
    for (int column = 0; column < kdisk::KMAssetGridViewController::kColumns; ++column) {
      const std::size_t index = std::size_t(path.row * kdisk::KMAssetGridViewController::kColumns + column);
      if (index >= grid.assets().size()) continue;
      auto* view = grid.thumbnailViewForAssetAtIndex(index);
      if (view && !view->thumbnail() && !view->isVideo()) ++waiting;
    }
  }
  return waiting;
}
}  // namespace

int main() {
  using namespace kdisk;
  RunLoop::main();
  std::printf("photo picker bench: an album of %d pictures\n", kPictures);
  const fs::path library = albumLibrary();
  ::setenv("KDISK_PHOTO_LIBRARY_DIRS", library.c_str(), 1);
  const double processCPUStart = cpuMilliseconds(CLOCK_PROCESS_CPUTIME_ID);
  const auto runStart = Stopwatch::now();

  KMHeadlessHost host(2);
  auto albums = std::make_shared<ELCAlbumPickerController>();
  auto picker = std::make_shared<ELCImagePickerController>(albums);
  albums->setParent(picker.get());
  auto start = Stopwatch::now();
  host.setRootViewController(picker);
  RunLoop::main().runUntil([&] { return !albums->isLoading(); }, 60);
  const double libraryRead = milliseconds(start);
  if (albums->assetGroups().empty()) {
    std::printf("  the album could not be read\n");
    return 1;
  }
  const auto& camera = albums->assetGroups().front();

  UIGraphicsImageContext surface(host.window().bounds().size, KMImageContextOpacity::Opaque, 2);
  cairo_t* context = surface.context();
  auto grid = std::make_shared<KMAssetGridViewController>(camera.album.name(), camera.assets, picker.get());
  start = Stopwatch::now();
  picker->pushViewControllerAnimated(grid, KMAnimated::No);
  int frames = 0;
  for (;;) {
    RunLoop::main().runPending();
    host.window().render(context);
    KMContextFlush(context);
    ++frames;
    if (waitingItems(*grid) == 0) break;
    RunLoop::main().runUntil([] { return false; }, 0.001);
  }
  const double firstFullFrame = milliseconds(start);

  std::vector<double> frameTimes, frameCPUTimes;
  std::vector<int> waiting;
  std::vector<double> deliveryTimes;
  const double scrollCPUStart = cpuMilliseconds(CLOCK_PROCESS_CPUTIME_ID);
  const auto scrollStart = Stopwatch::now();
  scrollThrough(host, *grid, context, frameTimes, frameCPUTimes, &waiting, &deliveryTimes);
  const double scrollWall = milliseconds(scrollStart);
  const double scrollCPU = cpuMilliseconds(CLOCK_PROCESS_CPUTIME_ID) - scrollCPUStart;
  auto& table = *grid->tableView();

  // The same scroll with nothing to decode.
  PhotoAssetList tiles;
  for (auto& asset : camera.assets)
    tiles.push_back(std::make_shared<PhotoAsset>(asset->filePath(), asset->url(), PhotoAssetType::Video,
                                                 asset->creationDate(), 0));
  auto plain = std::make_shared<KMAssetGridViewController>("Tiles", tiles, picker.get());
  picker->popViewControllerAnimated(KMAnimated::No);
  picker->pushViewControllerAnimated(plain, KMAnimated::No);
  host.window().render(context);
  std::vector<double> plainTimes, plainCPUTimes;
  scrollThrough(host, *plain, context, plainTimes, plainCPUTimes, nullptr);

  std::vector<double> fills;
  for (int i = 0; i < 1000; ++i) {
    const auto fillStart = Stopwatch::now();
    KMContextPaint(context, UIColor::colorWithWhiteAlpha((i % 2) ? 1 : 0.9, 1));
    KMContextFlush(context);
    fills.push_back(milliseconds(fillStart));
  }
  const double median = percentile(frameTimes, 0.5), p99 = percentile(frameTimes, 0.99);
  const double fillMedian = percentile(fills, 0.5);
  const int visibleItems = int(table.indexPathsForVisibleRows().size()) * KMAssetGridViewController::kColumns;
  double waitingMean = 0;
  int framesAllShown = 0;
  for (int w : waiting) {
    waitingMean += w;
    framesAllShown += w == 0;
  }
  waitingMean /= double(std::max<std::size_t>(1, waiting.size()));

  std::printf("  library read (albums and items)      %.1f ms\n", libraryRead);
  std::printf("  album opened → all %d visible thumbnails drawn   %.1f ms (%d frames)\n", visibleItems,
              firstFullFrame, frames);
  std::printf("  scrolling %zu frames at scale 2 (640x960 px), %.0f pt per frame\n", frameTimes.size(),
              kPointsPerFrame);
  std::printf("  frame time   median %.3f ms   p99 %.3f ms   max %.3f ms   (target p99 < 8 ms)\n", median, p99,
              percentile(frameTimes, 1.0));
  std::printf("  main thread's CPU per frame   median %.3f ms   p99 %.3f ms   (wall minus this: waiting for a core)\n",
              percentile(frameCPUTimes, 0.5), percentile(frameCPUTimes, 0.99));
  std::printf("  the scroll took %.0f ms of wall time and %.0f ms of CPU (all threads, decoding included)\n",
              scrollWall, scrollCPU);
  std::printf("  thumbnails   %llu decoded, %zu cached (bound %zu); visible items waiting: mean %.1f of %d, "
              "frames with all shown %d%%\n",
              static_cast<unsigned long long>(picker->thumbnailLoader()->decodedCount()),
              picker->thumbnailLoader()->cachedCount(), picker->thumbnailLoader()->capacity(), waitingMean,
              visibleItems, int(100.0 * framesAllShown / double(std::max<std::size_t>(1, waiting.size()))));
  std::printf("  of which delivering thumbnails (main loop turn)   median %.3f ms   p99 %.3f ms\n",
              percentile(deliveryTimes, 0.5), percentile(deliveryTimes, 0.99));
  const double plainMedian = percentile(plainTimes, 0.5), plainP99 = percentile(plainTimes, 0.99);
  std::printf("  no decoding  median %.3f ms   p99 %.3f ms   (the same scroll over tiles; main thread's CPU "
              "median %.3f ms, p99 %.3f ms)\n",
              plainMedian, plainP99, percentile(plainCPUTimes, 0.5), percentile(plainCPUTimes, 0.99));
  std::printf("  bare fill    median %.3f ms\n", fillMedian);
  std::printf("  ratio        frame median / fill median = %.1f;  p99 / p99 without decoding = %.2f\n",
              fillMedian > 0 ? median / fillMedian : 0, plainP99 > 0 ? p99 / plainP99 : 0);
  double load[1] = {0};
  if (getloadavg(load, 1) == 1)
    std::printf("  load average %.1f (other work on the machine stretches the tail)\n", load[0]);
  std::printf("  whole run (album kept) %.1f s wall, %.1f s CPU\n", milliseconds(runStart) / 1000,
              (cpuMilliseconds(CLOCK_PROCESS_CPUTIME_ID) - processCPUStart) / 1000);
  picker.reset();
  return 0;
}
