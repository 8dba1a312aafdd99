#pragma once
// The sample's second screen: a text field for one row, echoing what is
// typed and reporting it on return. Not part of the application.
#include <memory>

#include "uikit/UILabel.h"
#include "uikit/UITextField.h"
#include "uikit/UIViewController.h"
#include "uikit/sample/KMSampleListViewController.h"

namespace kdisk {

class KMSampleDetailViewController : public UIViewController, public UITextFieldDelegate {
 public:
  KMSampleDetailViewController(int row, KMSampleReport report);
  UITextField& textField() { return *m_field; }

  void viewDidLoad() override;
  bool textFieldShouldReturn(UITextField& field) override;

 private:
  int m_row;
  KMSampleReport m_report;
  std::shared_ptr<UITextField> m_field;
  std::shared_ptr<UILabel> m_echo;
};

}  // namespace kdisk
