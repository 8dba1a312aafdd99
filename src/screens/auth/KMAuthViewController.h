#pragma once
// The sign-in screen the application shows while nobody is signed in: a
// login and password form that runs the password exchange, and links to the
// service's registration and password pages in the in-application browser.
// Registration ends in a redirect to the application's own scheme carrying a
// token, which this screen catches and announces like the exchange would.
// Failures show inline; success is the application delegate's to handle (it
// hears the token notification and dismisses this screen). Main thread.
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/NotificationCenter.h"
#include "platform/ObserverToken.h"
#include "screens/auth/KMWebController.h"
#include "uikit/UITextField.h"
#include "uikit/UIViewController.h"

namespace kdisk {

class KMActivityPopupView;
class UIButton;
class UIImageView;
class UILabel;
class UINavigationController;

inline constexpr const char* kKMAuthViewControllerTable = "KMAuthViewController";
// The application's own URL scheme, where web sign-in ends.
inline constexpr const char* kKMApplicationURLScheme = "kalumodisk";

class KMAuthViewController : public UIViewController,
                             public UITextFieldDelegate,
                             public KMWebControllerDelegate {
public:
  explicit KMAuthViewController(std::optional<Notification> loginErrorNotification = std::nullopt);
  ~KMAuthViewController() override;
  static std::shared_ptr<KMAuthViewController>
  initWithLoginErrorNotification(std::optional<Notification> notification) {
    return std::make_shared<KMAuthViewController>(std::move(notification));
  }

  // Geometry of the form: the login button's and the link's top edges without
  // and with an error shown, and how far the keyboard lifts the screen.
  static constexpr CGFloat kLoginButtonTop = 227, kLoginButtonTopWithError = 258;
  static constexpr CGFloat kForgotPasswordTop = 270, kForgotPasswordTopWithError = 301;
  static constexpr CGFloat kShadePopupTop = 110;
  static constexpr CGFloat kKeyboardLift = 100;
  static constexpr double kKeyboardAnimationDuration = 0.3;
  static constexpr CGFloat kErrorFontLargest = 16, kErrorFontSmallest = 6;
  static constexpr unsigned kAuthenticationTimeOut = 15;

  void loadView() override;
  void viewDidLoad() override;
  void viewDidUnload() override;

  // Actions.
  void loginButtonPressed();
  void signUpButtonPressed();
  void forgotPasswordButtonPressed();
  void backgroundPressed();
  void onTextFieldTextChanged();
  void webControllerCloseButtonPressed();

  // The retpath of the registration page: where it sends the browser back to.
  static std::string OAuthRetpath();
  static URL registerURL();
  static URL restoreURL();

  // The token catcher.
  bool webControllerShouldStartLoadWithRequest(KMWebController& controller,
                                               const URL& request) override;

  void showLoginErrorWithNotification(const Notification& notification);
  void setErrorText(std::optional<std::string> text);
  const std::optional<std::string>& errorText() const { return m_errorText; }
  void startAuthentication();
  // The login to send: the text itself without "@", what comes before the "@"
  // when the domain is one of the service's; nothing otherwise.
  static std::optional<std::string> parseLoginStr(std::string_view login);
  static bool validateDomain(std::string_view domain);
  // The login field's text without leading and trailing spaces.
  std::string loginText() const;
  bool credentialsFilled() const;

  // UITextFieldDelegate
  void textFieldDidBeginEditing(UITextField& field) override;
  void textFieldDidEndEditing(UITextField& field) override;
  bool textFieldShouldClear(UITextField& field) override;
  bool textFieldShouldReturn(UITextField& field) override;

  UIImageView& backgroundImageView() const { return *m_backgroundImageView; }
  UIImageView& logoImageView() const { return *m_logoImageView; }
  UITextField& loginTextField() const { return *m_loginTextField; }
  UITextField& passwordTextField() const { return *m_passwordTextField; }
  UIButton& loginButton() const { return *m_loginButton; }
  UIButton& registerButton() const { return *m_registerButton; }
  UIButton& forgotPasswordLink() const { return *m_forgotPasswordLink; }
  UIView& shadeView() const { return *m_shadeView; }
  KMActivityPopupView& shadePopupView() const { return *m_shadePopupView; }
  UILabel& errorLabel() const { return *m_errorLabel; }
  bool willBeginEditingNextField() const { return m_willBeginEditingNextField; }
  // The browser on screen, while one is.
  std::shared_ptr<KMWebController> webController() const { return m_webController.lock(); }

  // The exchange goes here instead of the environment's token endpoint.
  void setTokenEndpointURLForTesting(std::optional<URL> url) {
    m_tokenEndpointForTesting = std::move(url);
  }

private:
  void connectionDidFailAuthenticateWithError(const Notification& notification);
  void keyboardWillShow();
  void keyboardWillHide();
  void moveFocusTo(UITextField& field);
  void setShadeVisible(bool visible);
  void showWebControllerWithURL(const URL& url, bool catchesToken);
  std::shared_ptr<UITextField> makeTextField(CGRect frame, const std::string& placeholder);

  std::optional<Notification> m_loginErrorNotification;
  std::shared_ptr<UIImageView> m_backgroundImageView, m_logoImageView;
  // Behind the form: a tap there hides the keyboard.
  std::shared_ptr<UIControl> m_backgroundControl;
  std::shared_ptr<UITextField> m_loginTextField, m_passwordTextField;
  std::shared_ptr<UIButton> m_loginButton, m_registerButton, m_forgotPasswordLink;
  std::shared_ptr<UIView> m_shadeView;
  std::shared_ptr<KMActivityPopupView> m_shadePopupView;
  std::shared_ptr<UILabel> m_errorLabel;
  std::optional<std::string> m_errorText;
  bool m_willBeginEditingNextField = false;
  std::weak_ptr<KMWebController> m_webController;
  std::vector<ObserverToken> m_observations;
  std::optional<URL> m_tokenEndpointForTesting;
};

} // namespace kdisk
