#pragma once
// A control with a title, an image and a background image for each state
// (normal, highlighted, disabled, selected; a state without its own value
// shows the normal one). Custom buttons draw only what they are given;
// rounded-rect (system) buttons draw the platform's white rounded body.
// Main thread.
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "graphics/UIImage.h"
#include "uikit/UIControl.h"
#include "uikit/UIImageView.h"
#include "uikit/UILabel.h"

namespace kdisk {

enum class UIButtonType { Custom, RoundedRect };

class UIButton : public UIControl {
 public:
  static std::shared_ptr<UIButton> buttonWithType(UIButtonType type);
  explicit UIButton(UIButtonType type = UIButtonType::Custom, CGRect frame = CGRectZero);

  UIButtonType buttonType() const { return m_type; }

  void setTitleForState(std::optional<std::string> title, unsigned state);
  std::optional<std::string> titleForState(unsigned state) const;
  void setTitleColorForState(std::optional<UIColor> color, unsigned state);
  std::optional<UIColor> titleColorForState(unsigned state) const;
  void setTitleShadowColorForState(std::optional<UIColor> color, unsigned state);
  std::optional<UIColor> titleShadowColorForState(unsigned state) const;
  void setImageForState(std::shared_ptr<UIImage> image, unsigned state);
  std::shared_ptr<UIImage> imageForState(unsigned state) const;
  void setBackgroundImageForState(std::shared_ptr<UIImage> image, unsigned state);
  std::shared_ptr<UIImage> backgroundImageForState(unsigned state) const;

  // The values of the current state.
  std::optional<std::string> currentTitle() const { return titleForState(state()); }
  std::shared_ptr<UIImage> currentImage() const { return imageForState(state()); }
  std::shared_ptr<UIImage> currentBackgroundImage() const { return backgroundImageForState(state()); }

  UILabel& titleLabel() { return *m_titleLabel; }
  const UILabel& titleLabel() const { return *m_titleLabel; }
  UIImageView& imageView() { return *m_imageView; }

  UIEdgeInsets contentEdgeInsets() const { return m_contentEdgeInsets; }
  void setContentEdgeInsets(UIEdgeInsets insets);
  UIEdgeInsets titleEdgeInsets() const { return m_titleEdgeInsets; }
  void setTitleEdgeInsets(UIEdgeInsets insets);
  UIEdgeInsets imageEdgeInsets() const { return m_imageEdgeInsets; }
  void setImageEdgeInsets(UIEdgeInsets insets);
  bool adjustsImageWhenHighlighted() const { return m_adjustsImageWhenHighlighted; }
  void setAdjustsImageWhenHighlighted(bool adjusts) { m_adjustsImageWhenHighlighted = adjusts; }

  CGSize sizeThatFits(CGSize size) const override;
  void layoutSubviews() override;
  void drawRect(cairo_t* context, CGRect rect) override;
  std::optional<std::string> accessibilityLabel() const override;

 private:
  template <typename T>
  static std::optional<T> lookup(const std::map<unsigned, T>& values, unsigned state);
  void refreshContent();
  UIButtonType m_type;
  std::map<unsigned, std::string> m_titles;
  std::map<unsigned, UIColor> m_titleColors;
  std::map<unsigned, UIColor> m_titleShadowColors;
  std::map<unsigned, std::shared_ptr<UIImage>> m_images;
  std::map<unsigned, std::shared_ptr<UIImage>> m_backgroundImages;
  std::shared_ptr<UILabel> m_titleLabel;
  std::shared_ptr<UIImageView> m_imageView;
  UIEdgeInsets m_contentEdgeInsets;
  UIEdgeInsets m_titleEdgeInsets;
  UIEdgeInsets m_imageEdgeInsets;
  bool m_adjustsImageWhenHighlighted = true;
};

}  // namespace kdisk
