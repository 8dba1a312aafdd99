#pragma once
// System sounds. The host plays them (the GTK host rings the display's
// bell); every sound is also kept in a list tests read. Main thread.
#include <functional>
#include <vector>

namespace kdisk {

using SystemSoundID = unsigned;
// The phone's vibration; on a desktop, the alert bell.
inline constexpr SystemSoundID kSystemSoundID_Vibrate = 4095;

void AudioServicesPlaySystemSound(SystemSoundID sound);
void setSystemSoundHandler(std::function<void(SystemSoundID)> handler);

const std::vector<SystemSoundID>& playedSystemSoundsForTesting();
void clearPlayedSystemSoundsForTesting();

} // namespace kdisk
