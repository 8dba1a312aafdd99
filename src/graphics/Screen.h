#pragma once
// The main screen's scale: pixels per point, 1 or 2. A process setting that
// the toolkit host sets once at start-up (tests may change it); readable from
// any thread.

namespace kdisk {

double mainScreenScale();
// Values other than 1 and 2 are rounded to the nearer of the two.
void setMainScreenScale(double scale);

} // namespace kdisk
