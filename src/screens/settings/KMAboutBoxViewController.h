#pragma once
// The about box: the application's logo, version with the build's date,
// build number, company text, and rows that open the maker's other
// applications (Russian interface only) and the licence in the in-application
// browser. Pushed onto a navigation stack by the screen that offers it.
// Main thread.
#include <memory>
#include <string>
#include <vector>

#include "platform/Bundle.h"
#include "uikit/UIViewController.h"

namespace kdisk {

class UIButton;
class UIImageView;
class UILabel;
class KMWebController;

inline constexpr const char* kKMAboutBoxViewControllerTable = "KMAboutBoxViewController";

class KMAboutBoxViewController : public UIViewController {
public:
  // The bundle gives the version texts, the executable's modification date the
  // version's date; the language chooses the rows.
  explicit KMAboutBoxViewController(const Bundle& bundle = Bundle::mainBundle(),
                                    std::string executablePath = "/proc/self/exe",
                                    std::string applicationLanguage = {});

  void loadView() override;
  void viewDidLoad() override;

  void actionMoreKalumoApps();
  void actionTermsOfUse();
  void showWebViewWithURLPath(const std::string& path);
  void webControllerCloseButtonPressed();

  // "8 December 2026" / "8 декабря 2026 г.": the long date style of the language.
  static std::string longDateString(double secondsSince1970, const std::string& language);

  UIImageView& logoImageView() const { return *m_logoImageView; }
  UILabel& versionLabel() const { return *m_versionLabel; }
  UILabel& buildLabel() const { return *m_buildLabel; }
  UILabel& companyLabel() const { return *m_companyLabel; }
  // The rows top to bottom.
  const std::vector<std::shared_ptr<UIButton>>& rows() const { return m_rows; }

private:
  std::shared_ptr<UIButton> makeRow(const std::string& title, const char* background,
                                    const char* pressedBackground, CGFloat top);

  Bundle m_bundle;
  std::string m_executablePath;
  std::string m_language;
  std::shared_ptr<UIImageView> m_logoImageView;
  std::shared_ptr<UILabel> m_versionLabel, m_buildLabel, m_companyLabel;
  std::vector<std::shared_ptr<UIButton>> m_rows;
};

} // namespace kdisk
