#pragma once
// The update checker's alert drawn with the toolkit's alert view; hand
// `KMUpdateAlert::presenter()` to KLAutoUpdater::create. Main thread.
#include "updater/KLAutoUpdater.h"

namespace kdisk {

struct KMUpdateAlert {
  static KLAutoUpdater::AlertPresenter presenter();
};

}  // namespace kdisk
