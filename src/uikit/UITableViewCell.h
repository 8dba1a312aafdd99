#pragma once
// One row of a table: a content view with a text label, a detail label
// (subtitle and value styles) and an image view, an accessory, background
// and selected-background views, and the highlighted and selected states.
// Tables reuse cells by identifier; prepareForReuse is the place to reset
// what a previous row left. Main thread.
#include <memory>
#include <optional>
#include <string>

#include "uikit/UIImageView.h"
#include "uikit/UILabel.h"
#include "uikit/UIView.h"

namespace kdisk {

class UITableView;

enum class UITableViewCellStyle { Default, Value1, Value2, Subtitle };
enum class UITableViewCellSelectionStyle { None, Blue, Gray };
enum class UITableViewCellAccessoryType { None, DisclosureIndicator, DetailDisclosureButton, Checkmark };
// Where a row sits in a grouped section, for its rounded background.
enum class KMGroupedCellPosition { None, Single, Top, Middle, Bottom };

class UITableViewCell : public UIView {
 public:
  UITableViewCell(UITableViewCellStyle style, std::optional<std::string> reuseIdentifier);
  ~UITableViewCell() override;

  UITableViewCellStyle style() const { return m_style; }
  const std::optional<std::string>& reuseIdentifier() const { return m_reuseIdentifier; }
  UIView& contentView() { return *m_contentView; }
  const std::shared_ptr<UIView>& sharedContentView() const { return m_contentView; }
  UILabel& textLabel() { return *m_textLabel; }
  const UILabel& textLabel() const { return *m_textLabel; }
  // Nothing in the default style.
  UILabel* detailTextLabel() { return m_detailTextLabel.get(); }
  const UILabel* detailTextLabel() const { return m_detailTextLabel.get(); }
  UIImageView& imageView() { return *m_imageView; }

  UITableViewCellAccessoryType accessoryType() const { return m_accessoryType; }
  void setAccessoryType(UITableViewCellAccessoryType type);
  const std::shared_ptr<UIView>& accessoryView() const { return m_accessoryView; }
  void setAccessoryView(std::shared_ptr<UIView> view);
  UITableViewCellSelectionStyle selectionStyle() const { return m_selectionStyle; }
  void setSelectionStyle(UITableViewCellSelectionStyle style);
  const std::shared_ptr<UIView>& backgroundView() const { return m_backgroundView; }
  void setBackgroundView(std::shared_ptr<UIView> view);
  // A selection-coloured view is made on first use when none was given.
  std::shared_ptr<UIView> selectedBackgroundView();
  void setSelectedBackgroundView(std::shared_ptr<UIView> view);

  bool isSelected() const { return m_selected; }
  virtual void setSelectedAnimated(bool selected, KMAnimated animated);
  bool isHighlighted() const { return m_highlighted; }
  virtual void setHighlightedAnimated(bool highlighted, KMAnimated animated);
  virtual void prepareForReuse();

  UITableView* tableView() const { return m_tableView; }
  // Set by the table that shows the cell.
  void setTableView(UITableView* table) { m_tableView = table; }
  void setGroupedPosition(KMGroupedCellPosition position);
  void setSeparatorColor(std::optional<UIColor> color);

  void layoutSubviews() override;
  void drawRect(cairo_t* context, CGRect rect) override;
  void touchesBegan(const UITouchSet& touches) override;
  void touchesMoved(const UITouchSet& touches) override;
  void touchesEnded(const UITouchSet& touches) override;
  void touchesCancelled(const UITouchSet& touches) override;

 private:
  void updateSelectionViews(KMAnimated animated);
  void applyHighlightToLabels(bool highlighted);
  UITableViewCellStyle m_style;
  std::optional<std::string> m_reuseIdentifier;
  std::shared_ptr<UIView> m_contentView;
  std::shared_ptr<UILabel> m_textLabel;
  std::shared_ptr<UILabel> m_detailTextLabel;
  std::shared_ptr<UIImageView> m_imageView;
  UITableViewCellAccessoryType m_accessoryType = UITableViewCellAccessoryType::None;
  std::shared_ptr<UIView> m_accessoryView;
  std::shared_ptr<UIView> m_drawnAccessory;
  UITableViewCellSelectionStyle m_selectionStyle = UITableViewCellSelectionStyle::Blue;
  std::shared_ptr<UIView> m_backgroundView;
  std::shared_ptr<UIView> m_selectedBackgroundView;
  bool m_selected = false;
  bool m_highlighted = false;
  bool m_touchStillInside = false;
  UITableView* m_tableView = nullptr;
  KMGroupedCellPosition m_groupedPosition = KMGroupedCellPosition::None;
  std::optional<UIColor> m_separatorColor;
};

}  // namespace kdisk
