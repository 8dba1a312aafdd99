#pragma once
// The responder chain: touches a view does not handle travel to its view
// controller, then to its superview; keyboard input goes to the one first
// responder of the process (the application has a single window). Main thread.
#include <memory>
#include <string_view>

#include "uikit/UITouch.h"

namespace kdisk {

class UIResponder : public std::enable_shared_from_this<UIResponder> {
 public:
  virtual ~UIResponder();

  virtual UIResponder* nextResponder() const { return nullptr; }

  virtual bool canBecomeFirstResponder() const { return false; }
  virtual bool canResignFirstResponder() const { return true; }
  // Resigns the current first responder first; fails when either refuses.
  virtual bool becomeFirstResponder();
  virtual bool resignFirstResponder();
  bool isFirstResponder() const;
  static UIResponder* currentFirstResponder();
  // While one responder hands over to another: the one taking over. Lets a
  // text input that resigns keep the keyboard up for its successor.
  static UIResponder* responderTakingOver();
  // Text inputs answer yes; the keyboard is shown while one is first responder.
  virtual bool requiresKeyboard() const { return false; }

  // Default: hand the touches to the next responder.
  virtual void touchesBegan(const UITouchSet& touches);
  virtual void touchesMoved(const UITouchSet& touches);
  virtual void touchesEnded(const UITouchSet& touches);
  virtual void touchesCancelled(const UITouchSet& touches);

  // Keyboard input, sent to the first responder by the hosts.
  virtual void insertText(std::string_view text) { (void)text; }
  virtual void deleteBackward() {}
  virtual void returnKeyPressed() {}

 protected:
  // Called when the first-responder status is taken away without asking
  // (e.g. the view left the window).
  void forgetFirstResponderStatus();
};

}  // namespace kdisk
