#pragma once
// Square thumbnails of photo library items for the picker, decoded on
// background threads into a cache of bounded size. At most two decode at
// once, the latest requests first (those of one turn of the main loop in
// their own order), so what is on screen now is decoded before what has
// scrolled away; a cancelled request that has not started is never decoded. Videos have no thumbnail (the caller shows a placeholder).
//
// Every operation and every completion runs on the main thread; decoding
// threads see only the path and size they decode. Owned by the picker.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "graphics/UIImage.h"
#include "platform/PhotoLibrary.h"

namespace kdisk {

using KMThumbnailRequestId = std::uint64_t;

class KMAssetThumbnailLoader : public std::enable_shared_from_this<KMAssetThumbnailLoader> {
 public:
  using Completion = std::function<void(const std::shared_ptr<UIImage>& thumbnailOrNull)>;
  static constexpr int kMaximumConcurrentDecodes = 2;

  // Thumbnails of `side` points at the main screen's scale; at most
  // `capacity` kept (the least recently used go first).
  static std::shared_ptr<KMAssetThumbnailLoader> create(CGFloat side, std::size_t capacity);
  ~KMAssetThumbnailLoader();

  CGFloat side() const { return m_side; }
  std::size_t capacity() const { return m_capacity; }
  std::size_t cachedCount() const { return m_cache.size(); }
  // Thumbnails decoded so far (cache hits not counted).
  std::uint64_t decodedCount() const { return m_decodedCount; }

  // The cached thumbnail, made most recent; null when not cached.
  std::shared_ptr<UIImage> cachedThumbnailForAsset(const PhotoAsset& asset);
  // The completion runs once on a later turn of the main loop (a video's at
  // once, with null), unless cancelled before.
  KMThumbnailRequestId requestThumbnailForAsset(const std::shared_ptr<PhotoAsset>& asset, Completion completion);
  void cancel(KMThumbnailRequestId request);

 private:
  struct Job;
  struct Work;
  KMAssetThumbnailLoader(CGFloat side, std::size_t capacity);
  void openBatch();
  void startWorkers();
  void deliver(const std::string& path, std::shared_ptr<UIImage> image);

  CGFloat m_side;
  int m_pixelSide;
  double m_scale;
  std::size_t m_capacity;
  std::uint64_t m_decodedCount = 0;
  KMThumbnailRequestId m_nextRequest = 1;
  bool m_batchOpen = false;
  // Most recent first.
  std::list<std::pair<std::string, std::shared_ptr<UIImage>>> m_recency;
  std::unordered_map<std::string, decltype(m_recency)::iterator> m_cache;
  struct Waiting {
    std::shared_ptr<Job> job;
    std::vector<std::pair<KMThumbnailRequestId, Completion>> completions;
  };
  std::unordered_map<std::string, Waiting> m_waiting;
  std::map<KMThumbnailRequestId, std::string> m_requestPaths;
  std::shared_ptr<Work> m_work;
};

}  // namespace kdisk
