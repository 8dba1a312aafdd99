#pragma once
// What a random run is made of: a generator that gives the same numbers for
// the same seed on every machine (the standard distributions do not), odd
// text as people paste it, and the controls of a window a finger could reach.
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "graphics/CGGeometry.h"

namespace kdisk {
class KMHeadlessHost;
class UIView;
}  // namespace kdisk

namespace kdisk::test {

class RandomSource {
 public:
  explicit RandomSource(std::uint64_t seed) : m_engine(seed) {}
  std::uint64_t next() { return m_engine(); }
  // [0, 1)
  double unit() { return double(m_engine() >> 11) * 0x1.0p-53; }
  double between(double low, double high) { return low + (high - low) * unit(); }
  // [0, count); 0 when count is 0.
  std::size_t below(std::size_t count) { return count == 0 ? 0 : std::size_t(m_engine() % count); }
  bool chance(double probability) { return unit() < probability; }
  CGPoint pointIn(CGRect rect) {
    return {rect.origin.x + rect.size.width * unit(), rect.origin.y + rect.size.height * unit()};
  }

 private:
  std::mt19937_64 m_engine;
};

// The seed of this run: KDISK_RANDOM_SEED, or a fresh one.
std::uint64_t randomRunSeed();
// KDISK_RANDOM_EVENTS, or `fallback`.
int randomRunEvents(int fallback);

// Text a person might type or paste: words, right-to-left scripts, combining
// marks, emoji sequences, path characters, controls (NULs cut out, as a
// paste hands over), now and then 10,000 characters at once.
std::string oddText(RandomSource& random);

// Views on screen a tap could make react (enabled controls, cells, text
// fields), front-most last, each with its visible rectangle.
struct ReachableView {
  UIView* view;
  CGRect visible;
};
std::vector<ReachableView> reachableViews(KMHeadlessHost& host);

}  // namespace kdisk::test
