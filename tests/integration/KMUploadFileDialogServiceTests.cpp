// The upload dialog on the headless host: the multi-selection picker over a
// temporary photo library, the platform picker and camera stand-in, and the
// folder dialog, with what they queue arriving on kdisk-service.
#include <gmock/gmock.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "ScreenServiceFixture.h"
#include "graphics/UIGraphicsImageContext.h"
#include "graphics/UIImageRepresentation.h"
#include "manager/KMUploadQueue.h"
#include "screens/viewing/ELCAlbumPickerController.h"
#include "screens/viewing/KMAssetGridViewController.h"
#include "screens/viewing/KMAssetThumbnailLoader.h"
#include "screens/viewing/KMAssetThumbnailView.h"
#include "screens/viewing/KMUploadFileDialog.h"
#include "uikit/CGContext.h"
#include "uikit/KMHeadlessImagePicker.h"
#include "uikit/UIBarButtonItem.h"
#include "uikit/UINavigationController.h"
#include "uikit/UINavigationItem.h"
#include "uikit/UITableViewCell.h"

namespace kdisk::test {
namespace {

namespace fs = std::filesystem;
using ::testing::UnorderedElementsAre;

struct DialogAnswers : KMUploadFileDialogDelegate {
  int started = 0;
  int cancelled = 0;
  void didStartUploadFiles(KMUploadFileDialog&) override { ++started; }
  void didCancelUploadFileDialog(KMUploadFileDialog&) override { ++cancelled; }
};

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// A picture of its own colour, so every file has different bytes.
std::string pictureBytes(int seed, bool png) {
  UIGraphicsImageContext context(CGSizeMake(96, 64), KMImageContextOpacity::Opaque, 1);
  CGContextFillRect(context.context(), CGRectMake(0, 0, 96, 64),
                    UIColor::colorWithRGB255(40 + seed * 7 % 200, 90 + seed * 13 % 160, 200 - seed * 5 % 150));
  CGContextFillEllipseInRect(context.context(), CGRectMake(20 + seed % 40, 10, 30, 30), UIColor::whiteColor());
  auto image = context.image();
  auto bytes = png ? UIImagePNGRepresentation(image.get()) : UIImageJPEGRepresentation(image.get(), 0.9);
  return std::string(bytes->begin(), bytes->end());
}

// Lets the test give up root while it lasts, so folder permissions bind
// (a process running as root reads every folder).
class Unprivileged {
 public:
  Unprivileged() : m_active(::geteuid() == 0) {
    if (m_active) {
      EXPECT_TRUE(::setresgid(65534, 65534, 0) == 0 && ::setresuid(65534, 65534, 0) == 0);
    }
  }
  ~Unprivileged() {
    if (m_active) {
      EXPECT_TRUE(::setresuid(0, 0, 0) == 0 && ::setresgid(0, 0, 0) == 0);
    }
  }

