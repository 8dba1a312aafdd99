#pragma once
// The animation engine. Animation blocks record the property changes made
// inside them as tracks; each track moves a value from where it was to where
// the change put it, stepped by a frame timer on the run clock (so tests move
// animations with the virtual clock). A transaction's completion fires by its
// own timer at exactly delay + duration after it began.
//
// Model values change at once, as on the platform: a view's frame reads its
// target right after the block. Drawing reads the presentation values that
// the tracks step. Main thread.
//
//   idle --commit with tracks--> running --last track done/timer--> idle
//   a track replaced by a newer change of the same key leaves its transaction;
//   a transaction left with no tracks completes at once, unfinished.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/RunLoop.h"

namespace kdisk {

class UIResponder;

enum UIViewAnimationOptions : unsigned {
  UIViewAnimationOptionNone = 0,
  UIViewAnimationOptionAllowUserInteraction = 1u << 1,
  UIViewAnimationOptionBeginFromCurrentState = 1u << 2,
  UIViewAnimationOptionCurveEaseInOut = 0,
  UIViewAnimationOptionCurveEaseIn = 1u << 16,
  UIViewAnimationOptionCurveEaseOut = 2u << 16,
  UIViewAnimationOptionCurveLinear = 3u << 16,
};

enum class KMAnimationCurve { EaseInOut, EaseIn, EaseOut, Linear };

// Progress 0…1 through the curve.
double KMAnimationCurveValue(KMAnimationCurve curve, double progress);

using KMAnimationCompletion = std::function<void(bool finished)>;

class KMAnimator {
 public:
  static KMAnimator& shared();

  // Nested blocks: inner changes belong to the innermost open block.
  void beginBlock(double duration, double delay, unsigned options, KMAnimationCompletion completion);
  void commitBlock();
  // Whether a change made now should be animated.
  bool isRecording() const;
  static void setAnimationsEnabled(bool enabled);
  static bool areAnimationsEnabled();

  // Adds a track for `owner`'s `key` to the innermost block, replacing any
  // running track with the same owner and key. `step` receives the eased
  // progress 0…1; `finish` runs once when the track ends or is replaced.
  void addTrack(const UIResponder& owner, const std::string& key, std::function<void(double)> step,
                std::function<void()> finish);
  // A track outside any block, with its own timing (layer animations,
  // scrolling). Returns at once when duration is 0 (finish runs).
  void addTimedTrack(const UIResponder& owner, const std::string& key, double duration,
                     KMAnimationCurve curve, std::function<void(double)> step,
                     std::function<void()> finish, KMAnimationCompletion completion = {});
  // Ends a running track at its target (a non-animated change of the key).
  void removeTrack(const UIResponder& owner, const std::string& key);
  void removeTracksOfOwner(const UIResponder& owner);
  bool hasTrack(const UIResponder& owner, const std::string& key) const;

  std::size_t runningTrackCount() const;
  // Observers told after every frame step (the hosts redraw).
  void setFrameObserver(std::function<void()> observer);

  static constexpr double kFrameInterval = 1.0 / 60.0;

 private:
  KMAnimator() = default;
  struct Transaction;
  struct Track;
  struct Block;
  void startTrack(std::shared_ptr<Transaction> transaction, const UIResponder& owner,
                  const std::string& key, std::function<void(double)> step,
                  std::function<void()> finish);
  void scheduleTransaction(const std::shared_ptr<Transaction>& transaction);
  void finishTransaction(const std::shared_ptr<Transaction>& transaction, bool finished);
  void detachTrack(std::size_t index);
  void tick();
  void updateTicker();

  std::vector<Block> m_blocks;
  std::vector<std::shared_ptr<Track>> m_tracks;
  TimerId m_ticker = 0;
  std::function<void()> m_frameObserver;
};

}  // namespace kdisk
