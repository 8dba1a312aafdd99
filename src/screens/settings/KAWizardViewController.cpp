#include "screens/settings/KAWizardViewController.h"

#include <cmath>

#include "graphics/UIImage.h"
#include "platform/Bundle.h"
#include "screens/settings/KAWizzardPageWithLinkViewController.h"
#include "settings/KMSettings.h"
#include "uikit/KMAppearanceHelper.h"
#include "uikit/UIBarButtonItem.h"
#include "uikit/UINavigationController.h"

namespace kdisk {

namespace {

constexpr const char* kTable = "KAWizardViewController";
constexpr CGFloat kButtonWidth = 96;
constexpr CGFloat kButtonHeight = 32;
constexpr CGFloat kIndicatorSpacing = 16;
constexpr CGFloat kIndicatorBottom = 18;

struct PageText {
  const char* image;
  const char* titleKey;
  const char* titleFallback;
  const char* textKey;
  const char* textFallback;
};

constexpr PageText kPages[KAWizardViewController::kNumberOfPages] = {
    {"wiz_screen_one", "Wizard first page title text", "Ваши файлы всегда с вами", "Wizard first page text",
     "Открывайте документы, фотографии и музыку с Диска где угодно."},
    {"wiz_screen_two", "Wizard second page title text", "Загружайте с компьютера",
     "Wizard second page text", "Перетащите файлы в окно папки или откройте их с помощью Kalumo.Disk."},
    {"wiz_screen_three", "Wizard third page title text", "Делитесь ссылками", "Wizard third page text",
     "Отправьте ссылку на файл по почте или скопируйте её."},
    {"", "Wizard fourth page title text", "Всё готово", "Wizard fourth page text",
     "Место на Диске можно увеличить на сайте."},
};

std::string localized(const char* key, const char* fallback) { return KMLocalizedString(key, fallback, kTable); }

std::shared_ptr<UIImage> stretchable(const char* name) {
  auto image = UIImage::imageNamed(name);
  if (!image) return nullptr;
  return image->stretchableImageWithLeftCapWidthTopCapHeight(int(image->size().width / 2),
                                                             int(image->size().height / 2));
}

}  // namespace

std::shared_ptr<KAWizardViewController> KAWizardViewController::presentOnceFrom(
    UIViewController& presenter, KMSettings& settings, std::weak_ptr<KAWizardViewControllerDelegate> delegate) {
  if (settings.hasShowedDiskWizard()) return nullptr;
  settings.setHasShowedDiskWizard(true);
  auto wizard = std::make_shared<KAWizardViewController>();
  wizard->setDelegate(std::move(delegate));
  presenter.presentViewControllerAnimatedCompletion(std::make_shared<UINavigationController>(wizard),
                                                    KMAnimated::Yes);
  return wizard;
}

void KAWizardViewController::loadView() {
  auto root = std::make_shared<UIView>(CGRectMake(0, 0, 320, 460));
  root->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
  const CGRect bounds = root->bounds();
  m_scrollView = std::make_shared<UIScrollView>(
      CGRectMake(0, 0, bounds.size.width, bounds.size.height - kToolbarHeight));
  m_scrollView->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
  m_scrollView->setShowsHorizontalScrollIndicator(false);
  m_scrollView->setShowsVerticalScrollIndicator(false);
  m_scrollView->setScrollsToTop(false);
  m_scrollView->setBackgroundColor(UIColor::clearColor());
  root->addSubview(m_scrollView);
  for (int index = 0; index < kNumberOfPages; ++index) {
    m_radioButtons[index] = std::make_shared<UIImageView>(CGRectMake(0, 0, 10, 10));
    m_radioButtons[index]->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin |
                                               UIViewAutoresizingFlexibleRightMargin |
                                               UIViewAutoresizingFlexibleTopMargin);
    root->addSubview(m_radioButtons[index]);
  }
  m_toolBar = std::make_shared<UIToolbar>(
      CGRectMake(0, bounds.size.height - kToolbarHeight, bounds.size.width, kToolbarHeight));
  m_toolBar->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleTopMargin);
  root->addSubview(m_toolBar);
  setView(root);
}

