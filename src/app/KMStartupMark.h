#pragma once
// The start-up benchmark's mark: with KDISK_FIRST_FRAME_MARK set, the first
// painted frame showing the root folder's rows prints
// "first-frame <monotonic clock in seconds>" and the program quits.
namespace kdisk {

class KalumoDiskAppDelegate;

bool isStartupMarkRequested();
// The root folder screen shows rows and no other screen lies over it.
bool rootListingIsShown(const KalumoDiskAppDelegate& delegate);
// Prints the mark line once; false when it was printed before.
bool printStartupMark();

}  // namespace kdisk
