#include "uikit/KMAnimator.h"

#include <algorithm>
#include <cmath>

#include "uikit/UIResponder.h"

namespace kdisk {

namespace {
bool g_animationsEnabled = true;

KMAnimationCurve curveFromOptions(unsigned options) {
  switch ((options >> 16) & 3u) {
    case 1: return KMAnimationCurve::EaseIn;
    case 2: return KMAnimationCurve::EaseOut;
    case 3: return KMAnimationCurve::Linear;
    default: return KMAnimationCurve::EaseInOut;
  }
}
}  // namespace

double KMAnimationCurveValue(KMAnimationCurve curve, double t) {
  t = std::clamp(t, 0.0, 1.0);
  switch (curve) {
    case KMAnimationCurve::Linear: return t;
    case KMAnimationCurve::EaseIn: return t * t;
    case KMAnimationCurve::EaseOut: return 1 - (1 - t) * (1 - t);
    case KMAnimationCurve::EaseInOut: return t * t * (3 - 2 * t);
  }
  return t;
}

struct KMAnimator::Transaction {
  double start = 0;  // after the delay
  double duration = 0;
  KMAnimationCurve curve = KMAnimationCurve::EaseInOut;
  KMAnimationCompletion completion;
  int liveTracks = 0;
  bool hadTracks = false;
  bool done = false;
  TimerId timer = 0;
};

struct KMAnimator::Track {
  std::weak_ptr<const UIResponder> owner;
  const UIResponder* ownerAddress = nullptr;
  std::string key;
  std::shared_ptr<Transaction> transaction;
  std::function<void(double)> step;
  std::function<void()> finish;
};

struct KMAnimator::Block {
  std::shared_ptr<Transaction> transaction;
};

KMAnimator& KMAnimator::shared() {
  static KMAnimator animator;
  return animator;
}

void KMAnimator::setAnimationsEnabled(bool enabled) { g_animationsEnabled = enabled; }
bool KMAnimator::areAnimationsEnabled() { return g_animationsEnabled; }

void KMAnimator::beginBlock(double duration, double delay, unsigned options,
                            KMAnimationCompletion completion) {
  auto transaction = std::make_shared<Transaction>();
  transaction->start = RunLoop::main().now() + std::max(0.0, delay);
  transaction->duration = std::max(0.0, duration);
  transaction->curve = curveFromOptions(options);
  transaction->completion = std::move(completion);
  m_blocks.push_back({std::move(transaction)});
}

void KMAnimator::commitBlock() {
  if (m_blocks.empty()) return;
  auto transaction = m_blocks.back().transaction;
  m_blocks.pop_back();
  if (!transaction->hadTracks) {
    // Nothing to animate: the completion still comes after the current turn.
    auto completion = std::move(transaction->completion);
    if (completion) RunLoop::main().post([completion] { completion(true); });
    return;
  }
  scheduleTransaction(transaction);
}

bool KMAnimator::isRecording() const {
  return g_animationsEnabled && !m_blocks.empty() && m_blocks.back().transaction->duration > 0;
}

void KMAnimator::scheduleTransaction(const std::shared_ptr<Transaction>& transaction) {
  std::weak_ptr<Transaction> weak = transaction;
  const double remaining = transaction->start + transaction->duration - RunLoop::main().now();
  transaction->timer = RunLoop::main().postDelayed(std::max(0.0, remaining), [this, weak] {
    if (auto strong = weak.lock()) finishTransaction(strong, true);
  });
  updateTicker();
}

void KMAnimator::addTrack(const UIResponder& owner, const std::string& key,
                          std::function<void(double)> step, std::function<void()> finish) {
  if (!isRecording()) {
    removeTrack(owner, key);
    if (finish) finish();
    return;
  }
  startTrack(m_blocks.back().transaction, owner, key, std::move(step), std::move(finish));
}

void KMAnimator::addTimedTrack(const UIResponder& owner, const std::string& key, double duration,
                               KMAnimationCurve curve, std::function<void(double)> step,
                               std::function<void()> finish, KMAnimationCompletion completion) {
  removeTrack(owner, key);
  if (duration <= 0) {
    if (step) step(1);
    if (finish) finish();
    if (completion) completion(true);
    return;
  }
  auto transaction = std::make_shared<Transaction>();
  transaction->start = RunLoop::main().now();
  transaction->duration = duration;
  transaction->curve = curve;
  transaction->completion = std::move(completion);
  startTrack(transaction, owner, key, std::move(step), std::move(finish));
  scheduleTransaction(transaction);
}

void KMAnimator::startTrack(std::shared_ptr<Transaction> transaction, const UIResponder& owner,
                            const std::string& key, std::function<void(double)> step,
                            std::function<void()> finish) {
  // The replaced track's finish would snap to the old target; the new track
  // starts from wherever the presentation stands, so only detach it.
  for (std::size_t i = 0; i < m_tracks.size(); ++i) {
    if (m_tracks[i]->ownerAddress == &owner && m_tracks[i]->key == key) {
      m_tracks[i]->finish = nullptr;
      detachTrack(i);
      break;
    }
  }
  auto track = std::make_shared<Track>();
  track->owner = owner.weak_from_this();
  track->ownerAddress = &owner;
  track->key = key;
  track->transaction = transaction;
  track->step = std::move(step);
  track->finish = std::move(finish);
  transaction->liveTracks++;
  transaction->hadTracks = true;
  if (track->step) track->step(0);
  m_tracks.push_back(std::move(track));
}

void KMAnimator::detachTrack(std::size_t index) {
  auto track = m_tracks[index];
  m_tracks.erase(m_tracks.begin() + static_cast<std::ptrdiff_t>(index));
  auto transaction = track->transaction;
  transaction->liveTracks--;
  if (track->finish && !track->owner.expired()) track->finish();
  if (transaction->liveTracks == 0 && !transaction->done && transaction->timer != 0) {
    // Every change of this block was taken over by a later one.
    RunLoop::main().cancel(transaction->timer);
    transaction->done = true;
    auto completion = std::move(transaction->completion);
    if (completion) RunLoop::main().post([completion] { completion(false); });
  }
  updateTicker();
}

void KMAnimator::finishTransaction(const std::shared_ptr<Transaction>& transaction, bool finished) {
  if (transaction->done) return;
  transaction->done = true;
  for (std::size_t i = m_tracks.size(); i-- > 0;) {
    if (i >= m_tracks.size() || m_tracks[i]->transaction != transaction) continue;
    auto track = m_tracks[i];
    m_tracks.erase(m_tracks.begin() + static_cast<std::ptrdiff_t>(i));
    if (!track->owner.expired()) {
      if (track->step) track->step(1);
      if (track->finish) track->finish();
    }
  }
  updateTicker();
  if (m_frameObserver) m_frameObserver();
  auto completion = std::move(transaction->completion);
  if (completion) completion(finished);
}

void KMAnimator::removeTrack(const UIResponder& owner, const std::string& key) {
  for (std::size_t i = 0; i < m_tracks.size(); ++i) {
    if (m_tracks[i]->ownerAddress == &owner && m_tracks[i]->key == key) {
      detachTrack(i);
      return;
    }
  }
}

void KMAnimator::removeTracksOfOwner(const UIResponder& owner) {
  for (std::size_t i = m_tracks.size(); i-- > 0;) {
    if (i < m_tracks.size() && m_tracks[i]->ownerAddress == &owner) detachTrack(i);
  }
}

bool KMAnimator::hasTrack(const UIResponder& owner, const std::string& key) const {
  return std::any_of(m_tracks.begin(), m_tracks.end(), [&](const auto& track) {
    return track->ownerAddress == &owner && track->key == key;
  });
}

std::size_t KMAnimator::runningTrackCount() const { return m_tracks.size(); }

void KMAnimator::setFrameObserver(std::function<void()> observer) {
  m_frameObserver = std::move(observer);
}

void KMAnimator::tick() {
  const double now = RunLoop::main().now();
  // Steps may start or end tracks; walk a copy.
  auto tracks = m_tracks;
  for (auto& track : tracks) {
    if (track->owner.expired() || !track->step) continue;
    const auto& transaction = *track->transaction;
    if (transaction.done) continue;
    const double progress =
        transaction.duration > 0 ? (now - transaction.start) / transaction.duration : 1;
    track->step(KMAnimationCurveValue(transaction.curve, progress));
  }
  if (m_frameObserver) m_frameObserver();
}

void KMAnimator::updateTicker() {
  if (!m_tracks.empty() && m_ticker == 0) {
    m_ticker = RunLoop::main().scheduleRepeating(kFrameInterval, [this] { tick(); });
  } else if (m_tracks.empty() && m_ticker != 0) {
    RunLoop::main().cancel(m_ticker);
    m_ticker = 0;
  }
}

}  // namespace kdisk
