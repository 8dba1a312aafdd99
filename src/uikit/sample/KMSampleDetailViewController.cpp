#include "uikit/sample/KMSampleDetailViewController.h"

#include "uikit/UIView.h"

namespace kdisk {

KMSampleDetailViewController::KMSampleDetailViewController(int row, KMSampleReport report)
    : m_row(row), m_report(std::move(report)) {
  setTitle("Row " + std::to_string(row));
}

void KMSampleDetailViewController::viewDidLoad() {
  view()->setBackgroundColor(UIColor::colorWithRGB255(197, 204, 212));
  m_field = std::make_shared<UITextField>(CGRectMake(20, 30, 280, 31));
  m_field->setBorderStyle(UITextBorderStyle::RoundedRect);
  m_field->setPlaceholder("Type a name");
  m_field->setReturnKeyType(UIReturnKeyType::Done);
  m_field->setDelegate(std::static_pointer_cast<KMSampleDetailViewController>(sharedController()));
  m_echo = std::make_shared<UILabel>(CGRectMake(20, 80, 280, 24));
  m_echo->setTextColor(UIColor::colorWithRGB255(58, 78, 93));
  std::weak_ptr<UIResponder> weak = weak_from_this();
  m_field->addActionForControlEvents(
      [weak](UIControl& sender) {
        if (auto strong = std::static_pointer_cast<KMSampleDetailViewController>(weak.lock()))
          strong->m_echo->setText("You typed: " + static_cast<UITextField&>(sender).text());
      },
      UIControlEventEditingChanged);
  view()->addSubview(m_field);
  view()->addSubview(m_echo);
}

bool KMSampleDetailViewController::textFieldShouldReturn(UITextField& field) {
  m_report("row " + std::to_string(m_row) + " text " + field.text());
  field.resignFirstResponder();
  return true;
}

}  // namespace kdisk