void KAWizardViewController::viewDidLoad() {
  UIViewController::viewDidLoad();
  addToolBarButtons();
  m_wizardCircle = UIImage::imageNamed("wizard_circle");
  m_wizardCircleActive = UIImage::imageNamed("wizard_circle_active");
  const KMSettingsColor grey = KMSettings::tintColorGrey();
  m_toolBar->setTintColor(UIColor::colorWithRGB255(grey.red, grey.green, grey.blue, grey.alpha));
  if (auto* helper = KMAppearanceHelper::sharedInstance())
    helper->setToolbarBackgroundGreyForToolbarPosition(m_toolBar.get(), UIToolbarPosition::Any);
  if (auto texture = UIImage::imageNamed(KMSettings::defaultBackgroundTextureImageName()))
    view()->setBackgroundColor(UIColor::colorWithPatternImage(texture));
  else
    view()->setBackgroundColor(UIColor::colorWithRGB255(228, 232, 234));
  if (auto* navigation = navigationController()) navigation->setNavigationBarHiddenAnimated(true, KMAnimated::No);

  m_viewControllers.fill(nullptr);
  m_scrollView->setPagingEnabled(true);
  const CGSize size = m_scrollView->bounds().size;
  m_scrollView->setContentSize(CGSizeMake(size.width * kNumberOfPages, size.height));
  m_scrollView->setDelegate(std::static_pointer_cast<KAWizardViewController>(sharedController()));

  // The indicator, centred above the toolbar.
  const CGSize circle = m_wizardCircle ? m_wizardCircle->size() : CGSizeMake(8, 8);
  const CGFloat total = kNumberOfPages * circle.width + (kNumberOfPages - 1) * (kIndicatorSpacing - circle.width);
  CGFloat x = std::floor((view()->bounds().size.width - total) / 2);
  const CGFloat y = CGRectGetMinY(m_toolBar->frame()) - kIndicatorBottom - circle.height;
  for (auto& radio : m_radioButtons) {
    radio->setFrame(CGRectMake(x, y, circle.width, circle.height));
    x += kIndicatorSpacing;
  }

  m_currentPage = 0;
  updatePageIndicator();
  loadScrollViewPage(0);
  loadScrollViewPage(1);
}

void KAWizardViewController::addToolBarButtons() {
  auto make = [&](const char* key, const char* fallback, const char* background, const char* pressed,
                  void (KAWizardViewController::*action)()) {
    auto button = UIButton::buttonWithType(UIButtonType::Custom);
    button->setFrame(CGRectMake(0, 0, kButtonWidth, kButtonHeight));
    button->setBackgroundImageForState(stretchable(background), UIControlStateNormal);
    button->setBackgroundImageForState(stretchable(pressed), UIControlStateHighlighted);
    button->setTitleForState(localized(key, fallback), UIControlStateNormal);
    button->setTitleColorForState(UIColor::whiteColor(), UIControlStateNormal);
    button->setTitleShadowColorForState(UIColor::colorWithWhiteAlpha(0, 0.4), UIControlStateNormal);
    button->titleLabel().setFont(UIFont::boldSystemFontOfSize(14));
    button->titleLabel().setAdjustsFontSizeToFitWidth(true);
    button->titleLabel().setMinimumFontSize(10);
    std::weak_ptr<KAWizardViewController> weak = std::static_pointer_cast<KAWizardViewController>(sharedController());
    button->addActionForControlEvents(
        [weak, action](UIControl&) {
          if (auto self = weak.lock()) ((*self).*action)();
        },
        UIControlEventTouchUpInside);
    return button;
  };
  m_nextButton = make("Next", "Далее", "blue_btn", "blue_btn_pressed", &KAWizardViewController::nextButtonTouched);
  m_skipButton = make("Skip", "Пропустить", "grey_btn", "grey_btn_pressed", &KAWizardViewController::cancelButtonTouched);
  // The toolbar sizes a button to its title; a holder keeps the width.
  auto held = [](const std::shared_ptr<UIButton>& button) {
    auto holder = std::make_shared<UIView>(button->frame());
    holder->setBackgroundColor(UIColor::clearColor());
    holder->setOpaque(false);
    button->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    holder->addSubview(button);
    return UIBarButtonItem::itemWithCustomView(holder);
  };
  m_toolBar->setItemsAnimated({UIBarButtonItem::itemWithBarButtonSystemItemAction(UIBarButtonSystemItem::FlexibleSpace, {}),
                               held(m_nextButton), held(m_skipButton)},
                              KMAnimated::No);
}

