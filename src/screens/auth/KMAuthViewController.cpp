#include "screens/auth/KMAuthViewController.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <regex>

#include "auth/KMOAuthOperation.h"
#include "foundation/KLApplicationEnvironment.h"
#include "graphics/FontFitting.h"
#include "platform/Bundle.h"
#include "platform/KMAnalytics.h"
#include "settings/KMSettings.h"
#include "uikit/AudioServices.h"
#include "uikit/KMActivityPopupView.h"
#include "uikit/UIBarButtonItem.h"
#include "uikit/UIButton.h"
#include "uikit/UIImageView.h"
#include "uikit/UILabel.h"
#include "uikit/UINavigationBar.h"
#include "uikit/UINavigationController.h"
#include "uikit/UINavigationItem.h"
#include "uikit/UIScreen.h"

namespace kdisk {
namespace {

// The mail domains of the service's own account system: a login written with
// one of them is the bare login.
constexpr std::array<std::string_view, 8> kAccountDomains{
    "kalumo.ru", "kalumo.com",    "kalumo.ua", "kalumo.by",
    "kalumo.kz", "kalumo.com.tr", "ka.ru",     "kalumomail.ru"};

constexpr CGFloat kSide = 20;
constexpr CGFloat kFieldWidth = 280, kFieldHeight = 44;
constexpr CGFloat kButtonHeight = 40;
constexpr CGFloat kLoginFieldTop = 118, kPasswordFieldTop = 168;
constexpr CGFloat kErrorLabelTop = 214, kErrorLabelHeight = 42;
constexpr CGFloat kForgotPasswordHeight = 22;
constexpr double kShadeAlpha = 0.75;
constexpr double kShadeFadeDuration = 0.3;
constexpr double kErrorAnimationDuration = 0.2;

std::string localized(std::string_view key, std::string_view fallback) {
  return KMLocalizedString(key, fallback, kKMAuthViewControllerTable);
}

std::string unknownErrorText() {
  return KMLocalizedString(
      "AuthAuthorizationUnknownErrorText",
      "Не удалось войти. Проверьте подключение к интернету и попробуйте ещё раз.");
}

std::string invalidLoginText() {
  return KMLocalizedString("AuthInvalidLoginOrPassword", "Неправильный логин или пароль.");
}

std::shared_ptr<UIImage> stretchable(std::string_view name) {
  auto image = UIImage::imageNamed(name);
  if (!image)
    return nullptr;
  return image->stretchableImageWithLeftCapWidthTopCapHeight(int(image->size().width / 2),
                                                             int(image->size().height / 2));
}

std::string lowercase(std::string_view text) {
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  return result;
}

// Fills the single "%@" of a format.
std::string fill(std::string format, std::string_view value) {
  if (auto at = format.find("%@"); at != std::string::npos)
    format.replace(at, 2, value);
  return format;
}

URL accountPage(const std::string& path) {
  const URL origin = KLApplicationEnvironment::currentEnvironment().accountURL();
  return URL::fromStringRelativeTo(path, origin).value_or(origin);
}

} // namespace

KMAuthViewController::KMAuthViewController(std::optional<Notification> loginErrorNotification)
    : m_loginErrorNotification(std::move(loginErrorNotification)) {}

KMAuthViewController::~KMAuthViewController() = default;

std::shared_ptr<UITextField> KMAuthViewController::makeTextField(CGRect frame,
                                                                 const std::string& placeholder) {
  auto field = std::make_shared<UITextField>(frame);
  field->setBorderStyle(UITextBorderStyle::None);
  field->setBackground(stretchable("text_box"));
  field->setPlaceholder(placeholder);
  field->setFont(UIFont::systemFontOfSize(17));
  field->setTextInsets({0, 12, 0, 12});
  field->setContentVerticalAlignment(UIControlContentVerticalAlignment::Center);
  field->setAutocorrectionType(UITextAutocorrectionType::No);
  field->setAutocapitalizationType(UITextAutocapitalizationType::None);
  field->setClearButtonMode(UITextFieldViewMode::WhileEditing);
  return field;
}

void KMAuthViewController::loadView() {
  auto root = std::make_shared<UIView>(UIScreen::mainScreen().applicationFrame());
  root->setBackgroundColor(UIColor::colorWithRGB255(228, 232, 234));
  const CGRect bounds = root->bounds();

  m_backgroundImageView = std::make_shared<UIImageView>(bounds);
  // "bg" is a small tile; stretched over the screen its two dots grew into
  // blurred squares, so it is tiled as on the other screens.
  if (auto texture = UIImage::imageNamed("bg"))
    m_backgroundImageView->setBackgroundColor(UIColor::colorWithPatternImage(texture));
  root->addSubview(m_backgroundImageView);
  m_backgroundControl = std::make_shared<UIControl>(bounds);
  root->addSubview(m_backgroundControl);

  m_logoImageView = std::make_shared<UIImageView>(CGRectMake(0, 24, bounds.size.width, 80));
  m_logoImageView->setImage(UIImage::imageNamed(localized("LoginLogoImageName", "login_logo")));
  m_logoImageView->setContentMode(UIViewContentMode::Center);
  root->addSubview(m_logoImageView);

  m_loginTextField = makeTextField(CGRectMake(kSide, kLoginFieldTop, kFieldWidth, kFieldHeight),
                                   localized("AuthLoginPlaceholder", "Логин"));
  m_loginTextField->setKeyboardType(UIKeyboardType::EmailAddress);
  m_loginTextField->setReturnKeyType(UIReturnKeyType::Next);
  root->addSubview(m_loginTextField);
  m_passwordTextField =
      makeTextField(CGRectMake(kSide, kPasswordFieldTop, kFieldWidth, kFieldHeight),
                    localized("AuthPasswordPlaceholder", "Пароль"));
  m_passwordTextField->setSecureTextEntry(true);
  root->addSubview(m_passwordTextField);

  m_errorLabel =
      std::make_shared<UILabel>(CGRectMake(kSide, kErrorLabelTop, kFieldWidth, kErrorLabelHeight));
  m_errorLabel->setNumberOfLines(0);
  m_errorLabel->setLineBreakMode(NSLineBreakMode::WordWrap);
  m_errorLabel->setTextAlignment(NSTextAlignment::Center);
  m_errorLabel->setTextColor(UIColor::colorWithRGB255(190, 30, 45));
  m_errorLabel->setBackgroundColor(UIColor::clearColor());
  m_errorLabel->setFont(UIFont::systemFontOfSize(kErrorFontLargest));
  m_errorLabel->setAlpha(0);
  root->addSubview(m_errorLabel);

  m_loginButton = UIButton::buttonWithType(UIButtonType::Custom);
  m_loginButton->setFrame(CGRectMake(kSide, kLoginButtonTop, kFieldWidth, kButtonHeight));
  m_loginButton->setTitleForState(localized("AuthLoginButton", "Войти"), UIControlStateNormal);
  m_loginButton->setBackgroundImageForState(stretchable("login_btn"), UIControlStateNormal);
  m_loginButton->setTitleColorForState(UIColor::colorWithRGB255(36, 49, 56), UIControlStateNormal);
  m_loginButton->setTitleColorForState(UIColor::colorWithRGB255(36, 49, 56, 0.4),
                                       UIControlStateDisabled);
  m_loginButton->titleLabel().setFont(UIFont::boldSystemFontOfSize(18));
  root->addSubview(m_loginButton);

  m_forgotPasswordLink = UIButton::buttonWithType(UIButtonType::Custom);
  m_forgotPasswordLink->setFrame(
      CGRectMake(kSide, kForgotPasswordTop, kFieldWidth, kForgotPasswordHeight));
  m_forgotPasswordLink->setTitleForState(localized("AuthRestorePassword", "Забыли пароль?"),
                                         UIControlStateNormal);
  m_forgotPasswordLink->titleLabel().setFont(UIFont::systemFontOfSize(14));
  m_forgotPasswordLink->setTitleColorForState(UIColor::colorWithRGB255(36, 49, 56),
                                              UIControlStateNormal);
  m_forgotPasswordLink->setTitleShadowColorForState(UIColor::lightGrayColor(),
                                                    UIControlStateNormal);
  m_forgotPasswordLink->titleLabel().setShadowOffset({0, 1});
  root->addSubview(m_forgotPasswordLink);

  m_registerButton = UIButton::buttonWithType(UIButtonType::Custom);
  m_registerButton->setFrame(
      CGRectMake(kSide, bounds.size.height - kButtonHeight - 30, kFieldWidth, kButtonHeight));
  m_registerButton->setTitleForState(localized("AuthRegisterButton", "Зарегистрироваться"),
                                     UIControlStateNormal);
  m_registerButton->setBackgroundImageForState(stretchable("register_btn"), UIControlStateNormal);
  m_registerButton->setTitleColorForState(UIColor::whiteColor(), UIControlStateNormal);
  m_registerButton->titleLabel().setFont(UIFont::boldSystemFontOfSize(17));
  m_registerButton->setAutoresizingMask(UIViewAutoresizingFlexibleTopMargin);
  root->addSubview(m_registerButton);

  m_shadeView = std::make_shared<UIView>(bounds);
  // Half-dark, so the pop-up's own dark panel still stands out at full fade.
  m_shadeView->setBackgroundColor(UIColor::colorWithWhiteAlpha(0, 0.5));
  m_shadeView->setAlpha(0);
  m_shadeView->setHidden(true);
  m_shadePopupView = std::make_shared<KMActivityPopupView>(CGRectMake(0, 0, 150, 110));
  m_shadePopupView->label().setText(localized("AuthConnecting", "Подключение…"));
  CGRect popup = m_shadePopupView->frame();
  popup.origin = {std::floor((bounds.size.width - popup.size.width) / 2), kShadePopupTop};
  m_shadePopupView->setFrame(popup);
  m_shadeView->addSubview(m_shadePopupView);
  root->addSubview(m_shadeView);
  setView(root);
}

void KMAuthViewController::viewDidLoad() {
  std::weak_ptr<KMAuthViewController> weak =
      std::static_pointer_cast<KMAuthViewController>(sharedController());
  auto action = [weak](void (KMAuthViewController::*member)()) {
    return [weak, member](UIControl&) {
      if (auto self = weak.lock())
        ((*self).*member)();
    };
  };
  m_loginButton->addActionForControlEvents(action(&KMAuthViewController::loginButtonPressed),
                                           UIControlEventTouchUpInside);
  m_registerButton->addActionForControlEvents(action(&KMAuthViewController::signUpButtonPressed),
                                              UIControlEventTouchUpInside);
  m_forgotPasswordLink->addActionForControlEvents(
      action(&KMAuthViewController::forgotPasswordButtonPressed), UIControlEventTouchUpInside);
  m_backgroundControl->addActionForControlEvents(action(&KMAuthViewController::backgroundPressed),
                                                 UIControlEventTouchUpInside);
  for (auto* field : {m_loginTextField.get(), m_passwordTextField.get()}) {
    field->setDelegate(std::static_pointer_cast<KMAuthViewController>(sharedController()));
    field->addActionForControlEvents(action(&KMAuthViewController::onTextFieldTextChanged),
                                     UIControlEventEditingChanged);
  }

  m_loginTextField->setText(KMSettings::mainSettings().login().value_or(""));
  m_passwordTextField->setText("");
  m_loginButton->setEnabled(credentialsFilled());

  auto& center = NotificationCenter::defaultCenter();
  m_observations.push_back(
      center.addObserver(UIKeyboardWillShowNotification, [weak](const Notification&) {
        if (auto self = weak.lock())
          self->keyboardWillShow();
      }));
  m_observations.push_back(
      center.addObserver(UIKeyboardWillHideNotification, [weak](const Notification&) {
        if (auto self = weak.lock())
          self->keyboardWillHide();
      }));
  m_observations.push_back(center.addObserver(
      kKMXConnectionDidFailAuthenticateWithError, [weak](const Notification& notification) {
        if (auto self = weak.lock())
          self->connectionDidFailAuthenticateWithError(notification);
      }));
  if (m_loginErrorNotification)
    showLoginErrorWithNotification(*m_loginErrorNotification);
}

void KMAuthViewController::viewDidUnload() {
  m_observations.clear();
}

// ---- Login -----------------------------------------------------------------------------

bool KMAuthViewController::validateDomain(std::string_view domain) {
  if (domain.empty() || domain.find('@') != std::string_view::npos)
    return false;
  const std::string lower = lowercase(domain);
  return std::find(kAccountDomains.begin(), kAccountDomains.end(), lower) != kAccountDomains.end();
}

std::optional<std::string> KMAuthViewController::parseLoginStr(std::string_view login) {
  const auto at = login.find('@');
  if (at == std::string_view::npos)
    return std::string(login);
  const std::string_view domain = login.substr(at + 1);
  if (domain.empty() || !validateDomain(domain))
    return std::nullopt;
  return std::string(login.substr(0, at));
}

std::string KMAuthViewController::loginText() const {
  const std::string& text = m_loginTextField->text();
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos)
    return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool KMAuthViewController::credentialsFilled() const {
  // A login of spaces only is no login.
  return isViewLoaded() && !loginText().empty() && !m_passwordTextField->text().empty();
}

void KMAuthViewController::loginButtonPressed() {
  KMAnalytics::sharedInstance().logEvent(kKMMVLoginDoLogin);
  startAuthentication();
}

void KMAuthViewController::startAuthentication() {
  const std::optional<std::string> login = parseLoginStr(loginText());
  if (!login) {
    AudioServicesPlaySystemSound(kSystemSoundID_Vibrate);
    setErrorText(invalidLoginText());
    return;
  }
  setErrorText(std::nullopt);
  if (auto* responder = UIResponder::currentFirstResponder())
    responder->resignFirstResponder();
  setShadeVisible(true);
  auto operation = std::make_shared<KMOAuthOperation>();
  operation->setAuthParamsPasswordTimeOutInSeconds(*login, m_passwordTextField->text(),
                                                   kAuthenticationTimeOut);
  if (m_tokenEndpointForTesting)
    operation->setTokenEndpointURLForTesting(*m_tokenEndpointForTesting);
  operation->startOnNewThread();
}

void KMAuthViewController::connectionDidFailAuthenticateWithError(
    const Notification& notification) {
  setShadeVisible(false);
  showLoginErrorWithNotification(notification);
}

void KMAuthViewController::setShadeVisible(bool visible) {
  if (visible)
    m_shadeView->setHidden(false);
  auto shade = m_shadeView;
  UIView::animateWithDurationAnimationsCompletion(
      kShadeFadeDuration, [shade, visible] { shade->setAlpha(visible ? kShadeAlpha : 0); },
      [shade](bool) {
        if (shade->alpha() == 0)
          shade->setHidden(true);
      });
}

void KMAuthViewController::showLoginErrorWithNotification(const Notification& notification) {
  view();
  const KMError* error = errorForKey(notification.userInfo);
  if (error && error->domain == kKMOAuthOperationErrorDomain) {
    if (error->code == kKMOAuthOperationErrorInvalidLoginOrPassword) {
      m_passwordTextField->setText("");
      onTextFieldTextChanged();
      moveFocusTo(*m_passwordTextField);
      AudioServicesPlaySystemSound(kSystemSoundID_Vibrate);
    }
    if (!error->localizedDescription.empty()) {
      setErrorText(error->localizedDescription);
      return;
    }
  }
  setErrorText(unknownErrorText());
}

void KMAuthViewController::setErrorText(std::optional<std::string> text) {
  view();
  if (text && text->empty())
    text.reset();
  m_errorText = text;
  auto label = m_errorLabel;
  auto button = m_loginButton;
  auto link = m_forgotPasswordLink;
  if (text) {
    label->setText(*text);
    label->setFont(KMFontFittingWrappedText(*text, UIFont::systemFontOfSize(kErrorFontLargest),
                                            label->bounds().size, kErrorFontSmallest));
  }
  const bool shown = text.has_value();
  UIView::animateWithDurationAnimations(kErrorAnimationDuration, [=] {
    label->setAlpha(shown ? 1 : 0);
    CGRect frame = button->frame();
    frame.origin.y = shown ? kLoginButtonTopWithError : kLoginButtonTop;
    button->setFrame(frame);
    frame = link->frame();
    frame.origin.y = shown ? kForgotPasswordTopWithError : kForgotPasswordTop;
    link->setFrame(frame);
  });
}

// ---- Fields and keyboard ---------------------------------------------------------------

void KMAuthViewController::onTextFieldTextChanged() {
  m_loginButton->setEnabled(credentialsFilled());
}

void KMAuthViewController::backgroundPressed() {
  if (auto* responder = UIResponder::currentFirstResponder())
    responder->resignFirstResponder();
}

void KMAuthViewController::moveFocusTo(UITextField& field) {
  m_willBeginEditingNextField = true;
  field.becomeFirstResponder();
  m_willBeginEditingNextField = false;
}

void KMAuthViewController::textFieldDidBeginEditing(UITextField& field) {
  field.setPlaceholder("");
  field.setBackground(stretchable("text_box_active"));
  if (&field == m_passwordTextField.get())
    field.setReturnKeyType(loginText().empty() ? UIReturnKeyType::Next : UIReturnKeyType::Go);
}

void KMAuthViewController::textFieldDidEndEditing(UITextField& field) {
  field.setBackground(stretchable("text_box"));
  if (field.text().empty())
    field.setPlaceholder(&field == m_loginTextField.get()
                             ? localized("AuthLoginPlaceholder", "Логин")
                             : localized("AuthPasswordPlaceholder", "Пароль"));
}

bool KMAuthViewController::textFieldShouldClear(UITextField& field) {
  (void)field;
  m_loginButton->setEnabled(false);
  return true;
}

bool KMAuthViewController::textFieldShouldReturn(UITextField& field) {
  if (&field == m_loginTextField.get()) {
    moveFocusTo(*m_passwordTextField);
  } else if (!loginText().empty()) {
    startAuthentication();
  } else {
    moveFocusTo(*m_loginTextField);
  }
  return false;
}

void KMAuthViewController::keyboardWillShow() {
  auto root = view();
  const CGRect lifted = CGRectOffset(UIScreen::mainScreen().applicationFrame(), 0, -kKeyboardLift);
  UIView::animateWithDurationAnimations(kKeyboardAnimationDuration,
                                        [root, lifted] { root->setFrame(lifted); });
}

void KMAuthViewController::keyboardWillHide() {
  if (m_willBeginEditingNextField)
    return;
  auto root = view();
  const CGRect frame = UIScreen::mainScreen().applicationFrame();
  UIView::animateWithDurationAnimations(kKeyboardAnimationDuration,
                                        [root, frame] { root->setFrame(frame); });
}

// ---- Web sign-in -----------------------------------------------------------------------

std::string KMAuthViewController::OAuthRetpath() {
  return fill(localized("PellumRegisterRetpath", "kalumodisk://oauth/token?client_id=%@"),
              kKMOAuthClientIdentifier);
}

URL KMAuthViewController::registerURL() {
  // The retpath travels as one query value, so its own "?" and "&" are escaped.
  return accountPage(fill(localized("PellumRegisterURLPath", "/auth/register?retpath=%@"),
                          KMOAuthOperation::percentEscapedCredential(OAuthRetpath())));
}

URL KMAuthViewController::restoreURL() {
  return accountPage(localized("PellumRestoreURLPath", "/auth/restore"));
}

void KMAuthViewController::signUpButtonPressed() {
  KMAnalytics::sharedInstance().logEvent(kKMMVLoginSignup);
  showWebControllerWithURL(registerURL(), true);
}

void KMAuthViewController::forgotPasswordButtonPressed() {
  KMAnalytics::sharedInstance().logEvent(kKMMVLoginRestore);
  showWebControllerWithURL(restoreURL(), false);
}

void KMAuthViewController::showWebControllerWithURL(const URL& url, bool catchesToken) {
  auto browser = std::make_shared<KMWebController>(url);
  if (catchesToken)
    browser->setDelegate(std::static_pointer_cast<KMAuthViewController>(sharedController()));
  std::weak_ptr<KMAuthViewController> weak =
      std::static_pointer_cast<KMAuthViewController>(sharedController());
  browser->navigationItem().setRightBarButtonItemAnimated(
      UIBarButtonItem::itemWithBarButtonSystemItemAction(
          UIBarButtonSystemItem::Done, [weak](UIBarButtonItem&) {
            if (auto self = weak.lock())
              self->webControllerCloseButtonPressed();
          }));
  auto navigation = std::make_shared<UINavigationController>(browser);
  const KMSettingsColor tint = KMSettings::defaultTintColor();
  navigation->navigationBar().setTintColor(
      UIColor::colorWithRGB255(tint.red, tint.green, tint.blue));
  m_webController = browser;
  presentViewControllerAnimatedCompletion(navigation, KMAnimated::Yes);
}

void KMAuthViewController::webControllerCloseButtonPressed() {
  dismissViewControllerAnimatedCompletion(KMAnimated::Yes);
}

bool KMAuthViewController::webControllerShouldStartLoadWithRequest(KMWebController&,
                                                                   const URL& request) {
  if (request.scheme() != kKMApplicationURLScheme)
    return true;
  static const std::regex tokenPattern("access_token=(.*?)(&|$)");
  const std::string& text = request.absoluteString();
  std::smatch match;
  if (!std::regex_search(text, match, tokenPattern) || match[1].length() == 0)
    return true;
  KMOAuthOperation::sendDidAuthenticateWithTokenNotificationWithLoginToken(std::nullopt,
                                                                           match[1].str());
  return false;
}

} // namespace kdisk
