#include "screens/settings/KMUpdateAlert.h"

#include "uikit/UIAlertView.h"

namespace kdisk {

namespace {

// The alert holds its delegate weakly: this one keeps itself alive until the
// user answers.
class UpdateAlertDelegate : public UIAlertViewDelegate {
 public:
  explicit UpdateAlertDelegate(std::function<void(int)> clicked) : m_clicked(std::move(clicked)) {}
  void keepUntilAnswered(std::shared_ptr<UpdateAlertDelegate> self) { m_self = std::move(self); }
  void alertViewClickedButtonAtIndex(UIAlertView&, int buttonIndex) override {
    auto keep = std::move(m_self);
    if (m_clicked) m_clicked(buttonIndex);
  }

 private:
  std::function<void(int)> m_clicked;
  std::shared_ptr<UpdateAlertDelegate> m_self;
};

}  // namespace

KLAutoUpdater::AlertPresenter KMUpdateAlert::presenter() {
  return [](const std::string& message, const std::string& cancelTitle, const std::string& otherTitle,
            std::function<void(int)> clicked) {
    auto delegate = std::make_shared<UpdateAlertDelegate>(std::move(clicked));
    delegate->keepUntilAnswered(delegate);
    auto alert = std::make_shared<UIAlertView>("", message, delegate, cancelTitle,
                                               std::vector<std::string>{otherTitle});
    alert->show();
  };
}

}  // namespace kdisk
