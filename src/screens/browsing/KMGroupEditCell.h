#pragma once
// A table row that can show a selection circle at its right end. In group
// edit mode the circle appears and the content narrows to make room; a touch
// from the circle's left edge to the row's right edge goes to the delegate
// as touchedCheckBoxInCell, a touch elsewhere stays an ordinary row
// selection. Main thread; the delegate is held weakly.
#include <memory>
#include <optional>
#include <string>

#include "uikit/UIButton.h"
#include "uikit/UIImageView.h"
#include "uikit/UITableViewCell.h"

namespace kdisk {

class KMGroupEditCell;

class KMGroupEditCellDelegate {
 public:
  virtual ~KMGroupEditCellDelegate() = default;
  virtual void touchedCheckBoxInCell(KMGroupEditCell& cell) { (void)cell; }
};

class KMGroupEditCell : public UITableViewCell {
 public:
  static constexpr double kModeDuration = 0.3;
  // Between the end of the texts and the circle.
  static constexpr CGFloat kTextGap = 6;

  KMGroupEditCell(UITableViewCellStyle style, std::optional<std::string> reuseIdentifier);
  ~KMGroupEditCell() override;

  std::shared_ptr<KMGroupEditCellDelegate> delegate() const { return m_delegate.lock(); }
  void setDelegate(std::weak_ptr<KMGroupEditCellDelegate> delegate) { m_delegate = std::move(delegate); }

  bool multiSelected() const { return m_multiSelected; }
  virtual void setMultiSelected(bool selected);
  bool isInGroupEditMode() const { return m_isInGroupEditMode; }
  void activateGroupEditModeAnimated(KMAnimated animated);
  void resignGroupEditModeAnimated(KMAnimated animated);

  CGFloat leftIndent() const { return m_leftIndent; }
  CGFloat rightIndent() const { return m_rightIndent; }
  CGFloat spaceBeetwenImageAndLabel() const { return m_spaceBeetwenImageAndLabel; }

  UIImageView& selectionImageView() { return *m_selectionImageView; }
  UIButton& selectionButton() { return *m_selectionButton; }
  // The circle's frame in the cell for the current width.
  CGRect selectionCircleFrame() const;

  void layoutSubviews() override;

 protected:
  // Whether a circle shows at the right end, so the texts must end before
  // it: in group edit mode; always for rows with a circle of their own.
  virtual bool showsCircle() const { return m_isInGroupEditMode; }

 private:
  void applySelectionLooks();
  void layoutSelectionViews();
  CGFloat narrowedContentWidth() const;

  std::weak_ptr<KMGroupEditCellDelegate> m_delegate;
  bool m_multiSelected = false;
  bool m_isInGroupEditMode = false;
  // While the content view animates, layout leaves it alone so the
  // animation is not cut short.
  int m_contentAnimations = 0;
  CGFloat m_leftIndent = 9;
  CGFloat m_rightIndent = 9;
  CGFloat m_spaceBeetwenImageAndLabel = 11;
  std::shared_ptr<UIImageView> m_selectionImageView;
  std::shared_ptr<UIButton> m_selectionButton;
  std::shared_ptr<UIImageView> m_normalBackground;
  std::shared_ptr<UIImageView> m_selectedBackground;
};

}  // namespace kdisk
