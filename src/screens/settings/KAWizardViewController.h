#pragma once
// The four-page introduction shown once after the first sign-in: a paging
// scroll view, a page indicator, and Next and Skip in a toolbar at the
// bottom. At most three pages (the current one and its neighbours) have
// views at a time. Closing calls the delegate's wizardClosed; the delegate
// dismisses the wizard. Main thread.
#include <array>
#include <memory>

#include "screens/settings/KAWizardPageViewController.h"
#include "uikit/UIButton.h"
#include "uikit/UIImageView.h"
#include "uikit/UIScrollView.h"
#include "uikit/UIScrollViewDelegate.h"
#include "uikit/UIToolbar.h"
#include "uikit/UIViewController.h"

namespace kdisk {

class KMSettings;

class KAWizardViewControllerDelegate {
 public:
  virtual ~KAWizardViewControllerDelegate() = default;
  virtual void wizardClosed() {}
};

class KAWizardViewController : public UIViewController, public UIScrollViewDelegate {
 public:
  static constexpr int kNumberOfPages = 4;
  static constexpr CGFloat kToolbarHeight = 44;

  std::shared_ptr<KAWizardViewControllerDelegate> delegate() const { return m_delegate.lock(); }
  void setDelegate(std::weak_ptr<KAWizardViewControllerDelegate> delegate) { m_delegate = std::move(delegate); }

  // Presents the wizard over `presenter` in a navigation controller of its
  // own unless this installation has shown it before, and notes it as shown
  // first (a crash while it is up does not bring it back). Nothing when
  // shown before.
  static std::shared_ptr<KAWizardViewController> presentOnceFrom(
      UIViewController& presenter, KMSettings& settings, std::weak_ptr<KAWizardViewControllerDelegate> delegate);

  void loadView() override;
  void viewDidLoad() override;

  UIScrollView* scrollView() const { return m_scrollView.get(); }
  UIToolbar* toolBar() const { return m_toolBar.get(); }
  int currentPage() const { return m_currentPage; }
  // The page controller of slot `index`, nothing while not loaded.
  KAWizardPageViewController* pageAt(int index) const;
  int numberOfLoadedPages() const;
  const std::array<std::shared_ptr<UIImageView>, kNumberOfPages>& radioButtons() const { return m_radioButtons; }
  // Whether the indicator marks `index` as the page shown.
  bool indicatorMarksPage(int index) const;
  UIButton* nextButton() const { return m_nextButton.get(); }
  UIButton* skipButton() const { return m_skipButton.get(); }

  void addToolBarButtons();
  void nextButtonTouched();
  void cancelButtonTouched();
  void loadScrollViewPage(int index);
  void loadPageData(KAWizardPageViewController& page, int pageNumber);
  void scrollViewDidScroll(UIScrollView& scrollView) override;
  void unloadUnnecessaryViews();
  void updatePageIndicator();

 private:
  CGFloat pageWidth() const;

  std::weak_ptr<KAWizardViewControllerDelegate> m_delegate;
  std::shared_ptr<UIScrollView> m_scrollView;
  std::shared_ptr<UIToolbar> m_toolBar;
  std::array<std::shared_ptr<KAWizardPageViewController>, kNumberOfPages> m_viewControllers;
  std::array<std::shared_ptr<UIImageView>, kNumberOfPages> m_radioButtons;
  std::shared_ptr<UIImage> m_wizardCircle;
  std::shared_ptr<UIImage> m_wizardCircleActive;
  std::shared_ptr<UIButton> m_nextButton;
  std::shared_ptr<UIButton> m_skipButton;
  int m_currentPage = 0;
};

}  // namespace kdisk
