#include "screens/settings/KMUpdateAlert.h"

#include <vector>

#include "uikit/UIAlertView.h"

namespace kdisk {

namespace {

class UpdateAlertDelegate : public UIAlertViewDelegate {
 public:
  explicit UpdateAlertDelegate(std::function<void(int)> clicked) : m_clicked(std::move(clicked)) {}
  void alertViewClickedButtonAtIndex(UIAlertView&, int buttonIndex) override {
    if (m_clicked) m_clicked(buttonIndex);
  }

 private:
  std::function<void(int)> m_clicked;
};

// The alert holds its delegate weakly, so the delegates of alerts still alive
// are kept here; one that keeps itself would outlive an alert closed unanswered.
// Main thread.
std::vector<std::pair<std::weak_ptr<UIAlertView>, std::shared_ptr<UpdateAlertDelegate>>>& liveDelegates() {
  static std::vector<std::pair<std::weak_ptr<UIAlertView>, std::shared_ptr<UpdateAlertDelegate>>> delegates;
  return delegates;
}

}  // namespace

KLAutoUpdater::AlertPresenter KMUpdateAlert::presenter() {
  return [](const std::string& message, const std::string& cancelTitle, const std::string& otherTitle,
            std::function<void(int)> clicked) {
    auto delegate = std::make_shared<UpdateAlertDelegate>(std::move(clicked));
    auto alert = std::make_shared<UIAlertView>("", message, delegate, cancelTitle,
                                               std::vector<std::string>{otherTitle});
    auto& delegates = liveDelegates();
    std::erase_if(delegates, [](const auto& entry) { return entry.first.expired(); });
    delegates.emplace_back(alert, delegate);
    alert->show();
  };
}

}  // namespace kdisk
