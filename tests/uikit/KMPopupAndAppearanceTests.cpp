#include <gmock/gmock.h>

#include "UIKitTestSupport.h"
#include "graphics/UIGraphicsImageContext.h"
#include "uikit/KMActivityPopupView.h"
#include "uikit/KMAppearanceHelper.h"
#include "uikit/KMBarButton.h"
#include "uikit/UIBarButtonItem.h"
#include "uikit/UIImageView.h"
#include "uikit/UINavigationBar.h"
#include "uikit/UIWindow.h"

namespace kdisk::test {
namespace {

class KMPopupTest : public UIKitTest {};

TEST_F(KMPopupTest, ALongTextMakesTheTextPopupWrapAt130PointsAndGrowDown) {
  KMTextPopupView popup(CGRectMake(0, 0, 100, 100));
  popup.label().setText("Short");
  const CGSize small = popup.sizeThatFits(CGSizeZero);
  EXPECT_LT(small.width, 150);
  popup.label().setText("A rather long message that cannot possibly fit on one line of the popup");
  const CGSize large = popup.sizeThatFits(CGSizeZero);
  EXPECT_EQ(large.width, 150);
  EXPECT_GT(large.height, small.height * 2);
}

TEST_F(KMPopupTest, TheActivityPopupIsAlways150By110AndSpinsFromCreation) {
  auto popup = std::make_shared<KMActivityPopupView>(CGRectMake(0, 0, 150, 110));
  popup->label().setText("Connecting to the service, please wait a little longer than usual");
  EXPECT_EQ(popup->sizeThatFits(CGSizeZero), (CGSize{150, 110}));
  EXPECT_TRUE(popup->activityIndicator().isAnimating());
  popup->layoutIfNeeded();
  const CGRect indicator = popup->activityIndicator().frame();
  EXPECT_EQ(indicator.origin.y, 25);
  EXPECT_NEAR(CGRectGetMidX(indicator), 75, 0.5);  // 37 points wide: half a point off at most
  EXPECT_EQ(popup->label().frame(), CGRectMake(10, CGRectGetMaxY(indicator), 130, 110 - CGRectGetMaxY(indicator)));
}

TEST_F(KMPopupTest, APopupLetsTouchesThroughAndFollowsItsSuperviewsSize) {
  auto back = std::make_shared<UIView>(CGRectMake(0, 0, 320, 480));
  m_host->window().addSubview(back);
  auto popup = std::make_shared<KMTextPopupView>(CGRectMake(20, 20, 280, 440));
  back->addSubview(popup);
  EXPECT_EQ(m_host->window().hitTest({160, 240}), back.get());
  back->setFrame(CGRectMake(0, 0, 300, 400));
  EXPECT_EQ(popup->frame(), CGRectMake(20, 20, 260, 360));
  EXPECT_EQ(popup->label().frame(), CGRectMake(10, 10, 240, 340));
}

class KMAppearanceHelperTest : public UIKitTest {
 protected:
  ~KMAppearanceHelperTest() override {
    if (auto* helper = KMAppearanceHelper::sharedInstance()) helper->resetCustomAppearance();
    UIBarButtonItem::setAcceptsBackgroundImagesForTesting(true);
    UIBarButtonItem::appearance() = {};
  }
};

TEST_F(KMAppearanceHelperTest, EveryImageLoadsWithItsCapInsets) {
  auto* helper = KMAppearanceHelper::sharedInstance();
  ASSERT_NE(helper, nullptr);
  ASSERT_TRUE(helper->regularNavbar);
  const CGFloat h = helper->regularNavbar->size().height;
  EXPECT_EQ(helper->regularNavbar->capInsets(), UIEdgeInsetsMake(h / 2 - 1, 5, h / 2 - 1, 5));
  EXPECT_EQ(helper->greyNavbarLandscape->capInsets(), UIEdgeInsetsMake(5, 5, 2, 5));
  EXPECT_EQ(helper->backGreyBtnPressed->capInsets(), UIEdgeInsetsMake(3, 14, 3, 4));
  EXPECT_EQ(helper->backGreyPressedLandscape->capInsets(), UIEdgeInsetsMake(3, 11, 3, 3));
  EXPECT_EQ(helper->blueBtnPressedLandscape->capInsets(), UIEdgeInsetsMake(4, 4, 4, 4));
  EXPECT_EQ(helper->greyToolbar->capInsets(), UIEdgeInsetsMake(5, 5, 2, 5));
  for (const auto* image : {&helper->regularBtn, &helper->greyBtnLandscape, &helper->backRegularBtnLandscape,
                            &helper->regularNavbarLandscape, &helper->greyNavbar})
    EXPECT_TRUE(*image);
}

TEST_F(KMAppearanceHelperTest, StylingAllButtonsSetsTheSharedLookAndResetClearsIt) {
  auto* helper = KMAppearanceHelper::sharedInstance();
  ASSERT_NE(helper, nullptr);
  helper->setBackgroundVerticalPositionAdjustment(2);
  helper->setNavbarButtonBackgroundBlue(nullptr);
  auto item = UIBarButtonItem::itemWithTitleStyleAction("Go", UIBarButtonItemStyle::Bordered, nullptr);
  EXPECT_EQ(item->backgroundImageForStateBarMetrics(UIControlStateNormal, UIBarMetrics::Default), helper->blueBtn);
  EXPECT_EQ(item->backgroundImageForStateBarMetrics(UIControlStateDisabled, UIBarMetrics::Default), helper->blueBtn);
  EXPECT_EQ(item->backgroundImageForStateBarMetrics(UIControlStateHighlighted, UIBarMetrics::LandscapePhone),
            helper->blueBtnPressedLandscape);
  EXPECT_EQ(item->backgroundVerticalPositionAdjustmentForBarMetrics(UIBarMetrics::Default), 2);
  EXPECT_EQ(item->titleTextAttributesForState(UIControlStateHighlighted)->textShadowOffset, (CGSize{0, 1}));
  helper->resetCustomAppearance();
  EXPECT_EQ(item->backgroundImageForStateBarMetrics(UIControlStateNormal, UIBarMetrics::Default), nullptr);
}

TEST_F(KMAppearanceHelperTest, OneItemsLookDoesNotLeakToOthers) {
  auto* helper = KMAppearanceHelper::sharedInstance();
  auto grey = UIBarButtonItem::itemWithTitleStyleAction("Skip", UIBarButtonItemStyle::Bordered, nullptr);
  auto plain = UIBarButtonItem::itemWithTitleStyleAction("Next", UIBarButtonItemStyle::Bordered, nullptr);
  helper->setNavbarBackButtonBackgroundGrey(grey.get());
  EXPECT_EQ(grey->backButtonBackgroundImageForStateBarMetrics(UIControlStateHighlighted, UIBarMetrics::Default),
            helper->backGreyBtnPressed);
  EXPECT_EQ(plain->backButtonBackgroundImageForStateBarMetrics(UIControlStateNormal, UIBarMetrics::Default), nullptr);
}

TEST_F(KMAppearanceHelperTest, BarsTakeTheirBackgroundsAndTitleLook) {
  auto* helper = KMAppearanceHelper::sharedInstance();
  auto bar = std::make_shared<UINavigationBar>();
  helper->setNavbarBackgroundGrey(bar.get());
  EXPECT_EQ(bar->backgroundImageForBarMetrics(UIBarMetrics::LandscapePhone), helper->greyNavbarLandscape);
  EXPECT_EQ(bar->titleTextAttributes()->font, UIFont::boldSystemFontOfSize(18));
  auto toolbar = std::make_shared<UIToolbar>();
  helper->setToolbarBackgroundGreyForToolbarPosition(toolbar.get(), UIToolbarPosition::Any);
  EXPECT_EQ(toolbar->backgroundImageForToolbarPositionBarMetrics(UIToolbarPosition::Bottom, UIBarMetrics::Default),
            helper->greyToolbar);
}

TEST_F(KMAppearanceHelperTest, WithoutPerStateBarButtonImagesThereIsNoHelperAndNothingChanges) {
  UIBarButtonItem::setAcceptsBackgroundImagesForTesting(false);
  EXPECT_EQ(KMAppearanceHelper::sharedInstance(), nullptr);
  UIBarButtonItem::setAcceptsBackgroundImagesForTesting(true);
  auto* helper = KMAppearanceHelper::sharedInstance();
  UIBarButtonItem::setAcceptsBackgroundImagesForTesting(false);
  // A helper kept from before changes nothing either.
  auto item = UIBarButtonItem::itemWithTitleStyleAction("Go", UIBarButtonItemStyle::Bordered, nullptr);
  helper->setNavbarButtonBackgroundRegular(nullptr);
  helper->setNavbarButtonBackgroundGrey(item.get());
  EXPECT_EQ(item->backgroundImageForStateBarMetrics(UIControlStateNormal, UIBarMetrics::Default), nullptr);
  EXPECT_TRUE(UIBarButtonItem::appearance().backgroundImages.empty());
}

TEST_F(KMAppearanceHelperTest, AStretchedButtonImageKeepsItsCornersAndStretchesItsMiddle) {
  auto* helper = KMAppearanceHelper::sharedInstance();
  auto image = helper->blueBtn;
  ASSERT_TRUE(image);
  auto view = std::make_shared<UIImageView>(image);
  view->setFrame(CGRectMake(0, 100, 200, 60));
  m_host->window().addSubview(view);
  // The same image at its own size, for reference.
  auto reference = std::make_shared<UIImageView>(image);
  reference->setFrame(CGRectMake(0, 200, image->size().width, image->size().height));
  m_host->window().addSubview(reference);
  auto shot = m_host->snapshot();
  const int w = image->pixelWidth(), h = image->pixelHeight();
  // Corners are drawn as the image's own corners; the middle row is the same all along.
  EXPECT_EQ(shot->pixelAt(1, 101), shot->pixelAt(1, 201));
  EXPECT_EQ(shot->pixelAt(198, 158), shot->pixelAt(w - 2, 200 + h - 2));
  EXPECT_EQ(shot->pixelAt(198, 101), shot->pixelAt(w - 2, 201));
  const auto middle = shot->pixelAt(40, 130);
  for (int x = 40; x < 160; x += 20) EXPECT_EQ(shot->pixelAt(x, 130), middle) << x;
}

}  // namespace
}  // namespace kdisk::test
