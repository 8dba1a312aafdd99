#include "screens/settings/KMAboutBoxViewController.h"

#include <sys/stat.h>

#include <ctime>

#include "foundation/KLApplicationEnvironment.h"
#include "foundation/KLApplicationLocale.h"
#include "foundation/KLApplicationVersion.h"
#include "platform/KMAnalytics.h"
#include "screens/auth/KMWebController.h"
#include "uikit/UIBarButtonItem.h"
#include "uikit/UIButton.h"
#include "uikit/UIImageView.h"
#include "uikit/UILabel.h"
#include "uikit/UINavigationController.h"
#include "uikit/UINavigationItem.h"

namespace kdisk {
namespace {

constexpr CGFloat kRowHeight = 44;
constexpr CGFloat kRowSide = 10;
constexpr CGFloat kRowsBottomMargin = 20;
const UIColor kTextColor = UIColor::colorWithRGB255(36, 49, 56);

std::string localized(std::string_view key, std::string_view fallback) {
  return KMLocalizedString(key, fallback, kKMAboutBoxViewControllerTable);
}

std::string fill(std::string format, std::string_view value) {
  if (auto at = format.find("%@"); at != std::string::npos)
    format.replace(at, 2, value);
  return format;
}

std::shared_ptr<UIImage> stretchable(std::string_view name) {
  auto image = UIImage::imageNamed(name);
  if (!image)
    return nullptr;
  return image->stretchableImageWithLeftCapWidthTopCapHeight(int(image->size().width / 2),
                                                             int(image->size().height / 2));
}

std::shared_ptr<UILabel> makeLabel(CGRect frame, const UIFont& font) {
  auto label = std::make_shared<UILabel>(frame);
  label->setFont(font);
  label->setTextColor(kTextColor);
  label->setBackgroundColor(UIColor::clearColor());
  label->setTextAlignment(NSTextAlignment::Center);
  label->setShadowColor(UIColor::whiteColor());
  label->setShadowOffset({0, 1});
  return label;
}

} // namespace

KMAboutBoxViewController::KMAboutBoxViewController(const Bundle& bundle, std::string executablePath,
                                                   std::string applicationLanguage)
    : m_bundle(bundle), m_executablePath(std::move(executablePath)),
      m_language(applicationLanguage.empty() ? KLApplicationLocale::applicationLanguage()
                                             : std::move(applicationLanguage)) {
  setTitle(localized("About", "О программе"));
}

std::string KMAboutBoxViewController::longDateString(double secondsSince1970,
                                                     const std::string& language) {
  static const char* const russianMonths[] = {"января",   "февраля", "марта",  "апреля",
                                              "мая",      "июня",    "июля",   "августа",
                                              "сентября", "октября", "ноября", "декабря"};
  static const char* const englishMonths[] = {"January",   "February", "March",    "April",
                                              "May",       "June",     "July",     "August",
                                              "September", "October",  "November", "December"};
  const std::time_t time = static_cast<std::time_t>(secondsSince1970);
  std::tm parts{};
  localtime_r(&time, &parts);
  const std::string day = std::to_string(parts.tm_mday),
                    year = std::to_string(parts.tm_year + 1900);
  if (language == "ru")
    return day + " " + russianMonths[parts.tm_mon] + " " + year + " г.";
  return std::string(englishMonths[parts.tm_mon]) + " " + day + ", " + year;
}

std::shared_ptr<UIButton> KMAboutBoxViewController::makeRow(const std::string& title,
                                                            const char* background,
                                                            const char* pressedBackground,
                                                            CGFloat top) {
  auto row = UIButton::buttonWithType(UIButtonType::Custom);
  const CGFloat width = view()->bounds().size.width - 2 * kRowSide;
  row->setFrame(CGRectMake(kRowSide, top, width, kRowHeight));
  row->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleTopMargin);
  row->setBackgroundImageForState(stretchable(background), UIControlStateNormal);
  row->setBackgroundImageForState(stretchable(pressedBackground), UIControlStateHighlighted);
  row->setTitleForState(title, UIControlStateNormal);
  row->setTitleColorForState(kTextColor, UIControlStateNormal);
  row->setTitleColorForState(UIColor::whiteColor(), UIControlStateHighlighted);
  row->titleLabel().setFont(UIFont::boldSystemFontOfSize(16));
  row->titleLabel().setAdjustsFontSizeToFitWidth(true);
  row->titleLabel().setMinimumFontSize(12);
  row->setContentHorizontalAlignment(UIControlContentHorizontalAlignment::Left);
  row->setContentEdgeInsets({0, 12, 0, 30});
  auto arrow = std::make_shared<UIImageView>(UIImage::imageNamed("mtv-groups_arrow"));
  CGRect arrowFrame = arrow->frame();
  arrowFrame.origin =
      CGPointMake(width - arrowFrame.size.width - 12, (kRowHeight - arrowFrame.size.height) / 2);
  arrow->setFrame(arrowFrame);
  arrow->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin);
  row->addSubview(arrow);
  view()->addSubview(row);
  return row;
}

