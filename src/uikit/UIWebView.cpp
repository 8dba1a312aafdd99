#include "uikit/UIWebView.h"

#include "uikit/KMHeadlessWebEngine.h"
#include "uikit/UIWindow.h"

namespace kdisk {
namespace {

UIWebView::EngineFactory& engineFactory() {
  static UIWebView::EngineFactory factory;
  return factory;
}

} // namespace

UIWebView::UIWebView(CGRect frame) : UIView(frame) {
  if (engineFactory())
    m_engine = engineFactory()(*this);
  if (!m_engine)
    m_engine = std::make_unique<KMHeadlessWebEngine>(*this);
}

UIWebView::~UIWebView() = default;

void UIWebView::setEngineFactory(EngineFactory factory) {
  engineFactory() = std::move(factory);
}

bool UIWebView::engineShouldStartLoad(const URL& request, UIWebViewNavigationType type) {
  // The delegate may close the screen that holds this view.
  auto keepAlive = sharedView();
  if (auto delegate = m_delegate.lock())
    return delegate->webViewShouldStartLoadWithRequestNavigationType(*this, request, type);
  return true;
}

void UIWebView::engineDidStartLoad() {
  auto keepAlive = sharedView();
  if (auto delegate = m_delegate.lock())
    delegate->webViewDidStartLoad(*this);
}

void UIWebView::engineDidFinishLoad() {
  auto keepAlive = sharedView();
  if (auto delegate = m_delegate.lock())
    delegate->webViewDidFinishLoad(*this);
}

void UIWebView::engineDidFailLoad(const KMError& error) {
  auto keepAlive = sharedView();
  if (auto delegate = m_delegate.lock())
    delegate->webViewDidFailLoadWithError(*this, error);
}

bool UIWebView::isShownInWindow() const {
  UIWindow* window = this->window();
  if (!window)
    return false;
  for (const UIView* view = this; view; view = view->superview())
    if (view->isHidden() || view->alpha() <= 0.01)
      return false;
  const CGRect inWindow = convertRectToView(bounds(), nullptr);
  if (CGRectIsEmpty(inWindow))
    return false;
  // Anything drawn over the page's middle (an alert, an action sheet) hides
  // a page that a host shows above the toolkit's drawing.
  UIView* hit = window->hitTest({CGRectGetMidX(inWindow), CGRectGetMidY(inWindow)});
  for (UIView* view = hit; view; view = view->superview())
    if (view == this)
      return true;
  return false;
}

void UIWebView::setFrame(CGRect frame) {
  UIView::setFrame(frame);
  if (m_engine)
    m_engine->placementChanged();
}

void UIWebView::didMoveToWindow() {
  UIView::didMoveToWindow();
  m_engine->placementChanged();
}

void UIWebView::drawRect(cairo_t* context, CGRect rect) {
  (void)rect;
  m_engine->draw(context, bounds());
}

} // namespace kdisk
