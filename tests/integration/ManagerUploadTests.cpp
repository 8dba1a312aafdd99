// The manager's upload operations reach the service through the queue it owns.
#include <fstream>

#include "ManagerFixture.h"
#include "manager/KMUploadQueue.h"
#include "platform/RunLoop.h"

namespace kdisk::test {
namespace {

class ManagerUploadTest : public ManagerServiceTest {};

TEST_F(ManagerUploadTest, TwoFilesQueuedThroughTheManagerLandOnTheService) {
  NotificationRecorder uploads({kKMKMWebDAVFileManagerDidUploadFile, kKMKMWebDAVFileManagerDidFailToUploadFile});
  auto source = scratchFile("first.txt", 70'000);
  // Nothing starts while the host is not known to be reachable.
  auto first = m_manager->uploadFileForFileURLTo(URL::fileURLWithPath(source.string()), at("/disk/first.txt"));
  ASSERT_TRUE(first.hasValue());
  auto second = m_manager->uploadFileWithDataTo("second body", at("/disk/second.txt"));
  ASSERT_TRUE(second.hasValue());
  EXPECT_FALSE(m_manager->uploadingFileURL());

  m_manager->reachabilityChanged(kSCNetworkReachabilityFlagsReachable);
  ASSERT_TRUE(uploads.waitFor({kKMKMWebDAVFileManagerDidUploadFile, kKMKMWebDAVFileManagerDidFailToUploadFile}, 2));
  EXPECT_EQ(uploads.count(kKMKMWebDAVFileManagerDidUploadFile), 2u);
  EXPECT_EQ(std::filesystem::file_size(aliceRoot() / "first.txt"), 70'000u);
  std::ifstream in(aliceRoot() / "second.txt");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "second body");
  EXPECT_TRUE(m_storage->uploadsInDirectoryAtURL(std::nullopt).empty());
  // Each finished upload is added to the cached listing.
  EXPECT_EQ(cachedNames(root()), (std::vector<std::string>{"first.txt", "second.txt"}));
  EXPECT_TRUE(RunLoop::main().runUntil([&] { return !m_manager->uploadingFileURL(); }, 10));
}

}  // namespace
}  // namespace kdisk::test