 private:
  bool m_active;
};

class UploadFileDialogTest : public ScreenServiceTest {
 protected:
  void SetUp() override {
    ScreenServiceTest::SetUp();
    if (HasFatalFailure()) return;
    // Traversable by anyone, so a test without root privileges still reaches it.
    fs::permissions(m_files.path(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    m_pictures = m_files.path() + "/Pictures";
    m_videos = m_files.path() + "/Videos";
    fs::create_directories(m_pictures);
    fs::create_directories(m_videos);
    m_library.emplace("KDISK_PHOTO_LIBRARY_DIRS", m_pictures + ":" + m_videos);
    ASSERT_EQ(dav("MKCOL", "/disk/Photos/").status, 201);
    m_manager->reachabilityChanged(kSCNetworkReachabilityFlagsReachable);
    // The store opens now, while the test may still write its folder.
    m_storage->contentsOfDirectoryAtURLIncludeHidden(root(), true);
  }
  void TearDown() override {
    if (fs::exists(m_pictures)) fs::permissions(m_pictures, fs::perms::owner_all);
    ScreenServiceTest::TearDown();
  }

  fs::path write(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  URL photos() const { return at("/disk/Photos/"); }

  std::shared_ptr<KMUploadFileDialog> show() {
    auto dialog = std::make_shared<KMUploadFileDialog>(photos());
    dialog->setDelegate(m_answers);
    dialog->setFileManagerForTesting(m_manager);
    m_navigation = std::make_shared<UINavigationController>(dialog);
    m_host->setRootViewController(m_navigation);
    m_host->advance(0.5);
    return dialog;
  }
  // What the dialog's navigation controller presents over it.
  UIViewController* presented() const { return m_navigation->presentedViewController(); }

  // Names and bytes of what the service holds in /disk/Photos.
  std::map<std::string, std::string> photosOnService() const {
    std::map<std::string, std::string> files;
    for (auto& entry : fs::directory_iterator(aliceRoot() / "Photos"))
      files[entry.path().filename().string()] = readFile(entry.path());
    return files;
  }

  void waitForUploads(std::size_t total) {
    ASSERT_TRUE(m_uploads.waitFor({kKMKMWebDAVFileManagerDidUploadFile, kKMKMWebDAVFileManagerDidFailToUploadFile},
                                  total, 60));
    m_uploads.drain();
    EXPECT_EQ(m_uploads.count(kKMKMWebDAVFileManagerDidFailToUploadFile), 0u);
  }

  TemporaryDirectory m_files;
  std::string m_pictures, m_videos;
  std::optional<ScopedEnvironmentVariable> m_library;
  std::shared_ptr<UINavigationController> m_navigation;
  std::shared_ptr<DialogAnswers> m_answers = std::make_shared<DialogAnswers>();
  NotificationRecorder m_uploads{{kKMKMWebDAVFileManagerDidUploadFile, kKMKMWebDAVFileManagerDidFailToUploadFile}};
};

TEST_F(UploadFileDialogTest, PicturesChosenAcrossAScrollArriveOnceEachByteForByte) {
  std::vector<fs::path> holidays;
  for (int i = 0; i < 30; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "IMG_%04d.%s", i, i % 10 == 9 ? "png" : "jpg");
    holidays.push_back(write(m_pictures + "/Holidays/" + name, pictureBytes(i, i % 10 == 9)));
  }
  write(m_pictures + "/Holidays/zz clip.mp4", std::string(4096, 'v'));
  write(m_pictures + "/Family/Kids/party.png", pictureBytes(77, true));
  write(m_videos + "/clip.mov", std::string(2048, 'm'));

  auto dialog = show();
  saveArtifact("upload_dialog.png");
  ASSERT_TRUE(m_host->tapText("Photos and videos"));
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return presented() != nullptr; }, 10));
  auto* picker = dynamic_cast<ELCImagePickerController*>(presented());
  ASSERT_NE(picker, nullptr);
  auto* albums = dynamic_cast<ELCAlbumPickerController*>(picker->topViewController());
  ASSERT_NE(albums, nullptr);
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return !albums->isLoading(); }, 10));
  m_host->advance(0.5);
  // Albums with something to pick: the empty top Pictures folder is left out.
  std::vector<std::string> names;
  for (auto& group : albums->assetGroups()) names.push_back(group.album.name() + " " + std::to_string(group.assets.size()));
  EXPECT_THAT(names, UnorderedElementsAre("Holidays 31", "Kids 1", "Videos 1"));
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return picker->thumbnailLoader()->decodedCount() >= 2; }, 10));
  m_host->settle();
  EXPECT_NE(m_host->findViewWithText("31 items"), nullptr);
  saveArtifact("photo_picker_albums.png");

  ASSERT_TRUE(m_host->tapText("Holidays"));
  m_host->advance(0.5);
  auto* grid = dynamic_cast<KMAssetGridViewController*>(picker->topViewController());
  ASSERT_NE(grid, nullptr);
  ASSERT_EQ(grid->assets().size(), 31u);
  EXPECT_FALSE(grid->navigationItem().rightBarButtonItem()->isEnabled());
  for (std::size_t index : {1u, 6u}) {
    auto* thumbnail = grid->thumbnailViewForAssetAtIndex(index);
    ASSERT_NE(thumbnail, nullptr);
    ASSERT_TRUE(m_host->tapView(*thumbnail));
  }
  // Thumbnails arrive as they decode; the first screenful, videos aside, fills in.
  ASSERT_TRUE(RunLoop::main().runUntil(
      [&] {
        for (std::size_t i = 0; i < 20; ++i)
          if (!grid->thumbnailViewForAssetAtIndex(i)->thumbnail()) return false;
        return true;
      },
      10));
  m_host->settle();
  EXPECT_TRUE(grid->thumbnailViewForAssetAtIndex(6)->isChosen());
  saveArtifact("photo_picker_grid.png");

  // Down to the last rows; the PNG near the end is chosen there.
  m_host->drag({{160, 400}, {160, 120}}, 0.4);
  m_host->advance(3);
  auto* far = grid->thumbnailViewForAssetAtIndex(29);
  ASSERT_NE(far, nullptr);
  ASSERT_TRUE(m_host->tapView(*far));
  // A second tap takes a choice back.
  ASSERT_TRUE(m_host->tapView(*grid->thumbnailViewForAssetAtIndex(28)));
  ASSERT_TRUE(m_host->tapView(*grid->thumbnailViewForAssetAtIndex(28)));
  EXPECT_FALSE(grid->isChosen(28));
  ASSERT_TRUE(m_host->tapText("Done"));
  m_host->advance(0.5);
  EXPECT_EQ(m_answers->started, 1);
  EXPECT_EQ(presented(), nullptr);

  waitForUploads(3);
  EXPECT_EQ(photosOnService(),
            (std::map<std::string, std::string>{{"IMG_0001.jpg", readFile(holidays[1])},
                                                {"IMG_0006.jpg", readFile(holidays[6])},
                                                {"IMG_0029.png", readFile(holidays[29])}}));
  EXPECT_EQ(servedCount("PUT"), 3u);
}

