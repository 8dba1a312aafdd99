#pragma once
// A screen holding one table with a pull-to-refresh header above its first
// row. Pulling the content 44 points past the resting top inset and letting
// go calls pullRefresh; while loading, the header stays uncovered and after
// 3.0 seconds a spinner takes the arrow's place. Main thread; the delayed
// calls it schedules capture it weakly and are cancelled on unload and
// destruction.
//
// Pull states and what moves between them:
//   Idle --drag begins (enabled, not loading)--> Dragging
//   Dragging --pulled past 44--> Dragging, release pose (textRelease)
//   Dragging --lift at or past 44--> pullRefresh --> Loading
//   Loading --3.0 s--> Loading, long wait (spinner)
//   Loading --stopLoadingAnimated--> Idle (pull pose once the inset is back)
#include <memory>
#include <string>

#include "graphics/UIImage.h"
#include "platform/RunLoop.h"
#include "uikit/UIActivityIndicatorView.h"
#include "uikit/UIImageView.h"
#include "uikit/UILabel.h"
#include "uikit/UITableView.h"
#include "uikit/UIViewController.h"

namespace kdisk {

class PullRefreshViewController : public UIViewController, public UITableViewDelegate {
 public:
  static constexpr CGFloat kRefreshHeaderHeight = 44;
  static constexpr double kLoadingInsetDuration = 0.3;
  static constexpr double kLongWaitDelay = 3.0;
  static constexpr double kBaseStopDelay = 5.0;
  static constexpr double kPoseDuration = 0.2;

  PullRefreshViewController();
  ~PullRefreshViewController() override;

  void loadView() override;
  void viewDidLoad() override;
  void viewDidUnload() override;
  void viewDidDisappear(KMAnimated animated) override;

  const std::shared_ptr<UITableView>& tableView() const { return m_tableView; }

  int pullRefreshStyle() const { return m_pullRefreshStyle; }
  void setPullRefreshStyle(int style) { m_pullRefreshStyle = style; }
  bool pullRefreshEnabled() const { return m_pullRefreshEnabled; }
  void setPullRefreshEnabled(bool enabled);
  const std::shared_ptr<UIImage>& refreshActionImage() const { return m_refreshActionImage; }
  void setRefreshActionImage(std::shared_ptr<UIImage> image) { m_refreshActionImage = std::move(image); }

  const std::string& textPull() const { return m_textPull; }
  void setTextPull(std::string text) { m_textPull = std::move(text); }
  const std::string& textRelease() const { return m_textRelease; }
  void setTextRelease(std::string text) { m_textRelease = std::move(text); }
  const std::string& textLoading() const { return m_textLoading; }
  void setTextLoading(std::string text) { m_textLoading = std::move(text); }

  CGFloat contentInsetTop() const { return m_contentInsetTop; }
  // Also the resting inset the pull threshold is measured from.
  void setContentInsetTop(CGFloat inset);

  bool isDragging() const { return m_isDragging; }
  bool isLoading() const { return m_isLoading; }
  bool inLongWaitingState() const { return m_inLongWaitingState; }
  // Null until the header is built.
  UIView* refreshHeaderView() const { return m_refreshHeaderView.get(); }
  UILabel* refreshLabel() const { return m_refreshLabel.get(); }
  UIImageView* refreshArrow() const { return m_refreshArrow.get(); }
  UIActivityIndicatorView* refreshSpinner() const { return m_refreshSpinner.get(); }

  void startLoadingAnimated(KMAnimated animated);
  void stopLoading() { stopLoadingAnimated(KMAnimated::Yes); }
  void stopLoadingAnimated(KMAnimated animated);

  // Hooks.
  virtual void pullRefresh();
  virtual void stopLoadingAnimationFinished() {}

  void scrollViewWillBeginDragging(UIScrollView& scrollView) override;
  void scrollViewDidScroll(UIScrollView& scrollView) override;
  void scrollViewDidEndDraggingWillDecelerate(UIScrollView& scrollView, bool decelerate) override;

 protected:
  enum class ArrowPose { Pull, Release };
  void addPullToRefreshHeader();
  void applyPose(ArrowPose pose);
  void cancelScheduledCalls();
  template <typename T>
  std::weak_ptr<T> weakSelf() {
    return std::static_pointer_cast<T>(sharedController());
  }

 private:
  void startLongWaitingState();
  void stopLongWaitingState();

  std::shared_ptr<UITableView> m_tableView;
  int m_pullRefreshStyle = 0;
  bool m_pullRefreshEnabled = true;
  std::shared_ptr<UIImage> m_refreshActionImage;
  std::shared_ptr<UIView> m_refreshHeaderView;
  std::shared_ptr<UILabel> m_refreshLabel;
  std::shared_ptr<UIImageView> m_refreshArrow;
  std::shared_ptr<UIActivityIndicatorView> m_refreshSpinner;
  ArrowPose m_pose = ArrowPose::Pull;
  bool m_isDragging = false;
  bool m_isLoading = false;
  bool m_inLongWaitingState = false;
  std::string m_textPull = "Потяните...";
  std::string m_textRelease = "Отпустите...";
  std::string m_textLoading = "Загрузка... (не готово)";
  CGFloat m_contentInsetTop = 0;
  TimerId m_longWaitTimer = 0;
  TimerId m_baseStopTimer = 0;
};

}  // namespace kdisk
