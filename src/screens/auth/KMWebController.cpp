#include "screens/auth/KMWebController.h"

#include "platform/Bundle.h"
#include "uikit/UIActionSheetAutoDismiss.h"
#include "uikit/UIApplication.h"
#include "uikit/UIBarButtonItem.h"
#include "uikit/UIToolbar.h"

namespace kdisk {
namespace {

constexpr CGFloat kToolbarHeight = 44;

std::string localized(std::string_view key, std::string_view fallback) {
  return KMLocalizedString(key, fallback, kKMWebControllerTable);
}

} // namespace

KMWebController::KMWebController(URL url) : m_request(std::move(url)) {
  setHidesBottomBarWhenPushed(true);
}

std::optional<URL> KMWebController::URLWithDefaultScheme(std::string_view urlText) {
  const auto colon = urlText.find(':');
  const auto slash = urlText.find('/');
  const bool hasScheme = colon != std::string_view::npos && colon > 0 &&
                         (slash == std::string_view::npos || colon < slash);
  if (hasScheme)
    return URL::fromString(urlText);
  return URL::fromString("http://" + std::string(urlText));
}

std::shared_ptr<KMWebController> KMWebController::initWithURL(std::string_view urlText) {
  return std::make_shared<KMWebController>(URLWithDefaultScheme(urlText).value_or(URL()));
}

void KMWebController::loadView() {
  auto root = std::make_shared<UIView>(CGRectMake(0, 0, 320, 460));
  root->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
  root->setBackgroundColor(UIColor::whiteColor());
  const CGRect bounds = root->bounds();
  m_webView = std::make_shared<UIWebView>(
      CGRectMake(0, 0, bounds.size.width, bounds.size.height - kToolbarHeight));
  m_webView->setAutoresizingMask(UIViewAutoresizingFlexibleWidth |
                                 UIViewAutoresizingFlexibleHeight);
  root->addSubview(m_webView);
  m_toolbar = std::make_shared<UIToolbar>(
      CGRectMake(0, bounds.size.height - kToolbarHeight, bounds.size.width, kToolbarHeight));
  m_toolbar->setAutoresizingMask(UIViewAutoresizingFlexibleWidth |
                                 UIViewAutoresizingFlexibleTopMargin);
  root->addSubview(m_toolbar);
  setView(root);
}

void KMWebController::viewDidLoad() {
  std::weak_ptr<KMWebController> weak =
      std::static_pointer_cast<KMWebController>(sharedController());
  auto act = [weak](void (KMWebController::*member)()) {
    return [weak, member](UIBarButtonItem&) {
      if (auto self = weak.lock())
        ((*self).*member)();
    };
  };
  auto web = [weak](void (UIWebView::*member)()) {
    return [weak, member](UIBarButtonItem&) {
      if (auto self = weak.lock(); self && self->m_webView)
        ((*self->m_webView).*member)();
    };
  };
  m_backButton = UIBarButtonItem::itemWithTitleStyleAction("◀", UIBarButtonItemStyle::Plain,
                                                           web(&UIWebView::goBack));
  m_forwardButton = UIBarButtonItem::itemWithTitleStyleAction("▶", UIBarButtonItemStyle::Plain,
                                                              web(&UIWebView::goForward));
  m_stopButton = UIBarButtonItem::itemWithBarButtonSystemItemAction(UIBarButtonSystemItem::Stop,
                                                                    web(&UIWebView::stopLoading));
  m_reloadButton = UIBarButtonItem::itemWithBarButtonSystemItemAction(
      UIBarButtonSystemItem::Refresh, web(&UIWebView::reload));
  m_actionButton = UIBarButtonItem::itemWithBarButtonSystemItemAction(
      UIBarButtonSystemItem::Action, act(&KMWebController::actionButtonPressed));
  auto space = [] {
    return UIBarButtonItem::itemWithBarButtonSystemItemAction(UIBarButtonSystemItem::FlexibleSpace,
                                                              {});
  };
  m_toolbar->setItemsAnimated({m_backButton, space(), m_forwardButton, space(), m_stopButton,
                               space(), m_reloadButton, space(), m_actionButton},
                              KMAnimated::No);
  m_webView->setDelegate(std::static_pointer_cast<KMWebController>(sharedController()));
  updateButtons();
  if (m_request.isValid())
    m_webView->loadRequest(m_request);
}

bool KMWebController::webViewShouldStartLoadWithRequestNavigationType(UIWebView&,
                                                                      const URL& request,
                                                                      UIWebViewNavigationType) {
  if (auto delegate = m_delegate.lock();
      delegate && !delegate->webControllerShouldStartLoadWithRequest(*this, request))
    return false;
  const std::string scheme = request.scheme();
  if (scheme == "http" || scheme == "https") {
    m_request = request;
    m_loading = true;
    updateButtons();
    return true;
  }
  UIApplication::sharedApplication().openURL(request);
  return false;
}

void KMWebController::webViewDidStartLoad(UIWebView&) {
  m_loading = true;
  setTitle(localized("Web view loading title", "Загрузка..."));
  updateButtons();
}

void KMWebController::webViewDidFinishLoad(UIWebView&) {
  loadingEnded();
}

// A page that failed shows what the engine made of it, like one that loaded.
void KMWebController::webViewDidFailLoadWithError(UIWebView&, const KMError&) {
  loadingEnded();
}

void KMWebController::loadingEnded() {
  m_loading = m_webView && m_webView->isLoading();
  if (!m_loading && m_webView)
    setTitle(m_webView->pageTitle());
  updateButtons();
}

void KMWebController::updateButtons() {
  if (!m_webView || !m_backButton)
    return;
  m_backButton->setEnabled(m_webView->canGoBack());
  m_forwardButton->setEnabled(m_webView->canGoForward());
  m_stopButton->setEnabled(m_loading);
  m_reloadButton->setEnabled(!m_loading);
}

void KMWebController::actionButtonPressed() {
  m_actionSheet = std::make_shared<UIActionSheetAutoDismiss>(
      "", std::static_pointer_cast<KMWebController>(sharedController()),
      localized("Cancel", "Отмена"), std::nullopt,
      std::vector<std::string>{localized("Open in Safari", "Открыть в браузере")});
  m_actionSheet->showInView(*view());
}

void KMWebController::actionSheetClickedButtonAtIndex(UIActionSheet& sheet, int buttonIndex) {
  if (buttonIndex != sheet.cancelButtonIndex() && buttonIndex == sheet.firstOtherButtonIndex()) {
    const URL current = m_webView ? m_webView->currentURL().value_or(m_request) : m_request;
    UIApplication::sharedApplication().openURL(current);
  }
  m_actionSheet.reset();
}

} // namespace kdisk
