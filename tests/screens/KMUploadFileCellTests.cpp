// Upload rows in their three states and the pie that shows their progress.
#include <filesystem>

#include "UIKitTestSupport.h"
#include "graphics/UIGraphicsImageContext.h"
#include "platform/Localization.h"
#include "screens/viewing/KMUploadFileCell.h"
#include "uikit/UIViewController.h"
#include "uikit/UIWindow.h"

namespace kdisk::test {
namespace {

// The pie drawn alone on a transparent 40×40 point image.
std::shared_ptr<UIImage> renderPie(float progress) {
  auto pie = std::make_shared<KMPieProgressView>(CGRectMake(0, 0, 40, 40));
  pie->setProgress(progress);
  UIGraphicsImageContext image(CGSizeMake(40, 40), KMImageContextOpacity::Transparent, 1);
  pie->drawHierarchy(image.context());
  return image.image();
}

const KMPixel kPie{96, 160, 200, 255};
const KMPixel kNothing{0, 0, 0, 0};

TEST(KMPieProgressViewTest, ProgressIsClampedAndTheDiscFillsClockwiseFromTwelve) {
  auto full = renderPie(1.5f);
  for (auto [x, y] : {std::pair{20, 20}, {20, 2}, {37, 20}, {20, 37}, {2, 20}}) EXPECT_EQ(full->pixelAt(x, y), kPie);
  EXPECT_EQ(full->pixelAt(1, 1), kNothing);  // outside the disc

  auto none = renderPie(-0.2f);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 40; ++x) ASSERT_EQ(none->pixelAt(x, y).alpha, 0) << x << "," << y;

  auto quarter = renderPie(0.25f);
  EXPECT_EQ(quarter->pixelAt(30, 10), kPie);
  for (auto [x, y] : {std::pair{10, 10}, {10, 30}, {30, 30}}) EXPECT_EQ(quarter->pixelAt(x, y), kNothing);

  // Past half the same path must still give the wedge, not its complement.
  auto threeQuarters = renderPie(0.75f);
  for (auto [x, y] : {std::pair{30, 10}, {30, 30}, {10, 30}}) EXPECT_EQ(threeQuarters->pixelAt(x, y), kPie);
  EXPECT_EQ(threeQuarters->pixelAt(10, 10), kNothing);

  KMPieProgressView view;
  view.setProgress(std::numeric_limits<float>::quiet_NaN());
  EXPECT_EQ(view.progress(), 0.f);
}

class UploadFileCellTest : public UIKitTest {
 protected:
  UploadFileCellTest() { setPreferredLocalesForTesting(std::vector<LocaleName>{{"en", ""}}); }
  ~UploadFileCellTest() override { setPreferredLocalesForTesting(std::nullopt); }

  std::shared_ptr<KMUploadFileCell> addCell(CGFloat y, const std::string& name) {
    auto cell = std::make_shared<KMUploadFileCell>("UploadCell");
    cell->setFrame(CGRectMake(0, y, 320, 55));
    cell->textLabel().setText(name);
    cell->imageView().setImage(UIImage::imageNamed("filetype_icon_jpg"));
    m_screen->view()->addSubview(cell);
    return cell;
  }
  std::shared_ptr<UIViewController> m_screen = std::make_shared<UIViewController>();
};

TEST_F(UploadFileCellTest, EachStateShowsItsCircleAndText) {
  m_host->setRootViewController(m_screen);
  auto waiting = addCell(20, "2026-12-08 10-00-00.jpg");
  auto sending = addCell(75, "beach.jpg");
  auto failed = addCell(130, "notes.txt");
  auto picked = addCell(185, "movie.mp4");
  for (auto& cell : {waiting, sending, failed, picked}) cell->activateGroupEditModeAnimated(KMAnimated::No);

  sending->setSize(2u << 20);
  sending->setUploadedSize(1536u << 10);  // bytes arriving switch the row to sending
  failed->setErrorDescription("Failed to upload file");
  failed->setState(KMUploadFileCellStateFailed);
  picked->setSize(40u << 20);
  picked->setUploadedSize(3u << 20);
  picked->setMultiSelected(true);
  m_host->settle();

  EXPECT_EQ(sending->state(), KMUploadFileCellStateUploading);
  EXPECT_EQ(sending->detailTextLabel()->text(), "1.5 MB of 2.0 MB");
  EXPECT_FLOAT_EQ(sending->pieProgressView().progress(), 0.75f);
  EXPECT_FALSE(sending->uploadingImageView().isHidden());
  EXPECT_FALSE(sending->pieProgressView().isHidden());
  EXPECT_TRUE(sending->selectionImageView().isHidden());

  EXPECT_FALSE(failed->errorImageView().isHidden());
  EXPECT_EQ(failed->detailTextLabel()->text(), "Failed to upload file");
  EXPECT_TRUE(failed->uploadingImageView().isHidden());
  failed->setErrorDescription("Not enough space");
  EXPECT_EQ(failed->detailTextLabel()->text(), "Not enough space");

  EXPECT_FALSE(waiting->standbyImageView().isHidden());
  EXPECT_TRUE(waiting->detailTextLabel()->text().empty());
  // The row's circle is where a picked row's selection circle goes.
  EXPECT_EQ(waiting->standbyImageView().frame(), waiting->selectionCircleFrame());

  EXPECT_FALSE(picked->selectionImageView().isHidden());
  EXPECT_TRUE(picked->uploadingImageView().isHidden());
  EXPECT_TRUE(picked->pieProgressView().isHidden());

  const auto folder = std::filesystem::path(KDISK_BINARY_DIR) / "artefacts" / "screens";
  std::filesystem::create_directories(folder);
  EXPECT_TRUE(m_host->savePNG((folder / "upload_cells.png").string()));

  // A row made ready for another upload starts over as waiting.
  sending->prepareForReuse();
  EXPECT_EQ(sending->state(), KMUploadFileCellStateWaiting);
  EXPECT_TRUE(sending->pieProgressView().isHidden());
  EXPECT_FALSE(sending->standbyImageView().isHidden());
}

}  // namespace
}  // namespace kdisk::test
