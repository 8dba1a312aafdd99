#include <cmath>

#include "UIKitTestSupport.h"
#include "screens/browsing/KMTableViewGroupHeader.h"
#include "uikit/CALayer.h"

namespace kdisk::test {
namespace {

using KMTableViewGroupHeaderTest = UIKitTest;

TEST_F(KMTableViewGroupHeaderTest, TurnsItsArrowAndMovesTheTitleForTheArrow) {
  KMTableViewGroupHeader header(CGRectMake(0, 0, 320, 24));
  EXPECT_TRUE(header.exposed());
  header.setTitleText("Загрузки");
  const CGFloat withArrow = header.titleX();
  header.setArrowHidden(true);
  EXPECT_LT(header.titleX(), withArrow);
  header.setExposedAnimated(false, KMAnimated::Yes);
  EXPECT_NE(header.arrowView().layer().animationForKey("rotateAnimation"), nullptr);
  EXPECT_EQ(header.arrowView().layer().animationForKey("rotateAnimation")->keyPath, "transform.rotation");
  EXPECT_NEAR(std::atan2(header.arrowView().transform().b, header.arrowView().transform().a), -M_PI / 2, 1e-9);
  header.setExposedAnimated(true, KMAnimated::No);
  EXPECT_NEAR(std::atan2(header.arrowView().transform().b, header.arrowView().transform().a), 0, 1e-9);
}

}  // namespace
}  // namespace kdisk::test
