#include "screens/settings/KAWizzardPageWithLinkViewController.h"

#include "foundation/KLApplicationEnvironment.h"
#include "uikit/UIApplication.h"

namespace kdisk {

namespace {
constexpr CGFloat kLinkHeight = 32;
const UIColor kLinkColor = UIColor::colorWithRGB255(35, 104, 149);
}  // namespace

void KAWizzardPageWithLinkViewController::loadView() {
  KAWizardPageViewController::loadView();
  m_linkButton = UIButton::buttonWithType(UIButtonType::Custom);
  m_linkButton->setTitleColorForState(kLinkColor, UIControlStateNormal);
  m_linkButton->setTitleColorForState(UIColor::colorWithRGB255(20, 60, 90), UIControlStateHighlighted);
  m_linkButton->titleLabel().setFont(UIFont::boldSystemFontOfSize(kTextFontSize));
  m_linkButton->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
  std::weak_ptr<KAWizzardPageWithLinkViewController> weak =
      std::static_pointer_cast<KAWizzardPageWithLinkViewController>(sharedController());
  m_linkButton->addActionForControlEvents(
      [weak](UIControl&) {
        if (auto self = weak.lock()) self->linkButtonTouched();
      },
      UIControlEventTouchUpInside);
  view()->addSubview(m_linkButton);
}

void KAWizzardPageWithLinkViewController::setLinkText(const std::string& text) {
  view();
  m_linkButton->setTitleForState(text, UIControlStateNormal);
  updateLabelTextLayout();
}

void KAWizzardPageWithLinkViewController::linkButtonTouched() {
  UIApplication::sharedApplication().openURL(KLApplicationEnvironment::currentEnvironment().webSiteURL());
}

void KAWizzardPageWithLinkViewController::updateLabelTextLayout() {
  KAWizardPageViewController::updateLabelTextLayout();
  if (!m_linkButton) return;
  const CGFloat width = view()->bounds().size.width - 2 * kSide;
  m_linkButton->setFrame(CGRectMake(kSide, textBottom() + 16, width, kLinkHeight));
}

}  // namespace kdisk
