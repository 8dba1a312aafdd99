#include <filesystem>

#include "PreviewTestFiles.h"
#include "UIKitTestSupport.h"
#include "platform/RunLoop.h"
#include "uikit/UINavigationController.h"
#include "uikit/UINavigationItem.h"
#include "uikit/preview/KMPreviewPDFView.h"
#include "uikit/preview/KMPreviewPictureView.h"
#include "uikit/preview/KMPreviewTextView.h"
#include "uikit/preview/QLPreviewController.h"

namespace kdisk::test {
namespace {

using ::testing::HasSubstr;

class QLPreviewControllerTest : public UIKitTest {
protected:
  std::filesystem::path file(const std::string& name, const std::string& bytes) {
    auto path = std::filesystem::path(m_folder.path()) / name;
    writeFile(path, bytes);
    return path;
  }

  // Pushes a preview of `path` and waits until it shows content or a message.
  void show(const std::filesystem::path& path) {
    m_files->files = {URL::fileURLWithPath(path.string())};
    m_preview = std::make_shared<QLPreviewController>();
    m_preview->setDataSource(m_files);
    m_preview->setCurrentPreviewItemIndex(0);
    m_navigation = std::make_shared<UINavigationController>(m_preview);
    m_host->setRootViewController(m_navigation);
    m_host->settle();
    waitForContentOrMessage();
  }

  void waitForContentOrMessage() {
    ASSERT_TRUE(RunLoop::main().runUntil(
        [&] {
          return m_preview->isShowingContent() || !m_preview->contentView()->message().empty();
        },
        30));
    m_host->settle();
  }

  std::filesystem::path artefact(const std::string& name) {
    auto folder = std::filesystem::path(KDISK_BINARY_DIR) / "artefacts" / "viewing";
    std::filesystem::create_directories(folder);
    return folder / name;
  }

  static bool previewable(const std::filesystem::path& path) {
    return QLPreviewController::canPreviewItem(URL::fileURLWithPath(path.string()));
  }

  TemporaryDirectory m_folder;
  std::shared_ptr<FileList> m_files = std::make_shared<FileList>();
  std::shared_ptr<QLPreviewController> m_preview;
  std::shared_ptr<UINavigationController> m_navigation;
};

TEST_F(QLPreviewControllerTest, CanPreviewDecidesByContentTypeAndHeaderOfRealFiles) {
  const std::string jpeg = jpegBytes(640, 480);
  EXPECT_TRUE(previewable(file("photo.jpg", jpeg)));
  EXPECT_TRUE(previewable(file("picture.png", pngBytes(40, 30))));
  const auto pdf = std::filesystem::path(m_folder.path()) / "report.pdf";
  writeTestPDF(pdf, 1);
  EXPECT_TRUE(previewable(pdf));
  EXPECT_TRUE(previewable(file("notes.txt", "Заметки\nsecond line\n")));
  EXPECT_TRUE(previewable(file("main.cpp", "int main() { return 0; }\n")));
  // The header is whole, so it is offered; the viewer shows what arrived.
  EXPECT_TRUE(previewable(file("cut.jpg", jpeg.substr(0, jpeg.size() / 2))));

  std::string blob(3000, '\0');
  for (std::size_t i = 0; i < blob.size(); ++i)
    blob[i] = char((i * 7919) % 251);
  EXPECT_FALSE(previewable(file("blob.pdf", blob)));
  EXPECT_FALSE(previewable(file("blob.jpg", blob)));
  EXPECT_FALSE(previewable(file("empty.txt", "")));
  EXPECT_FALSE(previewable(file("archive.zip", "PK\x03\x04" + blob)));
  EXPECT_FALSE(previewable(std::filesystem::path(m_folder.path()) / "missing.png"));
  EXPECT_FALSE(QLPreviewController::canPreviewItem(*URL::fromString("https://example.org/a.png")));
}

TEST_F(QLPreviewControllerTest, APictureFillsTheWidthScrollsAndDoubleTapZoomsToTwiceAndBack) {
  show(file("tall.jpg", jpegBytes(800, 1200)));
  ASSERT_EQ(m_preview->currentKind(), KMPreviewKind::Picture);
  auto* picture = static_cast<KMPreviewPictureView*>(m_preview->contentView());
  ASSERT_TRUE(picture->isShowingContent());
  const CGFloat width = picture->bounds().size.width;
  EXPECT_EQ(width, 320);
  EXPECT_EQ(picture->contentSize().width, 320);
  EXPECT_EQ(picture->contentSize().height, 480);
  EXPECT_EQ(m_preview->navigationItem().title(), "tall.jpg");
  ASSERT_TRUE(m_host->savePNG(artefact("viewer-picture.png").string()));
  // Red over blue: the top of the screen shows red, the bottom blue.
  auto shot = m_host->snapshot();
  EXPECT_GT(shot->pixelAt(300, 80).red, 180);
  EXPECT_GT(shot->pixelAt(300, 400).blue, 180);

  const CGPoint tap = {200, 300};
  m_host->tapPoint(tap);
  m_host->tapPoint(tap);
  EXPECT_EQ(picture->zoomScale(), 2);
  EXPECT_EQ(picture->contentSize().width, 640);
  EXPECT_EQ(picture->contentSize().height, 960);
  EXPECT_GT(picture->contentOffset().x, 0);
  m_host->advance(1);
  m_host->tapPoint(tap);
  m_host->tapPoint(tap);
  EXPECT_EQ(picture->zoomScale(), 1);
  EXPECT_EQ(picture->contentSize().width, 320);
}

TEST_F(QLPreviewControllerTest,
       PDFPagesRenderAsTheyScrollIntoViewAndTheSecondPageShowsItsOwnContent) {
  const auto pdf = std::filesystem::path(m_folder.path()) / "two.pdf";
  writeTestPDF(pdf, 2);
  show(pdf);
  ASSERT_EQ(m_preview->currentKind(), KMPreviewKind::PDF);
  auto* pages = static_cast<KMPreviewPDFView*>(m_preview->contentView());
  ASSERT_EQ(pages->pageCount(), 2);
  EXPECT_EQ(pages->pageFrame(0).size.width, 320 - 2 * KMPreviewPDFView::kPageSpacing);

  const CGRect second = pages->pageFrame(1);
  pages->setContentOffset({0, second.origin.y - KMPreviewPDFView::kPageSpacing});
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return pages->pageImage(1) != nullptr; }, 30));
  m_host->settle();
  EXPECT_EQ(pages->pageImage(1)->pixelWidth(), int(second.size.width));
  ASSERT_TRUE(m_host->savePNG(artefact("viewer-pdf-page2.png").string()));
  // The second page's band is blue, where the first page's is red.
  auto shot = m_host->snapshot();
  const KMPixel band = shot->pixelAt(160, 64 + 30);
  EXPECT_GT(band.blue, 150);
  EXPECT_LT(band.red, 100);
}

