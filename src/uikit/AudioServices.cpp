#include "uikit/AudioServices.h"

namespace kdisk {
namespace {

std::function<void(SystemSoundID)>& handler() {
  static std::function<void(SystemSoundID)> value;
  return value;
}

std::vector<SystemSoundID>& played() {
  static std::vector<SystemSoundID> value;
  return value;
}

} // namespace

void AudioServicesPlaySystemSound(SystemSoundID sound) {
  played().push_back(sound);
  if (handler())
    handler()(sound);
}

void setSystemSoundHandler(std::function<void(SystemSoundID)> value) {
  handler() = std::move(value);
}

const std::vector<SystemSoundID>& playedSystemSoundsForTesting() {
  return played();
}

void clearPlayedSystemSoundsForTesting() {
  played().clear();
}

} // namespace kdisk
