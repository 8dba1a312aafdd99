#include "uikit/KATextField.h"

namespace kdisk {

KATextField::KATextField(CGRect frame) : UITextField(frame) {
  setTextInsets(UIEdgeInsets{0, kHorizontalInset, 0, kHorizontalInset});
}

}  // namespace kdisk
