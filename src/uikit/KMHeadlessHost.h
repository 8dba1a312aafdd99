#pragma once
// The toolkit's window without a display: 320 × 480 points at scale 1 or 2,
// drawn into an image on demand, driven by synthetic input. Screen tests
// and the frame benchmark use it; it is the reference the GTK host follows.
// Input helpers lay the window out first and let posted work run after, so
// a test reads the tree as a person would see it. Main thread.
#include <memory>
#include <string>
#include <vector>

#include "graphics/CGGeometry.h"
#include "graphics/UIImage.h"

namespace kdisk {

class UIView;
class UIViewController;
class UIWindow;

enum class KMDragRelease { Lift, Hold };

class KMHeadlessHost {
 public:
  // Sets the main screen's scale and makes a key window of the screen's size.
  explicit KMHeadlessHost(double scale = 1);
  ~KMHeadlessHost();
  KMHeadlessHost(const KMHeadlessHost&) = delete;
  KMHeadlessHost& operator=(const KMHeadlessHost&) = delete;

  UIWindow& window() { return *m_window; }
  std::shared_ptr<UIWindow> sharedWindow() const { return m_window; }
  double scale() const { return m_scale; }
  void setRootViewController(std::shared_ptr<UIViewController> controller);

  // Runs posted work and lays out the window.
  void settle();
  // Moves the run clock (virtual in tests, real otherwise) and settles.
  void advance(double seconds);

  // Input, in window points.
  void tapPoint(CGPoint point);
  // Taps the centre of the view's visible part; false (and no tap) when the
  // view is not on screen, another view would receive the tap, or the tap
  // would only stop moving content.
  bool tapView(const UIView& view);
  // Finds the text on screen, then taps it.
  bool tapText(const std::string& text);
  void touchDown(CGPoint point);
  void touchMove(CGPoint point);
  void touchUp(CGPoint point);
  // Moves the finger along `path` over `seconds`, in `steps` equal pieces per
  // segment, advancing the clock between moves; lifts at the end unless told
  // to hold.
  void drag(const std::vector<CGPoint>& path, double seconds, int stepsPerSegment = 10,
            KMDragRelease release = KMDragRelease::Lift);
  void typeText(const std::string& text);
  void pressBackspace();
  void pressReturn();
  void tapStatusBar();
  void sendApplicationToBackground();
  void bringApplicationToForeground();

  // Views on screen (in the window, not hidden, not transparent, inside the
  // visible area of every clipping ancestor), front-most last.
  std::vector<UIView*> findViewsWithText(const std::string& text);
  UIView* findViewWithText(const std::string& text);
  UIView* findViewWithTag(int tag);
  // The rectangle of `view` that is on screen, in window points; empty when none.
  CGRect visibleRectOfView(const UIView& view) const;
  // Every text shown on screen, in drawing order.
  std::vector<std::string> visibleTexts();

  // A snapshot of the window at the host's scale.
  std::shared_ptr<UIImage> snapshot();
  bool savePNG(const std::string& path);

 private:
  std::shared_ptr<UIWindow> m_window;
  double m_scale;
};

}  // namespace kdisk
