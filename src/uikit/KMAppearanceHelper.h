#pragma once
// Gives navigation bars, bar buttons, back buttons and toolbars the
// application's looks (regular and grey bars; regular, grey and blue
// buttons) from resizable images loaded once. Calls that name no item style
// every bar button item through the shared appearance. Main thread, except
// sharedInstance, which may be called from any thread.
#include <memory>

#include "graphics/UIImage.h"
#include "uikit/UIKitDefines.h"
#include "uikit/UIToolbar.h"

namespace kdisk {

class UIBarButtonItem;
class UINavigationBar;

class KMAppearanceHelper {
 public:
  // Created once (loading the images); nothing when bar button items take no
  // per-state background images, and then every styling call is the caller's no-op.
  static KMAppearanceHelper* sharedInstance();

  void loadImages();

  void setNavbarBackgroundRegular(UINavigationBar* bar);
  void setNavbarBackgroundGrey(UINavigationBar* bar);
  void setNavbarButtonBackgroundRegular(UIBarButtonItem* item);
  void setNavbarButtonBackgroundGrey(UIBarButtonItem* item);
  void setNavbarButtonBackgroundBlue(UIBarButtonItem* item);
  void setNavbarBackButtonBackgroundRegular(UIBarButtonItem* item);
  void setNavbarBackButtonBackgroundGrey(UIBarButtonItem* item);
  void setToolbarBackgroundGreyForToolbarPosition(UIToolbar* toolbar, UIToolbarPosition position);
  // The one place every bar button background goes through; a null item
  // means every item.
  void setNavbarButtonBackgroundButtonBackgroundImageButtonBackgroundImagePressedBarMetricsIsBackButton(
      UIBarButtonItem* item, std::shared_ptr<UIImage> image, std::shared_ptr<UIImage> pressed,
      UIBarMetrics metrics, bool isBackButton);
  void resetCustomAppearance();

  CGFloat backgroundVerticalPositionAdjustment() const { return m_backgroundVerticalPositionAdjustment; }
  void setBackgroundVerticalPositionAdjustment(CGFloat adjustment) {
    m_backgroundVerticalPositionAdjustment = adjustment;
  }

  std::shared_ptr<UIImage> regularNavbar, regularNavbarLandscape, greyNavbar, greyNavbarLandscape;
  std::shared_ptr<UIImage> backRegularBtn, backRegularBtnPressed, backGreyBtn, backGreyBtnPressed;
  std::shared_ptr<UIImage> backRegularBtnLandscape, backRegularBtnPressedLandscape, backGreyBtnLandscape,
      backGreyPressedLandscape;
  std::shared_ptr<UIImage> regularBtn, regularBtnPressed, regularBtnLandscape, regularBtnPressedLandscape;
  std::shared_ptr<UIImage> greyBtn, greyBtnPressed, greyBtnLandscape, greyBtnPressedLandscape;
  std::shared_ptr<UIImage> blueBtn, blueBtnPressed, blueBtnLandscape, blueBtnPressedLandscape;
  std::shared_ptr<UIImage> greyToolbar;

 private:
  KMAppearanceHelper() = default;
  void setNavbarBackground(UINavigationBar* bar, const std::shared_ptr<UIImage>& portrait,
                           const std::shared_ptr<UIImage>& landscape);
  CGFloat m_backgroundVerticalPositionAdjustment = 0;
  double m_loadedScale = 0;
};

}  // namespace kdisk
