#include "uikit/UIResponder.h"

namespace kdisk {

namespace {
std::weak_ptr<UIResponder> g_firstResponder;
// Raw because it only lives for the duration of one becomeFirstResponder call.
UIResponder* g_takingOver = nullptr;
}  // namespace

UIResponder::~UIResponder() = default;

UIResponder* UIResponder::currentFirstResponder() { return g_firstResponder.lock().get(); }
UIResponder* UIResponder::responderTakingOver() { return g_takingOver; }

bool UIResponder::isFirstResponder() const { return currentFirstResponder() == this; }

bool UIResponder::becomeFirstResponder() {
  if (!canBecomeFirstResponder()) return false;
  auto current = g_firstResponder.lock();
  if (current.get() == this) return true;
  if (current) {
    if (!current->canResignFirstResponder()) return false;
    UIResponder* previousTakingOver = g_takingOver;
    g_takingOver = this;
    const bool resigned = current->resignFirstResponder();
    g_takingOver = previousTakingOver;
    if (!resigned) return false;
  }
  g_firstResponder = weak_from_this();
  return true;
}

bool UIResponder::resignFirstResponder() {
  if (!isFirstResponder()) return true;
  if (!canResignFirstResponder()) return false;
  g_firstResponder.reset();
  return true;
}

void UIResponder::forgetFirstResponderStatus() {
  if (isFirstResponder()) resignFirstResponder();
}

void UIResponder::touchesBegan(const UITouchSet& touches) {
  if (auto* next = nextResponder()) next->touchesBegan(touches);
}
void UIResponder::touchesMoved(const UITouchSet& touches) {
  if (auto* next = nextResponder()) next->touchesMoved(touches);
}
void UIResponder::touchesEnded(const UITouchSet& touches) {
  if (auto* next = nextResponder()) next->touchesEnded(touches);
}
void UIResponder::touchesCancelled(const UITouchSet& touches) {
  if (auto* next = nextResponder()) next->touchesCancelled(touches);
}

}  // namespace kdisk