TEST_F(UploadFileDialogTest, ARefusedLibraryFallsBackToThePlatformPickerAndQuickPicksGetDistinctNames) {
  write(m_pictures + "/Album/hidden.jpg", pictureBytes(1, false));
  const auto first = write(m_files.path() + "/picked/first.jpg", pictureBytes(2, false));
  const auto second = write(m_files.path() + "/picked/second.jpg", pictureBytes(3, false));
  fs::permissions(m_pictures, fs::perms::none);
  KMHeadlessImagePicker platform({UIImagePickerControllerSourceType::PhotoLibrary});
  auto dialog = show();

  const auto pickThroughThePlatform = [&](const fs::path& file) {
    {
      Unprivileged unprivileged;
      ASSERT_TRUE(m_host->tapText("Photos and videos"));
      ASSERT_TRUE(RunLoop::main().runUntil([&] { return platform.presentedPicker() != nullptr; }, 10));
    }
    EXPECT_EQ(presented(), nullptr);
    EXPECT_THAT(platform.presentedPicker()->mediaTypes(), UnorderedElementsAre(kUTTypeImage, kUTTypeMovie));
    ASSERT_TRUE(platform.pickFile(file.string()));
  };
  // Taps move the run clock a little: start just after a whole second, so
  // both picks fall within the same one.
  const double now = RunLoop::main().now();
  m_host->advance(std::ceil(now) - now + 0.01);
  // Within one second of the run clock: the same date name twice. (Nothing
  // may be sent while the test runs without privileges, so the first upload
  // ends before the second pick.)
  pickThroughThePlatform(first);
  waitForUploads(1);
  pickThroughThePlatform(second);
  EXPECT_EQ(m_answers->started, 2);
  waitForUploads(2);
  const std::string name = manager::KMUploadQueue::fileNameDateFormatter().stringFromDate(Date{RunLoop::main().now()});
  EXPECT_EQ(photosOnService(), (std::map<std::string, std::string>{{name + ".jpg", readFile(first)},
                                                                   {name + " (1).jpg", readFile(second)}}));

  // Cancelling the chooser queues nothing.
  {
    Unprivileged unprivileged;
    ASSERT_TRUE(m_host->tapText("Photos and videos"));
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return platform.presentedPicker() != nullptr; }, 10));
  }
  ASSERT_TRUE(platform.cancel());
  EXPECT_EQ(m_answers->started, 2);
}

