#pragma once
// The wizard's last page: no picture, and a link under the text that opens the
// service's web site in the desktop's browser. Main thread.
#include <memory>
#include <string>

#include "screens/settings/KAWizardPageViewController.h"
#include "uikit/UIButton.h"

namespace kdisk {

class KAWizzardPageWithLinkViewController : public KAWizardPageViewController {
 public:
  void loadView() override;
  void setLinkText(const std::string& text);
  UIButton* linkButton() const { return m_linkButton.get(); }
  void linkButtonTouched();
  void updateLabelTextLayout() override;

 private:
  std::shared_ptr<UIButton> m_linkButton;
};

}  // namespace kdisk
