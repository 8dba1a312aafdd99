#pragma once
// Adds the loading state to the group-edit list: idle, loading or failed,
// each with its table footer (loading with a spinner, no items, loading
// failed, or an empty one), loading on first appearance and the refresh
// hooks a subclass fills in. Main thread.
//
// Loading states: 0 idle --request sent--> 1 loading --data--> 0
//                                          1 loading --failure--> 2 failed
// Each change re-picks the footer (updateTableFooterAnimated).
#include <memory>
#include <optional>
#include <string>

#include "screens/browsing/KMGroupEditTableViewController.h"
#include "screens/browsing/KMTableViewMessageFooter.h"

namespace kdisk {

enum KMLoadingState : int { KMLoadingStateIdle = 0, KMLoadingStateLoading = 1, KMLoadingStateFailed = 2 };

class KMTableViewController : public KMGroupEditTableViewController {
 public:
  static constexpr CGFloat kFooterHeight = 40;
  static constexpr CGFloat kRowHeight = 55;

  KMTableViewController();
  ~KMTableViewController() override;

  void viewDidLoad() override;
  void viewWillAppear(KMAnimated animated) override;
  void viewDidAppear(KMAnimated animated) override;
  bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) const override;

  int loadingState() const { return m_loadingState; }
  void setLoadingStateAnimated(int state, KMAnimated animated);
  void setLoadingState(int state) { setLoadingStateAnimated(state, KMAnimated::No); }
  void updateTableFooterAnimated(KMAnimated animated);
  // Every section of the current table has no rows.
  bool isEmpty();
  bool firstTimeOpening() const { return m_firstTimeOpening; }

  const std::optional<std::string>& textNoItems() const { return m_textNoItems; }
  void setTextNoItems(std::optional<std::string> text);
  const std::optional<std::string>& textLoadingFailed() const { return m_textLoadingFailed; }
  void setTextLoadingFailed(std::optional<std::string> text);

  UIView* emptyFooter() const { return m_emptyFooter.get(); }
  KMTableViewMessageFooter* loadingFooter() const { return m_loadingFooter.get(); }
  KMTableViewMessageFooter* noItemsFooter() const { return m_noItemsFooter.get(); }
  KMTableViewMessageFooter* loadingFailedFooter() const { return m_loadingFailedFooter.get(); }

  // Hooks.
  virtual void updateData() {}
  virtual void refetchAndReloadData() {}
  virtual void didReloadData() { updateTableFooterAnimated(KMAnimated::No); }
  virtual void reset();
  void pullRefresh() override;

 private:
  std::shared_ptr<KMTableViewMessageFooter> makeFooter(const std::optional<std::string>& text) const;

  int m_loadingState = KMLoadingStateIdle;
  bool m_firstTimeOpening = true;
  std::optional<std::string> m_textNoItems;
  std::optional<std::string> m_textLoadingFailed;
  std::shared_ptr<UIView> m_emptyFooter;
  std::shared_ptr<KMTableViewMessageFooter> m_loadingFooter;
  std::shared_ptr<KMTableViewMessageFooter> m_noItemsFooter;
  std::shared_ptr<KMTableViewMessageFooter> m_loadingFailedFooter;
};

}  // namespace kdisk