void KMAboutBoxViewController::loadView() {
  auto root = std::make_shared<UIView>(CGRectMake(0, 0, 320, 416));
  root->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
  if (auto texture = UIImage::imageNamed("bg"))
    root->setBackgroundColor(UIColor::colorWithPatternImage(texture));
  else
    root->setBackgroundColor(UIColor::colorWithRGB255(228, 232, 234));
  const CGFloat width = root->bounds().size.width;

  m_logoImageView = std::make_shared<UIImageView>(CGRectMake(0, 24, width, 90));
  m_logoImageView->setImage(UIImage::imageNamed(localized("KalumoDiskLogoResource", "about_logo")));
  m_logoImageView->setContentMode(UIViewContentMode::Center);
  m_logoImageView->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
  root->addSubview(m_logoImageView);

  m_versionLabel = makeLabel(CGRectMake(10, 126, width - 20, 20), UIFont::boldSystemFontOfSize(15));
  m_buildLabel = makeLabel(CGRectMake(10, 148, width - 20, 18), UIFont::systemFontOfSize(13));
  m_companyLabel = makeLabel(CGRectMake(20, 180, width - 40, 60), UIFont::systemFontOfSize(13));
  m_companyLabel->setNumberOfLines(0);
  for (auto& label : {m_versionLabel, m_buildLabel, m_companyLabel}) {
    label->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    root->addSubview(label);
  }
  setView(root);
}

void KMAboutBoxViewController::viewDidLoad() {
  struct stat facts {};
  const double built =
      ::stat(m_executablePath.c_str(), &facts) == 0 ? double(facts.st_mtim.tv_sec) : 0;
  m_versionLabel->setText(
      fill(fill(localized("Version %@ of %@", "Версия %@ от %@"), appVersionString(m_bundle)),
           longDateString(built, m_language)));
  m_buildLabel->setText(fill(localized("Build %@", "Сборка %@"),
                             m_bundle.objectForInfoDictionaryKey("CFBundleVersion").value_or("")));
  m_companyLabel->setText(localized("AboutCompanyInfo", "© ООО «Калумо»"));

  std::weak_ptr<KMAboutBoxViewController> weak =
      std::static_pointer_cast<KMAboutBoxViewController>(sharedController());
  auto action = [weak](void (KMAboutBoxViewController::*member)()) {
    return [weak, member](UIControl&) {
      if (auto self = weak.lock())
        ((*self).*member)();
    };
  };
  const CGFloat bottom = view()->bounds().size.height - kRowsBottomMargin;
  if (m_language == "ru") {
    m_rows.push_back(makeRow(localized("MoreKalumoApps", "Другие приложения Калумо"), "group_top",
                             "group_top_pressed", bottom - 2 * kRowHeight));
    m_rows.back()->addActionForControlEvents(
        action(&KMAboutBoxViewController::actionMoreKalumoApps), UIControlEventTouchUpInside);
    m_rows.push_back(makeRow(localized("TermsOfUse", "Лицензионное соглашение"), "group_bottom",
                             "group_bottom_pressed", bottom - kRowHeight));
  } else {
    m_rows.push_back(makeRow(localized("TermsOfUse", "Лицензионное соглашение"), "mtv-group_single",
                             "mtv-group_single_pressed", bottom - kRowHeight));
  }
  m_rows.back()->addActionForControlEvents(action(&KMAboutBoxViewController::actionTermsOfUse),
                                           UIControlEventTouchUpInside);
}

void KMAboutBoxViewController::actionMoreKalumoApps() {
  KMAnalytics::sharedInstance().logEvent(kKMMVAboutOpenKalumoApps);
  showWebViewWithURLPath(localized("MoreKalumoAppsLink", "/apps/"));
}

void KMAboutBoxViewController::actionTermsOfUse() {
  showWebViewWithURLPath(localized("MobileLicenseAgreement", "/legal/disk/mobile/"));
}

void KMAboutBoxViewController::showWebViewWithURLPath(const std::string& path) {
  const URL site = KLApplicationEnvironment::currentEnvironment().webSiteURL();
  auto browser =
      std::make_shared<KMWebController>(URL::fromStringRelativeTo(path, site).value_or(site));
  std::weak_ptr<KMAboutBoxViewController> weak =
      std::static_pointer_cast<KMAboutBoxViewController>(sharedController());
  browser->navigationItem().setRightBarButtonItemAnimated(
      UIBarButtonItem::itemWithBarButtonSystemItemAction(
          UIBarButtonSystemItem::Done, [weak](UIBarButtonItem&) {
            if (auto self = weak.lock())
              self->webControllerCloseButtonPressed();
          }));
  browser->navigationItem().setHidesBackButtonAnimated(true);
  if (auto* navigation = navigationController())
    navigation->pushViewControllerAnimated(browser, KMAnimated::Yes);
}

void KMAboutBoxViewController::webControllerCloseButtonPressed() {
  if (auto* navigation = navigationController())
    navigation->popViewControllerAnimated(KMAnimated::Yes);
}

} // namespace kdisk