TEST_F(QLPreviewControllerTest, ALongPDFKeepsOnlyThePagesNearTheScreenDrawn) {
  const auto pdf = std::filesystem::path(m_folder.path()) / "long.pdf";
  writeTestPDF(pdf, 30);
  show(pdf);
  auto* pages = static_cast<KMPreviewPDFView*>(m_preview->contentView());
  ASSERT_EQ(pages->pageCount(), 30);
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return pages->pageImage(1) != nullptr; }, 30));
  pages->setContentOffset(pages->maximumContentOffset());
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return pages->pageImage(29) != nullptr; }, 30));
  EXPECT_EQ(pages->pageImage(0), nullptr);
  EXPECT_LE(pages->drawnPageCount(), 4u);
}

TEST_F(QLPreviewControllerTest, TextIsWrappedAndUndecodableBytesBecomeReplacementCharacters) {
  std::string text = "Список покупок:\n- молоко\n- хлеб\n";
  text += "Latin-1 caf\xE9 au lait\n";
  text += std::string(30, ' ') +
          "A long line that must wrap on a phone screen rather than run off its edge.\n";
  show(file("list.txt", text));
  ASSERT_EQ(m_preview->currentKind(), KMPreviewKind::Text);
  auto* view = static_cast<KMPreviewTextView*>(m_preview->contentView());
  EXPECT_THAT(view->text(), HasSubstr("Список покупок:"));
  EXPECT_THAT(view->text(), HasSubstr("caf\xEF\xBF\xBD au lait"));
  EXPECT_EQ(view->contentSize().width, 320);
  ASSERT_TRUE(m_host->savePNG(artefact("viewer-text.png").string()));

  EXPECT_EQ(KMPreviewTextView::displayableText(std::string("\xFF\xFE"
                                                           "h\0i\0\x1F\x04",
                                                           8)),
            "hiП");
}

TEST_F(QLPreviewControllerTest, FilesThatClaimAKindButDoNotDecodeShowAMessage) {
  // A whole header over scrambled picture data.
  std::string png = pngBytes(640, 480);
  for (std::size_t i = 100; i < 130; ++i)
    png[i] = char(png[i] ^ 0x5A);
  const auto damaged = file("damaged.png", png);
  EXPECT_TRUE(previewable(damaged));
  show(damaged);
  EXPECT_FALSE(m_preview->isShowingContent());
  EXPECT_FALSE(m_preview->contentView()->message().empty());
  EXPECT_NE(m_host->findViewWithText(m_preview->contentView()->message()), nullptr);

  // Claims PDF (name and marker) but holds no document.
  show(file("fake.pdf", "%PDF-1.4\nnothing else\n"));
  EXPECT_EQ(m_preview->currentKind(), KMPreviewKind::PDF);
  EXPECT_FALSE(m_preview->contentView()->message().empty());
}

} // namespace
} // namespace kdisk::test
