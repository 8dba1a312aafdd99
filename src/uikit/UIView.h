#pragma once
// A rectangle of the retained view tree: geometry (centre, bounds, transform),
// looks (alpha, background, clipping), subviews it owns, layout, drawing over
// Cairo, hit testing and touches. Views live on the main thread and are always
// held by std::shared_ptr; a superview owns its subviews, a subview points back
// at its superview without owning it (the superview clears that pointer when
// it lets go).
//
// Geometry changes made inside an animation block animate: the model value
// (frame(), alpha()) changes at once, drawing follows the presentation value.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "graphics/CGAffineTransform.h"
#include "graphics/CGGeometry.h"
#include "graphics/UIColor.h"
#include "uikit/KMAnimator.h"
#include "uikit/UIKitDefines.h"
#include "uikit/UIResponder.h"

typedef struct _cairo cairo_t;

namespace kdisk {

class CALayer;
class UIViewController;
class UIWindow;

enum UIViewAutoresizing : unsigned {
  UIViewAutoresizingNone = 0,
  UIViewAutoresizingFlexibleLeftMargin = 1u << 0,
  UIViewAutoresizingFlexibleWidth = 1u << 1,
  UIViewAutoresizingFlexibleRightMargin = 1u << 2,
  UIViewAutoresizingFlexibleTopMargin = 1u << 3,
  UIViewAutoresizingFlexibleHeight = 1u << 4,
  UIViewAutoresizingFlexibleBottomMargin = 1u << 5,
};

class UIView : public UIResponder {
 public:
  explicit UIView(CGRect frame = CGRectZero);
  ~UIView() override;
  UIView(const UIView&) = delete;
  UIView& operator=(const UIView&) = delete;

  std::shared_ptr<UIView> sharedView() { return std::static_pointer_cast<UIView>(shared_from_this()); }

  // Geometry, in the superview's coordinates except bounds.
  CGRect frame() const;
  virtual void setFrame(CGRect frame);
  CGRect bounds() const { return m_bounds; }
  virtual void setBounds(CGRect bounds);
  CGPoint center() const { return m_center; }
  void setCenter(CGPoint center);
  CGAffineTransform transform() const { return m_transform; }
  void setTransform(CGAffineTransform transform);

  CGFloat alpha() const { return m_alpha; }
  void setAlpha(CGFloat alpha);
  bool isHidden() const { return m_hidden; }
  void setHidden(bool hidden);
  const std::optional<UIColor>& backgroundColor() const { return m_backgroundColor; }
  void setBackgroundColor(std::optional<UIColor> color);
  bool clipsToBounds() const { return m_clipsToBounds; }
  void setClipsToBounds(bool clips);
  bool isOpaque() const { return m_opaque; }
  void setOpaque(bool opaque) { m_opaque = opaque; }
  int tag() const { return m_tag; }
  void setTag(int tag) { m_tag = tag; }
  bool isUserInteractionEnabled() const { return m_userInteractionEnabled; }
  void setUserInteractionEnabled(bool enabled) { m_userInteractionEnabled = enabled; }
  unsigned autoresizingMask() const { return m_autoresizingMask; }
  void setAutoresizingMask(unsigned mask) { m_autoresizingMask = mask; }
  bool autoresizesSubviews() const { return m_autoresizesSubviews; }
  void setAutoresizesSubviews(bool autoresizes) { m_autoresizesSubviews = autoresizes; }
  UIViewContentMode contentMode() const { return m_contentMode; }
  void setContentMode(UIViewContentMode mode);
  CALayer& layer();
  const CALayer& layer() const;

  // What drawing shows at this moment (differs from the model while animating).
  CGRect presentationFrame() const;
  CGFloat presentationAlpha() const;
  CGAffineTransform presentationTransform() const;
  CGRect presentationBounds() const;

  // The tree.
  UIView* superview() const { return m_superview; }
  const std::vector<std::shared_ptr<UIView>>& subviews() const { return m_subviews; }
  void addSubview(std::shared_ptr<UIView> view);
  void insertSubviewAtIndex(std::shared_ptr<UIView> view, std::size_t index);
  void insertSubviewBelowSubview(std::shared_ptr<UIView> view, const UIView* sibling);
  void insertSubviewAboveSubview(std::shared_ptr<UIView> view, const UIView* sibling);
  void bringSubviewToFront(const UIView* view);
  void sendSubviewToBack(const UIView* view);
  void removeFromSuperview();
  bool isDescendantOfView(const UIView* view) const;
  // Self first, then subviews depth first.
  UIView* viewWithTag(int tag);
  virtual UIWindow* window() const;
  virtual bool isWindow() const { return false; }

  // Hooks around tree changes; default no-ops.
  virtual void willMoveToSuperview(UIView* newSuperview) { (void)newSuperview; }
  virtual void didMoveToSuperview() {}
  virtual void willMoveToWindow(UIWindow* newWindow) { (void)newWindow; }
  virtual void didMoveToWindow() {}
  virtual void didAddSubview(UIView* subview) { (void)subview; }
  virtual void willRemoveSubview(UIView* subview) { (void)subview; }

