#include "uikit/KMHeadlessWebEngine.h"

#include "graphics/NSStringDrawing.h"
#include "graphics/UIColor.h"
#include "uikit/CGContext.h"

namespace kdisk {

KMHeadlessWebEngine* KMHeadlessWebEngine::of(UIWebView& view) {
  return dynamic_cast<KMHeadlessWebEngine*>(&view.engine());
}

std::optional<URL> KMHeadlessWebEngine::currentURL() const {
  if (m_history.empty())
    return std::nullopt;
  return m_history[m_index];
}

bool KMHeadlessWebEngine::navigate(const URL& url, UIWebViewNavigationType type) {
  m_offered.push_back(url);
  if (!m_view.engineShouldStartLoad(url, type))
    return false;
  if (!m_history.empty())
    m_history.resize(m_index + 1);
  m_history.push_back(url);
  m_index = m_history.size() - 1;
  start(url);
  return true;
}

bool KMHeadlessWebEngine::redirect(const URL& url) {
  m_offered.push_back(url);
  if (!m_view.engineShouldStartLoad(url, UIWebViewNavigationType::Other)) {
    if (m_loading)
      failLoading(KMError(kKMWebKitErrorDomain, kKMWebKitErrorFrameLoadInterruptedByPolicyChange,
                          "Frame load interrupted"));
    return false;
  }
  if (m_history.empty())
    m_history.push_back(url);
  m_history[m_index] = url;
  m_started.push_back(url);
  m_view.setNeedsDisplay();
  return true;
}

void KMHeadlessWebEngine::start(const URL& url) {
  m_started.push_back(url);
  m_loading = true;
  m_title.clear();
  m_view.setNeedsDisplay();
  m_view.engineDidStartLoad();
}

void KMHeadlessWebEngine::finishLoading(std::string title) {
  if (!m_loading)
    return;
  m_loading = false;
  m_title = std::move(title);
  m_view.setNeedsDisplay();
  m_view.engineDidFinishLoad();
}

void KMHeadlessWebEngine::failLoading(const KMError& error) {
  if (!m_loading)
    return;
  m_loading = false;
  m_view.setNeedsDisplay();
  m_view.engineDidFailLoad(error);
}

void KMHeadlessWebEngine::stopLoading() {
  failLoading(KMError(kKMWebKitErrorDomain, kKMWebKitErrorFrameLoadInterruptedByPolicyChange,
                      "Load stopped"));
}

void KMHeadlessWebEngine::reload() {
  if (auto url = currentURL();
      url && m_view.engineShouldStartLoad(*url, UIWebViewNavigationType::Reload))
    start(*url);
}

void KMHeadlessWebEngine::goBack() {
  if (!canGoBack())
    return;
  const URL& url = m_history[m_index - 1];
  m_offered.push_back(url);
  if (!m_view.engineShouldStartLoad(url, UIWebViewNavigationType::BackForward))
    return;
  --m_index;
  start(url);
}

void KMHeadlessWebEngine::goForward() {
  if (!canGoForward())
    return;
  const URL& url = m_history[m_index + 1];
  m_offered.push_back(url);
  if (!m_view.engineShouldStartLoad(url, UIWebViewNavigationType::BackForward))
    return;
  ++m_index;
  start(url);
}

void KMHeadlessWebEngine::draw(cairo_t* context, CGRect bounds) {
  CGContextFillRect(context, bounds, UIColor::whiteColor());
  const CGRect inner = CGRectInset(bounds, 12, 16);
  UIColor::colorWithRGB255(36, 49, 56).setFill(context);
  const std::string title = m_title.empty() ? std::string(m_loading ? "…" : "") : m_title;
  CGSize used = drawInRectWithFontLineBreakModeAlignment(
      context, title, inner, UIFont::boldSystemFontOfSize(18), NSLineBreakMode::WordWrap,
      NSTextAlignment::Left);
  UIColor::colorWithRGB255(115, 128, 135).setFill(context);
  CGRect below = inner;
  below.origin.y += used.height + 8;
  below.size.height -= used.height + 8;
  if (auto url = currentURL())
    drawInRectWithFontLineBreakModeAlignment(context, url->absoluteString(), below,
                                             UIFont::systemFontOfSize(12),
                                             NSLineBreakMode::CharacterWrap, NSTextAlignment::Left);
}

} // namespace kdisk
