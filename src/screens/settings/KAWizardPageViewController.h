#pragma once
// One page of the first-run wizard: a picture above a title and a text. The
// texts are laid out anew whenever they change. Main thread.
#include <memory>
#include <string>

#include "uikit/UIImageView.h"
#include "uikit/UILabel.h"
#include "uikit/UIViewController.h"

namespace kdisk {

class KAWizardPageViewController : public UIViewController {
 public:
  static constexpr CGFloat kSide = 20;
  static constexpr CGFloat kTitleFontSize = 20;
  static constexpr CGFloat kTextFontSize = 15;

  void loadView() override;

  // An empty name shows no picture.
  void setImageName(const std::string& name);
  void setTitleText(const std::string& text);
  void setText(const std::string& text);
  const std::string& titleText() const { return m_titleText; }
  const std::string& text() const { return m_text; }

  UIImageView* imageView() const { return m_imageView.get(); }
  UILabel* titleLabel() const { return m_titleLabel.get(); }
  UILabel* textLabel() const { return m_textLabel.get(); }

  virtual void updateLabelTextLayout();

 protected:
  // The lowest point the texts reach.
  CGFloat textBottom() const;

 private:
  std::shared_ptr<UIImageView> m_imageView;
  std::shared_ptr<UILabel> m_titleLabel;
  std::shared_ptr<UILabel> m_textLabel;
  std::string m_titleText;
  std::string m_text;
};

}  // namespace kdisk