CGFloat KAWizardViewController::pageWidth() const { return m_scrollView->bounds().size.width; }

void KAWizardViewController::nextButtonTouched() {
  if (m_currentPage >= kNumberOfPages - 1) {
    cancelButtonTouched();
    return;
  }
  const CGSize size = m_scrollView->bounds().size;
  m_scrollView->scrollRectToVisibleAnimated(CGRectMake((m_currentPage + 1) * size.width, 0, size.width, size.height),
                                            KMAnimated::Yes);
}

void KAWizardViewController::cancelButtonTouched() {
  if (auto target = delegate()) target->wizardClosed();
}

void KAWizardViewController::loadScrollViewPage(int index) {
  if (index < 0 || index >= kNumberOfPages) return;
  auto& slot = m_viewControllers[index];
  if (!slot) {
    if (index == kNumberOfPages - 1)
      slot = std::make_shared<KAWizzardPageWithLinkViewController>();
    else
      slot = std::make_shared<KAWizardPageViewController>();
  }
  if (!slot->view()->superview()) loadPageData(*slot, index);
}

void KAWizardViewController::loadPageData(KAWizardPageViewController& page, int pageNumber) {
  const CGSize size = m_scrollView->bounds().size;
  page.view()->setFrame(CGRectMake(pageNumber * size.width, 0, size.width, size.height));
  m_scrollView->addSubview(page.view());
  const PageText& text = kPages[pageNumber];
  page.setImageName(text.image);
  page.setTitleText(localized(text.titleKey, text.titleFallback));
  page.setText(localized(text.textKey, text.textFallback));
  if (auto* linkPage = dynamic_cast<KAWizzardPageWithLinkViewController*>(&page))
    linkPage->setLinkText(localized("Wizard fourth page link", "Перейти на сайт"));
}

void KAWizardViewController::scrollViewDidScroll(UIScrollView& scrollView) {
  const CGFloat width = pageWidth();
  if (width <= 0) return;
  const int page = int(std::floor((scrollView.contentOffset().x - width / 2) / width)) + 1;
  m_currentPage = std::clamp(page, 0, kNumberOfPages - 1);
  updatePageIndicator();
  loadScrollViewPage(m_currentPage - 1);
  loadScrollViewPage(m_currentPage);
  loadScrollViewPage(m_currentPage + 1);
  unloadUnnecessaryViews();
}

void KAWizardViewController::unloadUnnecessaryViews() {
  for (int index = 0; index < kNumberOfPages; ++index) {
    if (std::abs(index - m_currentPage) <= 1 || !m_viewControllers[index]) continue;
    m_viewControllers[index]->view()->removeFromSuperview();
    m_viewControllers[index] = nullptr;
  }
}

void KAWizardViewController::updatePageIndicator() {
  for (int index = 0; index < kNumberOfPages; ++index)
    m_radioButtons[index]->setImage(index == m_currentPage ? m_wizardCircleActive : m_wizardCircle);
}

KAWizardPageViewController* KAWizardViewController::pageAt(int index) const {
  return index >= 0 && index < kNumberOfPages ? m_viewControllers[index].get() : nullptr;
}

int KAWizardViewController::numberOfLoadedPages() const {
  int count = 0;
  for (const auto& page : m_viewControllers)
    if (page && page->isViewLoaded() && page->view()->superview()) ++count;
  return count;
}

bool KAWizardViewController::indicatorMarksPage(int index) const {
  return m_radioButtons[index]->image() && m_radioButtons[index]->image() == m_wizardCircleActive;
}

}  // namespace kdisk
