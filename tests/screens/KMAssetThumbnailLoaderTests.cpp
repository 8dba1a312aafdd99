// The picker's thumbnails: decoded off the main thread, handed back on it,
// kept in a cache that never grows past its bound.
#include <fstream>
#include <map>

#include "UIKitTestSupport.h"
#include "graphics/UIColor.h"
#include "graphics/UIGraphicsImageContext.h"
#include "graphics/UIImageRepresentation.h"
#include "platform/RunLoop.h"
#include "screens/viewing/KMAssetThumbnailLoader.h"
#include "uikit/CGContext.h"

namespace kdisk::test {
namespace {

class AssetThumbnailLoaderTest : public UIKitTest {
 protected:
  std::shared_ptr<PhotoAsset> picture(int i, int width, int height) {
    UIGraphicsImageContext context(CGSizeMake(width, height), KMImageContextOpacity::Opaque, 1);
    CGContextFillRect(context.context(), CGRectMake(0, 0, width, height), UIColor::colorWithRGB255(i * 20, 90, 200));
    auto jpeg = UIImageJPEGRepresentation(context.image().get(), 0.9);
    const std::string path = m_folder.file("p" + std::to_string(i) + ".jpg");
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(jpeg->data()), std::streamsize(jpeg->size()));
    return PhotoLibrary::assetForFilePath(path);
  }
  TemporaryDirectory m_folder;
};

TEST_F(AssetThumbnailLoaderTest, ThumbnailsArriveOnTheMainThreadIntoABoundedCache) {
  auto loader = KMAssetThumbnailLoader::create(20, 5);
  std::vector<std::shared_ptr<PhotoAsset>> assets;
  for (int i = 0; i < 12; ++i) assets.push_back(picture(i, 300 + i * 10, 200));
  std::map<int, std::shared_ptr<UIImage>> arrived;
  std::vector<int> order;
  bool offMain = false;
  std::vector<KMThumbnailRequestId> requests;
  for (int i = 0; i < 12; ++i) {
    requests.push_back(loader->requestThumbnailForAsset(assets[std::size_t(i)], [&, i](auto& image) {
      offMain |= !RunLoop::isMainThread();
      arrived[i] = image;
      order.push_back(i);
    }));
  }
  // Nothing is answered before the main loop turns; a cancelled request never is.
  EXPECT_TRUE(arrived.empty());
  loader->cancel(requests[10]);
  loader->cancel(requests[11]);
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return arrived.size() == 10; }, 20));
  RunLoop::main().runUntil([] { return false; }, 0.2);
  EXPECT_EQ(arrived.size(), 10u);
  EXPECT_FALSE(arrived.contains(10) || arrived.contains(11));
  EXPECT_FALSE(offMain);
  for (auto& [i, image] : arrived) {
    ASSERT_NE(image, nullptr) << i;
    EXPECT_EQ(image->pixelWidth(), 20);  // square, scale 1
    EXPECT_EQ(image->pixelHeight(), 20);
  }
  EXPECT_LE(loader->cachedCount(), 5u);

  // The latest arrival is cached and answers without another decode.
  const auto decoded = loader->decodedCount();
  const int last = order.back();
  ASSERT_NE(loader->cachedThumbnailForAsset(*assets[std::size_t(last)]), nullptr);
  bool again = false;
  loader->requestThumbnailForAsset(assets[std::size_t(last)], [&](auto& image) { again = image != nullptr; });
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return again; }, 5));
  EXPECT_EQ(loader->decodedCount(), decoded);

  // A video and a broken picture answer with nothing, and are not cached.
  auto video = std::make_shared<PhotoAsset>(m_folder.file("clip.mp4"), URL(), PhotoAssetType::Video, Date{0}, 0);
  bool videoAnswered = false;
  loader->requestThumbnailForAsset(video, [&](auto& image) { videoAnswered = image == nullptr; });
  EXPECT_TRUE(videoAnswered);
  m_folder.write("broken.jpg", "\xFF\xD8not a picture");
  auto broken = PhotoLibrary::assetForFilePath(m_folder.file("broken.jpg"));
  ASSERT_NE(broken, nullptr);
  std::optional<bool> brokenEmpty;
  loader->requestThumbnailForAsset(broken, [&](auto& image) { brokenEmpty = image == nullptr; });
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return brokenEmpty.has_value(); }, 5));
  EXPECT_TRUE(*brokenEmpty);
  EXPECT_EQ(loader->cachedThumbnailForAsset(*broken), nullptr);
}

}  // namespace
}  // namespace kdisk::test