  // Layout. setNeedsLayout marks; the window lays out marked views before it
  // draws or delivers input; layoutIfNeeded does it now for this subtree.
  void setNeedsLayout();
  void layoutIfNeeded();
  bool needsLayout() const { return m_needsLayout; }
  virtual void layoutSubviews() {}
  virtual CGSize sizeThatFits(CGSize size) const;
  void sizeToFit();

  // Drawing. drawRect draws the view's own content in its bounds' coordinates.
  void setNeedsDisplay();
  virtual void drawRect(cairo_t* context, CGRect rect) { (void)context; (void)rect; }
  // Draws this view and its subtree; the context maps the superview's bounds
  // coordinates (or the window's when this is the root).
  void drawHierarchy(cairo_t* context) const;
  // Draws this subtree with the context mapping this view's own bounds.
  void drawContentAndSubviews(cairo_t* context) const;

  // Hit testing in this view's coordinates: the deepest visible, enabled view
  // containing the point, front-most first.
  virtual UIView* hitTest(CGPoint point);
  virtual bool pointInside(CGPoint point) const;

  // Coordinate conversion; null means the root of this view's tree (the window).
  CGPoint convertPointToView(CGPoint point, const UIView* view) const;
  CGPoint convertPointFromView(CGPoint point, const UIView* view) const;
  CGRect convertRectToView(CGRect rect, const UIView* view) const;
  CGRect convertRectFromView(CGRect rect, const UIView* view) const;

  // Responder chain: the owning view controller, else the superview.
  UIResponder* nextResponder() const override;
  UIViewController* viewController() const { return m_viewController; }
  void setViewControllerForResponderChain(UIViewController* controller) {
    m_viewController = controller;
  }

  // Gestures the window offers every touch to before the hit view (scroll
  // views pan); answering Claim cancels the touch in the hit view and sends
  // the rest of the sequence to this view only.
  enum class KMGestureAnswer { Continue, Claim };
  virtual bool tracksTouchesAsGesture() const { return false; }
  virtual KMGestureAnswer gestureTouch(const UITouch& touch) {
    (void)touch;
    return KMGestureAnswer::Continue;
  }

  // The text a person reads on the view, for finding it (labels, buttons).
  virtual std::optional<std::string> accessibilityLabel() const { return std::nullopt; }

  // Animation blocks.
  static void animateWithDurationAnimations(double duration, const std::function<void()>& animations);
  static void animateWithDurationAnimationsCompletion(double duration,
                                                      const std::function<void()>& animations,
                                                      KMAnimationCompletion completion);
  static void animateWithDurationDelayOptionsAnimationsCompletion(
      double duration, double delay, unsigned options, const std::function<void()>& animations,
      KMAnimationCompletion completion);
  static void setAnimationsEnabled(bool enabled) { KMAnimator::setAnimationsEnabled(enabled); }
  static bool areAnimationsEnabled() { return KMAnimator::areAnimationsEnabled(); }
  static void performWithoutAnimation(const std::function<void()>& actions);

 protected:
  // Hooks for subclasses that keep their content in step with geometry.
  virtual void boundsDidChange(CGRect oldBounds) { (void)oldBounds; }

 private:
  void setBoundsInternal(CGRect bounds);
  void resizeSubviews(CGSize oldSize);
  void attachSubview(std::shared_ptr<UIView> view, std::size_t index);
  void detachFromSuperview();
  void notifyWillMoveToWindow(UIWindow* window);
  void notifyDidMoveToWindow();
  void scheduleWindowUpdate() const;
  CGPoint convertPointToSuperview(CGPoint point) const;
  CGPoint convertPointFromSuperview(CGPoint point) const;
  const UIView* rootView() const;

  CGRect m_bounds;
  CGPoint m_center;
  CGAffineTransform m_transform = CGAffineTransformIdentity;
  CGFloat m_alpha = 1;
  bool m_hidden = false;
  std::optional<UIColor> m_backgroundColor;
  bool m_clipsToBounds = false;
  bool m_opaque = true;
  int m_tag = 0;
  bool m_userInteractionEnabled = true;
  unsigned m_autoresizingMask = UIViewAutoresizingNone;
  bool m_autoresizesSubviews = true;
  UIViewContentMode m_contentMode = UIViewContentMode::ScaleToFill;
  bool m_needsLayout = true;
  std::unique_ptr<CALayer> m_layer;

  std::optional<CGRect> m_presentationBounds;
  std::optional<CGPoint> m_presentationCenter;
  std::optional<CGFloat> m_presentationAlpha;
  std::optional<CGAffineTransform> m_presentationTransform;

  UIView* m_superview = nullptr;
  std::vector<std::shared_ptr<UIView>> m_subviews;
  UIViewController* m_viewController = nullptr;
};

}  // namespace kdisk