TEST_F(UploadFileDialogTest, WithoutCameraOrPickerTheDialogSaysSoAndACaptureIsSentAsJPEG) {
  fs::remove_all(m_pictures);
  fs::remove_all(m_videos);
  auto dialog = show();
  // No library and no platform picker: the person is told.
  ASSERT_TRUE(m_host->tapText("Photos and videos"));
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return !KMAlertPanel::visiblePanels().empty(); }, 10));
  m_host->advance(0.5);
  EXPECT_NE(m_host->findViewWithText("The photo library cannot be opened."), nullptr);
  ASSERT_TRUE(m_host->tapText("OK"));
  m_host->advance(0.5);
  ASSERT_TRUE(m_host->tapText("Take a photo or video"));
  m_host->advance(0.5);
  EXPECT_NE(m_host->findViewWithText("There is no camera on this device."), nullptr);
  saveArtifact("upload_dialog_no_camera.png");
  ASSERT_TRUE(m_host->tapText("OK"));
  m_host->advance(0.5);
  EXPECT_EQ(m_answers->started, 0);

  // A platform with a camera hands over pixels; they travel as a JPEG.
  KMHeadlessImagePicker camera({UIImagePickerControllerSourceType::Camera});
  ASSERT_TRUE(m_host->tapText("Take a photo or video"));
  ASSERT_NE(camera.presentedPicker(), nullptr);
  EXPECT_EQ(camera.presentedPicker()->sourceType(), UIImagePickerControllerSourceType::Camera);
  UIGraphicsImageContext capture(CGSizeMake(120, 80), KMImageContextOpacity::Opaque, 1);
  CGContextFillRect(capture.context(), CGRectMake(0, 0, 120, 80), UIColor::colorWithRGB255(200, 60, 40));
  ASSERT_TRUE(camera.pickImage(capture.image()));
  waitForUploads(1);
  auto files = photosOnService();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_TRUE(files.begin()->first.ends_with(".jpg"));
  auto sent = UIImage::imageWithData(Bytes(files.begin()->second.begin(), files.begin()->second.end()));
  ASSERT_NE(sent, nullptr);
  EXPECT_EQ(sent->pixelWidth(), 120);
  EXPECT_EQ(files.begin()->second.substr(0, 2), "\xFF\xD8");

  // The folder button opens the folder dialog; a folder made counts as started.
  ASSERT_TRUE(m_host->tapText("Create a folder"));
  m_host->advance(0.5);
  m_host->typeText("Trip");
  ASSERT_TRUE(m_host->tapText("Done"));
  m_host->advance(0.5);
  EXPECT_EQ(m_answers->started, 2);
  EXPECT_EQ(presented(), nullptr);
  ASSERT_TRUE(m_recorder.waitFor(kKMKMWebDAVFileManagerDidCreateDirectory));
  EXPECT_TRUE(existsOnService("Photos/Trip"));

  ASSERT_TRUE(m_host->tapText("Cancel"));
  EXPECT_EQ(m_answers->cancelled, 1);
}

}  // namespace
}  // namespace kdisk::test
