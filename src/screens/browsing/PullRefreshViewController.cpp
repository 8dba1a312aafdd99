#include "screens/browsing/PullRefreshViewController.h"

#include <algorithm>

#include "uikit/UIScreen.h"

namespace kdisk {

namespace {
constexpr CGFloat kArrowX = 7;
}

PullRefreshViewController::PullRefreshViewController() = default;

PullRefreshViewController::~PullRefreshViewController() { cancelScheduledCalls(); }

void PullRefreshViewController::loadView() {
  // A container, so a toolbar can share the screen with the table.
  auto view = std::make_shared<UIView>(UIScreen::mainScreen().applicationFrame());
  view->setBackgroundColor(UIColor::whiteColor());
  view->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
  m_tableView = std::make_shared<UITableView>(view->bounds());
  m_tableView->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
  // A list shorter than the screen must still be pullable.
  m_tableView->setAlwaysBounceVertical(true);
  view->addSubview(m_tableView);
  setView(std::move(view));
}

void PullRefreshViewController::viewDidLoad() {
  UIViewController::viewDidLoad();
  m_tableView->setTableDelegate(weakSelf<PullRefreshViewController>());
  if (m_pullRefreshEnabled) addPullToRefreshHeader();
}

void PullRefreshViewController::viewDidUnload() {
  cancelScheduledCalls();
  m_isLoading = false;
  m_isDragging = false;
  m_inLongWaitingState = false;
  m_refreshHeaderView.reset();
  m_refreshLabel.reset();
  m_refreshArrow.reset();
  m_refreshSpinner.reset();
  m_tableView.reset();
  UIViewController::viewDidUnload();
}

void PullRefreshViewController::viewDidDisappear(KMAnimated animated) {
  UIViewController::viewDidDisappear(animated);
  stopLoadingAnimated(KMAnimated::No);
}

void PullRefreshViewController::cancelScheduledCalls() {
  if (m_longWaitTimer) RunLoop::main().cancel(m_longWaitTimer);
  if (m_baseStopTimer) RunLoop::main().cancel(m_baseStopTimer);
  m_longWaitTimer = m_baseStopTimer = 0;
}

void PullRefreshViewController::addPullToRefreshHeader() {
  if (m_refreshHeaderView || !m_tableView) return;
  if (!m_refreshActionImage) m_refreshActionImage = UIImage::imageNamed("ptr_state_active");
  const CGFloat width = m_tableView->bounds().size.width;
  m_refreshHeaderView = std::make_shared<UIView>(CGRectMake(0, -kRefreshHeaderHeight, width, kRefreshHeaderHeight));
  m_refreshHeaderView->setBackgroundColor(UIColor::clearColor());
  m_refreshHeaderView->setOpaque(false);
  m_refreshHeaderView->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
  m_refreshHeaderView->setAlpha(0);

  m_refreshLabel = std::make_shared<UILabel>(CGRectMake(0, 0, width, kRefreshHeaderHeight));
  m_refreshLabel->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
  m_refreshLabel->setBackgroundColor(UIColor::clearColor());
  m_refreshLabel->setOpaque(false);
  m_refreshLabel->setFont(UIFont::boldSystemFontOfSize(14));
  m_refreshLabel->setTextColor(UIColor::colorWithRGB255(145, 161, 185));
  m_refreshLabel->setShadowColor(UIColor::whiteColor());
  m_refreshLabel->setTextAlignment(NSTextAlignment::Center);
  m_refreshLabel->setText(m_textPull);

  m_refreshArrow = std::make_shared<UIImageView>(m_refreshActionImage);
  m_refreshArrow->setContentMode(UIViewContentMode::Top);
  m_refreshArrow->setClipsToBounds(true);

  m_refreshSpinner = std::make_shared<UIActivityIndicatorView>(UIActivityIndicatorViewStyle::Gray);
  m_refreshSpinner->setHidesWhenStopped(true);
  const CGSize imageSize = m_refreshActionImage ? m_refreshActionImage->size() : CGSizeZero;
  m_refreshSpinner->setCenter(CGPointMake(kArrowX + imageSize.width / 2, kRefreshHeaderHeight / 2));

  m_refreshHeaderView->addSubview(m_refreshLabel);
  m_refreshHeaderView->addSubview(m_refreshArrow);
  m_refreshHeaderView->addSubview(m_refreshSpinner);
  m_pose = ArrowPose::Release;  // so the pull pose below applies its frame
  applyPose(ArrowPose::Pull);
  m_tableView->addSubview(m_refreshHeaderView);
}

void PullRefreshViewController::applyPose(ArrowPose pose) {
  m_pose = pose;
  if (!m_refreshArrow) return;
  const CGSize size = m_refreshActionImage ? m_refreshActionImage->size() : CGSizeZero;
  const CGFloat releaseY = kRefreshHeaderHeight - size.height - 1;
  if (m_pullRefreshStyle == 0) {
    const CGFloat y = pose == ArrowPose::Pull ? -kRefreshHeaderHeight : releaseY;
    m_refreshArrow->setFrame(CGRectMake(kArrowX, y, size.width, size.height));
  } else if (pose == ArrowPose::Pull) {
    m_refreshArrow->setFrame(CGRectMake(kArrowX, kRefreshHeaderHeight - 1, size.width, 0));
  } else {
    m_refreshArrow->setFrame(CGRectMake(kArrowX, releaseY, size.width, size.height));
  }
}

void PullRefreshViewController::setContentInsetTop(CGFloat inset) {
  m_contentInsetTop = inset;
  if (!m_tableView) return;
  UIEdgeInsets insets = m_tableView->contentInset();
  insets.top = inset;
  m_tableView->setContentInset(insets);
  UIEdgeInsets indicator = m_tableView->scrollIndicatorInsets();
  indicator.top = inset;
  m_tableView->setScrollIndicatorInsets(indicator);
}

void PullRefreshViewController::setPullRefreshEnabled(bool enabled) {
  if (!enabled) {
    stopLoadingAnimated(KMAnimated::Yes);
    m_pullRefreshEnabled = false;
    if (m_refreshHeaderView) m_refreshHeaderView->setHidden(true);
    return;
  }
  m_pullRefreshEnabled = true;
  // A screen that started without the header gets it when turned on.
  if (isViewLoaded() && !m_refreshHeaderView) addPullToRefreshHeader();
  if (m_refreshHeaderView) m_refreshHeaderView->setHidden(false);
}

void PullRefreshViewController::scrollViewWillBeginDragging(UIScrollView&) {
  if (!m_pullRefreshEnabled || m_isLoading) return;
  m_isDragging = true;
}

void PullRefreshViewController::scrollViewDidScroll(UIScrollView& scrollView) {
  if (!m_pullRefreshEnabled || !m_refreshHeaderView) return;
  const CGFloat y = scrollView.contentOffset().y;
  const CGFloat rest = m_contentInsetTop;
  if (m_isLoading) {
    m_refreshHeaderView->setAlpha(1);
    UIEdgeInsets insets = scrollView.contentInset();
    if (y > -rest)
      insets.top = rest;
    else if (y >= -rest - kRefreshHeaderHeight)
      insets.top = -y;
    else
      return;
    if (insets != scrollView.contentInset()) scrollView.setContentInset(insets);
    return;
  }
  if (y <= -rest) m_refreshHeaderView->setAlpha(std::clamp((-rest - y) / kRefreshHeaderHeight, 0.0, 1.0));
  if (m_isDragging && y < 0) {
    const bool pastThreshold = y < -rest - kRefreshHeaderHeight;
    if (pastThreshold && m_pose == ArrowPose::Release) return;
    if (!pastThreshold && m_pose == ArrowPose::Pull && m_refreshLabel->text() == m_textPull) return;
    UIView::animateWithDurationAnimations(kPoseDuration, [&] {
      if (pastThreshold) {
        m_refreshLabel->setText(m_textRelease);
        if (m_pose == ArrowPose::Pull) applyPose(ArrowPose::Release);
      } else {
        m_refreshLabel->setText(m_textPull);
        applyPose(ArrowPose::Pull);
      }
    });
  }
}

void PullRefreshViewController::scrollViewDidEndDraggingWillDecelerate(UIScrollView& scrollView, bool) {
  if (!m_pullRefreshEnabled || m_isLoading) return;
  m_isDragging = false;
  if (scrollView.contentOffset().y <= -m_contentInsetTop - kRefreshHeaderHeight) pullRefresh();
}

void PullRefreshViewController::pullRefresh() {
  if (!m_pullRefreshEnabled) return;
  startLoadingAnimated(KMAnimated::Yes);
  if (!m_isLoading) return;
  if (m_baseStopTimer) RunLoop::main().cancel(m_baseStopTimer);
  auto weak = weakSelf<PullRefreshViewController>();
  m_baseStopTimer = RunLoop::main().postDelayed(kBaseStopDelay, [weak] {
    if (auto self = weak.lock()) {
      self->m_baseStopTimer = 0;
      self->stopLoading();
    }
  });
}

void PullRefreshViewController::startLoadingAnimated(KMAnimated animated) {
  if (!m_pullRefreshEnabled || m_isLoading) return;
  m_isLoading = true;
  stopLongWaitingState();
  UIEdgeInsets insets = m_tableView ? m_tableView->contentInset() : UIEdgeInsetsZero;
  insets.top = m_contentInsetTop + kRefreshHeaderHeight;
  auto apply = [&] {
    if (m_tableView) m_tableView->setContentInset(insets);
    if (m_refreshLabel) m_refreshLabel->setText(m_textLoading);
    applyPose(ArrowPose::Release);
  };
  // Content already pulled past the header takes the inset at once, so the
  // spring back after the release settles on the header, not above it.
  const bool uncovered = m_tableView && m_tableView->contentOffset().y <= -insets.top;
  if (isAnimated(animated) && !uncovered)
    UIView::animateWithDurationAnimations(kLoadingInsetDuration, apply);
  else
    apply();
  auto weak = weakSelf<PullRefreshViewController>();
  m_longWaitTimer = RunLoop::main().postDelayed(kLongWaitDelay, [weak] {
    if (auto self = weak.lock()) {
      self->m_longWaitTimer = 0;
      self->startLongWaitingState();
    }
  });
}

void PullRefreshViewController::startLongWaitingState() {
  if (!m_isLoading) return;
  m_inLongWaitingState = true;
  applyPose(ArrowPose::Pull);
  if (m_refreshSpinner) m_refreshSpinner->startAnimating();
  if (m_refreshArrow) m_refreshArrow->setHidden(true);
}

void PullRefreshViewController::stopLongWaitingState() {
  if (m_longWaitTimer) RunLoop::main().cancel(m_longWaitTimer);
  m_longWaitTimer = 0;
  m_inLongWaitingState = false;
  if (m_refreshSpinner) m_refreshSpinner->stopAnimating();
  if (m_refreshArrow) m_refreshArrow->setHidden(false);
}

void PullRefreshViewController::stopLoadingAnimated(KMAnimated animated) {
  if (!m_isLoading) return;
  m_isLoading = false;
  stopLongWaitingState();
  // A stop by hand makes the base's pending stop meaningless; left alone it
  // would end the next refresh early.
  if (m_baseStopTimer) RunLoop::main().cancel(m_baseStopTimer);
  m_baseStopTimer = 0;
  auto apply = [&] {
    if (m_tableView) {
      UIEdgeInsets insets = m_tableView->contentInset();
      insets.top = m_contentInsetTop;
      m_tableView->setContentInset(insets);
    }
    applyPose(ArrowPose::Pull);
  };
  auto weak = weakSelf<PullRefreshViewController>();
  auto finished = [weak](bool) {
    auto self = weak.lock();
    // A refresh started while the inset went back keeps its loading looks.
    if (!self || self->m_isLoading) return;
    if (self->m_refreshLabel) self->m_refreshLabel->setText(self->m_textPull);
    self->applyPose(ArrowPose::Pull);
    self->stopLoadingAnimationFinished();
  };
  if (isAnimated(animated)) {
    UIView::animateWithDurationAnimationsCompletion(kLoadingInsetDuration, apply, finished);
  } else {
    apply();
    finished(true);
  }
  // Content still uncovering the header goes back with the inset; left
  // alone it would rest over an empty gap until touched. A finger holding
  // it decides for itself.
  if (m_tableView && !m_tableView->isDragging() && m_tableView->contentOffset().y < -m_contentInsetTop)
    m_tableView->setContentOffsetAnimated({m_tableView->contentOffset().x, -m_contentInsetTop}, animated);
}

}  // namespace kdisk
