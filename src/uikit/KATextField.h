#pragma once
// The application's entry field: the text and the editing area stand 11
// points in from the left and right edges, so text never touches the field's
// drawn frame. Main thread.
#include "uikit/UITextField.h"

namespace kdisk {

class KATextField : public UITextField {
 public:
  static constexpr CGFloat kHorizontalInset = 11;
  explicit KATextField(CGRect frame = CGRectZero);
};

}  // namespace kdisk
