#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ContactSheet.h"
#include "GraphicsTestSupport.h"
#include "graphics/KAThumbnail.h"
#include "graphics/Screen.h"
#include "graphics/UIImage.h"
#include "graphics/UIImageRepresentation.h"

namespace kdisk {
namespace {

// Every image the screens and the manager ask for by name.
const std::vector<std::string> kNamedImages = {"filetype_icon_avi.png",
                                               "filetype_icon_doc.png",
                                               "filetype_icon_eml.png",
                                               "filetype_icon_exe.png",
                                               "filetype_icon_gif.png",
                                               "filetype_icon_jpg.png",
                                               "filetype_icon_mov.png",
                                               "filetype_icon_mp3.png",
                                               "filetype_icon_mp4.png",
                                               "filetype_icon_pdf.png",
                                               "filetype_icon_png.png",
                                               "filetype_icon_ppt.png",
                                               "filetype_icon_rar.png",
                                               "filetype_icon_txt.png",
                                               "filetype_icon_wav.png",
                                               "filetype_icon_wma.png",
                                               "filetype_icon_wmv.png",
                                               "filetype_icon_xls.png",
                                               "filetype_icon_zip.png",
                                               "filetype_icon_unknown.png",
                                               "Directory.png",
                                               "preview_mask",
                                               "preview_border",
                                               "bg",
                                               "bg.png",
                                               "groups",
                                               "headerView-bg.png",
                                               "regular_navbar",
                                               "regular_navbar_landscape",
                                               "grey_navbar",
                                               "grey_navbar_landscape",
                                               "bottom_bar",
                                               "small_bottom_bar",
                                               "back_regular_btn",
                                               "back_regular_btn_pressed",
                                               "back_regular_btn_landscape",
                                               "back_regular_btn_pressed_landscape",
                                               "back_grey_btn",
                                               "back_grey_btn_pressed",
                                               "back_grey_btn_landscape",
                                               "back_grey_btn_pressed_landscape",
                                               "regular_btn",
                                               "regular_btn_pressed",
                                               "regular_btn_landscape",
                                               "regular_btn_pressed_landscape",
                                               "grey_btn",
                                               "grey_btn_pressed",
                                               "grey_btn_landscape",
                                               "grey_btn_pressed_landscape",
                                               "blue_btn",
                                               "blue_btn_pressed",
                                               "blue_btn_landscape",
                                               "blue_btn_pressed_landscape",
                                               "red_btn",
                                               "red_btn_pressed",
                                               "login_btn",
                                               "register_btn",
                                               "text_box",
                                               "text_box_active",
                                               "back_icon",
                                               "back_icon_ios6",
                                               "add_icon",
                                               "settings_icon",
                                               "share_icon",
                                               "search_icon",
                                               "search_bar_bg",
                                               "search_text_field",
                                               "list_cell",
                                               "list_cell_sellected",
                                               "group_top",
                                               "group_top_pressed",
                                               "group_center",
                                               "group_center_pressed",
                                               "group_bottom",
                                               "group_bottom_pressed",
                                               "mtv-group_single",
                                               "mtv-group_single_pressed",
                                               "mtv-groups_arrow.png",
                                               "roster-header-arrow.png",
                                               "action_circle",
                                               "action_circle_active",
                                               "action_circle_empty",
                                               "action_circle_upload",
                                               "action_circle_upload_fail",
                                               "ptr_state_active",
                                               "galery_icon.png",
                                               "camera_icon.png",
                                               "add_folder_icon.png",
                                               "folder_name_bg",
                                               "wiz_screen_one",
                                               "wiz_screen_two",
                                               "wiz_screen_three",
                                               "wizard_circle",
                                               "wizard_circle_active",
                                               "login_logo",
                                               "navbar_logo",
                                               "about_logo"};

class ImageCatalogue : public ::testing::Test {
protected:
  void SetUp() override { UIImage::clearNamedImageCache(); }
  void TearDown() override {
    UIImage::clearNamedImageCache();
    setMainScreenScale(1);
  }
  const std::string m_directory = testing::builtImagesDirectory();
};

TEST_F(ImageCatalogue, EveryNamedImageExistsAtBothScalesWithTwiceThePixels) {
  for (const std::string& name : kNamedImages) {
    const auto standard = UIImage::imageNamedInDirectory(name, m_directory, 1);
    const auto doubled = UIImage::imageNamedInDirectory(name, m_directory, 2);
    ASSERT_TRUE(standard) << name;
    ASSERT_TRUE(doubled) << name;
    EXPECT_EQ(standard->scale(), 1) << name;
    EXPECT_EQ(doubled->scale(), 2) << name;
    EXPECT_EQ(doubled->size(), standard->size()) << name;
    EXPECT_EQ(doubled->pixelWidth(), 2 * standard->pixelWidth()) << name;
  }
}

TEST_F(ImageCatalogue, FileTypeIconsAndTheFolderShareOneSize) {
  const auto folder = UIImage::imageNamedInDirectory("Directory.png", m_directory, 1);
  ASSERT_TRUE(folder);
  for (const std::string& name : kNamedImages) {
    if (!name.starts_with("filetype_icon_"))
      continue;
    EXPECT_EQ(UIImage::imageNamedInDirectory(name, m_directory, 1)->size(), folder->size()) << name;
  }
}

TEST_F(ImageCatalogue, BarAndButtonImagesLeaveAMiddleForTheirCaps) {
  struct Caps {
    const char* name;
    UIEdgeInsets insets;
  };
  const auto regular = UIImage::imageNamedInDirectory("regular_navbar", m_directory, 1);
  const CGFloat half = regular->size().height / 2 - 1;
  for (const Caps& caps :
       std::vector<Caps>{{"regular_navbar", UIEdgeInsetsMake(half, 5, half, 5)},
                         {"grey_navbar", UIEdgeInsetsMake(5, 5, 2, 5)},
                         {"bottom_bar", UIEdgeInsetsMake(5, 5, 2, 5)},
                         {"back_grey_btn", UIEdgeInsetsMake(3, 14, 3, 4)},
                         {"back_regular_btn_landscape", UIEdgeInsetsMake(3, 11, 3, 3)},
                         {"blue_btn", UIEdgeInsetsMake(4, 4, 4, 4)},
                         {"grey_btn", UIEdgeInsetsMake(4, 4, 21, 12)},
                         {"search_text_field", UIEdgeInsetsMake(2, 15, 2, 15)},
                         {"red_btn", UIEdgeInsetsMake(4, 10, 4, 10)}}) {
    const auto image = UIImage::imageNamedInDirectory(caps.name, m_directory, 2);
    ASSERT_TRUE(image) << caps.name;
    EXPECT_EQ(image->resizableImageWithCapInsets(caps.insets)->capInsets(), caps.insets)
        << caps.name;
  }
}

TEST_F(ImageCatalogue, SourcesAreNotShippedBesideTheRenderedImages) {
  for (const auto& entry : std::filesystem::directory_iterator(m_directory)) {
    EXPECT_EQ(entry.path().extension(), ".png") << entry.path();
  }
}

TEST_F(ImageCatalogue, DiskThumbnailUsesTheBundleMaskAndBorder) {
  setMainScreenScale(2);
  const auto photo = testing::makeSolidImage(640, 480, 1, testing::kRed);
  const auto thumbnail = KADiskThumbnailForImage(photo.get());
  ASSERT_TRUE(thumbnail);
  const auto mask = UIImage::imageNamed("preview_mask");
  ASSERT_TRUE(mask);
  EXPECT_EQ(thumbnail->pixelWidth(), int(mask->size().width * 2));
  EXPECT_EQ(thumbnail->scale(), 2);
  // Corners are cut away by the mask; the middle shows the photo.
  EXPECT_EQ(thumbnail->pixelAt(0, 0).alpha, 0);
  const int middle = thumbnail->pixelWidth() / 2;
  EXPECT_EQ(thumbnail->pixelAt(middle, middle), testing::kRed);
}

TEST_F(ImageCatalogue, ContactSheetShowsEveryImage) {
  EXPECT_GE(KMCatalogueImageNames(m_directory).size(), 96u);
  const auto sheet = KMRenderContactSheet(m_directory, 1);
  ASSERT_TRUE(sheet);
  EXPECT_GT(sheet->pixelHeight(), 500);
  // Kept for people to look at.
  const std::string folder = std::string(KDISK_BINARY_DIR) + "/artefacts/images";
  std::filesystem::create_directories(folder);
  testing::writePNG(*sheet, folder + "/contact-sheet.png");
  EXPECT_TRUE(std::filesystem::exists(folder + "/contact-sheet.png"));
}

} // namespace
} // namespace kdisk
