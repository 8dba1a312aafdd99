#include "screens/viewing/KMAssetThumbnailLoader.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <deque>
#include <mutex>

#include "graphics/ImageScaling.h"
#include "graphics/Screen.h"
#include "platform/DispatchQueue.h"

namespace kdisk {

struct KMAssetThumbnailLoader::Job {
  std::string path;
  std::atomic<bool> cancelled{false};
};

// What the decoding threads share with the loader; outlives it while they run.
// The stack holds the newest batch (the requests of one turn of the main
// loop, such as one layout of the grid) at its front, in the batch's own
// order: rows appear top to bottom, and a freshly scrolled-in row still
// comes before those that scrolled away.
struct KMAssetThumbnailLoader::Work {
  std::mutex mutex;
  std::deque<std::shared_ptr<Job>> stack;
  std::size_t batchLength = 0;  // jobs of the newest batch still at the front
  int running = 0;

  void pushNewest(std::shared_ptr<Job> job) {
    stack.insert(stack.begin() + std::ptrdiff_t(std::min(batchLength, stack.size())), std::move(job));
    ++batchLength;
  }
  std::shared_ptr<Job> popNext() {
    auto job = stack.front();
    stack.pop_front();
    if (batchLength > 0) --batchLength;
    return job;
  }
};

std::shared_ptr<KMAssetThumbnailLoader> KMAssetThumbnailLoader::create(CGFloat side, std::size_t capacity) {
  return std::shared_ptr<KMAssetThumbnailLoader>(new KMAssetThumbnailLoader(side, capacity));
}

KMAssetThumbnailLoader::KMAssetThumbnailLoader(CGFloat side, std::size_t capacity)
    : m_side(side),
      m_pixelSide(std::max(1, int(std::lround(side * mainScreenScale())))),
      m_scale(mainScreenScale()),
      m_capacity(std::max<std::size_t>(1, capacity)),
      m_work(std::make_shared<Work>()) {}

KMAssetThumbnailLoader::~KMAssetThumbnailLoader() {
  std::lock_guard lock(m_work->mutex);
  for (auto& job : m_work->stack) job->cancelled = true;
  m_work->stack.clear();
}

std::shared_ptr<UIImage> KMAssetThumbnailLoader::cachedThumbnailForAsset(const PhotoAsset& asset) {
  auto found = m_cache.find(asset.filePath());
  if (found == m_cache.end()) return nullptr;
  m_recency.splice(m_recency.begin(), m_recency, found->second);
  return found->second->second;
}

KMThumbnailRequestId KMAssetThumbnailLoader::requestThumbnailForAsset(const std::shared_ptr<PhotoAsset>& asset,
                                                                      Completion completion) {
  const KMThumbnailRequestId id = m_nextRequest++;
  if (!asset || asset->type() == PhotoAssetType::Video) {
    completion(nullptr);
    return id;
  }
  const std::string& path = asset->filePath();
  m_requestPaths.emplace(id, path);
  auto& waiting = m_waiting[path];
  waiting.completions.emplace_back(id, std::move(completion));
  if (auto cached = m_cache.find(path); cached != m_cache.end()) {
    // Answered on the next turn like any other, so callers see one order.
    std::weak_ptr<KMAssetThumbnailLoader> weak = weak_from_this();
    dispatchMain([weak, path, image = cached->second->second] {
      if (auto self = weak.lock()) self->deliver(path, image);
    });
    return id;
  }
  openBatch();
  if (!waiting.job) {
    waiting.job = std::make_shared<Job>();
    waiting.job->path = path;
    std::lock_guard lock(m_work->mutex);
    m_work->pushNewest(waiting.job);
  } else {
    // Asked again: it is wanted now, so it joins the newest batch.
    std::lock_guard lock(m_work->mutex);
    auto& stack = m_work->stack;
    auto found = std::find(stack.begin(), stack.end(), waiting.job);
    if (found != stack.end() && std::size_t(found - stack.begin()) >= m_work->batchLength) {
      stack.erase(found);
      m_work->pushNewest(waiting.job);
    }
  }
  startWorkers();
  return id;
}

void KMAssetThumbnailLoader::openBatch() {
  if (m_batchOpen) return;
  m_batchOpen = true;
  {
    std::lock_guard lock(m_work->mutex);
    m_work->batchLength = 0;
  }
  std::weak_ptr<KMAssetThumbnailLoader> weak = weak_from_this();
  dispatchMain([weak] {
    if (auto self = weak.lock()) self->m_batchOpen = false;
  });
}

void KMAssetThumbnailLoader::cancel(KMThumbnailRequestId request) {
  auto found = m_requestPaths.find(request);
  if (found == m_requestPaths.end()) return;
  const std::string path = found->second;
  m_requestPaths.erase(found);
  auto waiting = m_waiting.find(path);
  if (waiting == m_waiting.end()) return;
  auto& completions = waiting->second.completions;
  std::erase_if(completions, [request](auto& entry) { return entry.first == request; });
  if (completions.empty()) {
    if (waiting->second.job) waiting->second.job->cancelled = true;
    m_waiting.erase(waiting);
  }
}

void KMAssetThumbnailLoader::startWorkers() {
  std::lock_guard lock(m_work->mutex);
  while (m_work->running < kMaximumConcurrentDecodes && m_work->running < int(m_work->stack.size())) {
    ++m_work->running;
    std::weak_ptr<KMAssetThumbnailLoader> weak = weak_from_this();
    DispatchQueue::globalBackgroundQueue()->async([work = m_work, weak, pixelSide = m_pixelSide, scale = m_scale] {
      for (;;) {
        std::shared_ptr<Job> job;
        {
          std::lock_guard lock(work->mutex);
          if (work->stack.empty()) {
            --work->running;
            return;
          }
          job = work->popNext();
        }
        if (job->cancelled) continue;
        auto decoded = UIImage::imageWithContentsOfFileFillingPixels(job->path, pixelSide);
        std::shared_ptr<UIImage> thumbnail =
            decoded ? KMImageByScalingToFillAndCropping(decoded.get(), pixelSide, pixelSide, scale) : nullptr;
        dispatchMain([weak, job, thumbnail] {
          // Kept even when its request went away: it may be asked for again.
          if (auto self = weak.lock()) {
            ++self->m_decodedCount;
            self->deliver(job->path, thumbnail);
          }
        });
      }
    });
  }
}

void KMAssetThumbnailLoader::deliver(const std::string& path, std::shared_ptr<UIImage> image) {
  if (image && !m_cache.contains(path)) {
    m_recency.emplace_front(path, image);
    m_cache[path] = m_recency.begin();
    while (m_cache.size() > m_capacity) {
      m_cache.erase(m_recency.back().first);
      m_recency.pop_back();
    }
  }
  auto waiting = m_waiting.find(path);
  if (waiting == m_waiting.end()) return;
  auto completions = std::move(waiting->second.completions);
  m_waiting.erase(waiting);
  for (auto& [id, completion] : completions) {
    m_requestPaths.erase(id);
    completion(image);
  }
}

}  // namespace kdisk
