#include "uikit/KMAppearanceHelper.h"

#include <mutex>

#include "graphics/Screen.h"
#include "platform/RunLoop.h"
#include "uikit/UIBarButtonItem.h"
#include "uikit/UINavigationBar.h"

namespace kdisk {

namespace {
std::shared_ptr<UIImage> load(const char* name, UIEdgeInsets insets) {
  auto image = UIImage::imageNamed(name);
  return image ? image->resizableImageWithCapInsets(insets) : nullptr;
}

std::shared_ptr<UIImage> loadNavbar(const char* name) {
  auto image = UIImage::imageNamed(name);
  if (!image) return nullptr;
  const CGFloat h = image->size().height;
  return image->resizableImageWithCapInsets(UIEdgeInsetsMake(h / 2 - 1, 5, h / 2 - 1, 5));
}

const UITextAttributes kTitleShadow{std::nullopt, std::nullopt, std::nullopt, CGSize{0, 1}};
}  // namespace

KMAppearanceHelper* KMAppearanceHelper::sharedInstance() {
  static std::once_flag once;
  static KMAppearanceHelper* instance = nullptr;
  std::call_once(once, [] {
    instance = new KMAppearanceHelper();  // lives as long as the process
    instance->loadImages();
  });
  // A window on a screen of another density (a test host at scale 2 after
  // one at scale 1) would get blurred or halved bars from the old images.
  if (RunLoop::isMainThread() && instance->m_loadedScale != mainScreenScale()) instance->loadImages();
  return UIBarButtonItem::acceptsBackgroundImages() ? instance : nullptr;
}

void KMAppearanceHelper::loadImages() {
  m_loadedScale = mainScreenScale();
  regularNavbar = loadNavbar("regular_navbar");
  const auto bar = UIEdgeInsetsMake(5, 5, 2, 5);
  regularNavbarLandscape = load("regular_navbar_landscape", bar);
  greyNavbar = load("grey_navbar", bar);
  greyNavbarLandscape = load("grey_navbar_landscape", bar);
  const auto back = UIEdgeInsetsMake(3, 14, 3, 4);
  backRegularBtn = load("back_regular_btn", back);
  backRegularBtnPressed = load("back_regular_btn_pressed", back);
  backGreyBtn = load("back_grey_btn", back);
  backGreyBtnPressed = load("back_grey_btn_pressed", back);
  const auto backLandscape = UIEdgeInsetsMake(3, 11, 3, 3);
  backRegularBtnLandscape = load("back_regular_btn_landscape", backLandscape);
  backRegularBtnPressedLandscape = load("back_regular_btn_pressed_landscape", backLandscape);
  backGreyBtnLandscape = load("back_grey_btn_landscape", backLandscape);
  backGreyPressedLandscape = load("back_grey_btn_pressed_landscape", backLandscape);
  const auto button = UIEdgeInsetsMake(4, 4, 4, 4);
  regularBtn = load("regular_btn", button);
  regularBtnPressed = load("regular_btn_pressed", button);
  regularBtnLandscape = load("regular_btn_landscape", button);
  regularBtnPressedLandscape = load("regular_btn_pressed_landscape", button);
  greyBtn = load("grey_btn", button);
  greyBtnPressed = load("grey_btn_pressed", button);
  greyBtnLandscape = load("grey_btn_landscape", button);
  greyBtnPressedLandscape = load("grey_btn_pressed_landscape", button);
  blueBtn = load("blue_btn", button);
  blueBtnPressed = load("blue_btn_pressed", button);
  blueBtnLandscape = load("blue_btn_landscape", button);
  blueBtnPressedLandscape = load("blue_btn_pressed_landscape", button);
  greyToolbar = load("bottom_bar", bar);
}

void KMAppearanceHelper::setNavbarBackground(UINavigationBar* bar, const std::shared_ptr<UIImage>& portrait,
                                             const std::shared_ptr<UIImage>& landscape) {
  if (!UINavigationBar::acceptsBackgroundImages()) return;
  const UITextAttributes title{UIFont::boldSystemFontOfSize(18), std::nullopt, std::nullopt, CGSize{0, 1}};
  if (!bar) {
    auto& shared = UINavigationBar::appearance();
    shared.backgroundImages[UIBarMetrics::Default] = portrait;
    shared.backgroundImages[UIBarMetrics::LandscapePhone] = landscape;
    shared.titleTextAttributes = title;
    return;
  }
  bar->setBackgroundImageForBarMetrics(portrait, UIBarMetrics::Default);
  bar->setBackgroundImageForBarMetrics(landscape, UIBarMetrics::LandscapePhone);
  bar->setTitleTextAttributes(title);
}

void KMAppearanceHelper::setNavbarBackgroundRegular(UINavigationBar* bar) {
  setNavbarBackground(bar, regularNavbar, regularNavbarLandscape);
}
void KMAppearanceHelper::setNavbarBackgroundGrey(UINavigationBar* bar) {
  setNavbarBackground(bar, greyNavbar, greyNavbarLandscape);
}

void KMAppearanceHelper::setNavbarButtonBackgroundButtonBackgroundImageButtonBackgroundImagePressedBarMetricsIsBackButton(
    UIBarButtonItem* item, std::shared_ptr<UIImage> image, std::shared_ptr<UIImage> pressed, UIBarMetrics metrics,
    bool isBackButton) {
  if (!UIBarButtonItem::acceptsBackgroundImages()) return;
  auto& shared = UIBarButtonItem::appearance();
  auto setImage = [&](const std::shared_ptr<UIImage>& value, unsigned state) {
    if (item) {
      if (isBackButton)
        item->setBackButtonBackgroundImageForStateBarMetrics(value, state, metrics);
      else
        item->setBackgroundImageForStateBarMetrics(value, state, metrics);
    } else {
      auto& images = isBackButton ? shared.backButtonBackgroundImages : shared.backgroundImages;
      images[{state, metrics}] = value;
    }
  };
  setImage(image, UIControlStateNormal);
  if (!isBackButton) setImage(image, UIControlStateDisabled);
  setImage(pressed, UIControlStateHighlighted);
  if (item)
    item->setBackgroundVerticalPositionAdjustmentForBarMetrics(m_backgroundVerticalPositionAdjustment, metrics);
  else
    shared.backgroundVerticalPositionAdjustments[metrics] = m_backgroundVerticalPositionAdjustment;
  std::vector<unsigned> states{UIControlStateNormal, UIControlStateHighlighted};
  if (!isBackButton) states.push_back(UIControlStateDisabled);
  for (unsigned state : states) {
    if (item)
      item->setTitleTextAttributesForState(kTitleShadow, state);
    else
      shared.titleTextAttributes[state] = kTitleShadow;
  }
}

void KMAppearanceHelper::setNavbarButtonBackgroundRegular(UIBarButtonItem* item) {
  setNavbarButtonBackgroundButtonBackgroundImageButtonBackgroundImagePressedBarMetricsIsBackButton(
      item, regularBtn, regularBtnPressed, UIBarMetrics::Default, false);
  setNavbarButtonBackgroundButtonBackgroundImageButtonBackgroundImagePressedBarMetricsIsBackButton(
      item, regularBtnLandscape, regularBtnPressedLandscape, UIBarMetrics::LandscapePhone, false);
}
void KMAppearanceHelper::setNavbarButtonBackgroundGrey(UIBarButtonItem* item) {
  setNavbarButtonBackgroundButtonBackgroundImageButtonBackgroundImagePressedBarMetricsIsBackButton(
      item, greyBtn, greyBtnPressed, UIBarMetrics::Default, false);
  setNavbarButtonBackgroundButtonBackgroundImageButtonBackgroundImagePressedBarMetricsIsBackButton(
      item, greyBtnLandscape, greyBtnPressedLandscape, UIBarMetrics::LandscapePhone, false);
}
void KMAppearanceHelper::setNavbarButtonBackgroundBlue(UIBarButtonItem* item) {
  setNavbarButtonBackgroundButtonBackgroundImageButtonBackgroundImagePressedBarMetricsIsBackButton(
      item, blueBtn, blueBtnPressed, UIBarMetrics::Default, false);
  setNavbarButtonBackgroundButtonBackgroundImageButtonBackgroundImagePressedBarMetricsIsBackButton(
      item, blueBtnLandscape, blueBtnPressedLandscape, UIBarMetrics::LandscapePhone, false);
}
void KMAppearanceHelper::setNavbarBackButtonBackgroundRegular(UIBarButtonItem* item) {
  setNavbarButtonBackgroundButtonBackgroundImageButtonBackgroundImagePressedBarMetricsIsBackButton(
      item, backRegularBtn, backRegularBtnPressed, UIBarMetrics::Default, true);
  setNavbarButtonBackgroundButtonBackgroundImageButtonBackgroundImagePressedBarMetricsIsBackButton(
      item, backRegularBtnLandscape, backRegularBtnPressedLandscape, UIBarMetrics::LandscapePhone, true);
}
void KMAppearanceHelper::setNavbarBackButtonBackgroundGrey(UIBarButtonItem* item) {
  setNavbarButtonBackgroundButtonBackgroundImageButtonBackgroundImagePressedBarMetricsIsBackButton(
      item, backGreyBtn, backGreyBtnPressed, UIBarMetrics::Default, true);
  setNavbarButtonBackgroundButtonBackgroundImageButtonBackgroundImagePressedBarMetricsIsBackButton(
      item, backGreyBtnLandscape, backGreyPressedLandscape, UIBarMetrics::LandscapePhone, true);
}

void KMAppearanceHelper::setToolbarBackgroundGreyForToolbarPosition(UIToolbar* toolbar, UIToolbarPosition position) {
  if (!toolbar || !UIToolbar::acceptsBackgroundImages()) return;
  toolbar->setBackgroundColor(UIColor::blackColor());
  toolbar->setBackgroundImageForToolbarPositionBarMetrics(greyToolbar, position, UIBarMetrics::Default);
}

void KMAppearanceHelper::resetCustomAppearance() {
  auto& buttons = UIBarButtonItem::appearance();
  for (auto metrics : {UIBarMetrics::Default, UIBarMetrics::LandscapePhone}) {
    for (unsigned state : {unsigned(UIControlStateNormal), unsigned(UIControlStateDisabled),
                           unsigned(UIControlStateHighlighted)})
      buttons.backgroundImages.erase({state, metrics});
    for (unsigned state : {unsigned(UIControlStateNormal), unsigned(UIControlStateHighlighted)})
      buttons.backButtonBackgroundImages.erase({state, metrics});
    UINavigationBar::appearance().backgroundImages.erase(metrics);
    for (auto position : {UIToolbarPosition::Any, UIToolbarPosition::Bottom, UIToolbarPosition::Top})
      UIToolbar::appearance().backgroundImages.erase({position, metrics});
  }
}

}  // namespace kdisk
