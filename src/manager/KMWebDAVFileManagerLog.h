#pragma once
// The one named logger of the manager, shared by the files it is split into.

#include "platform/Log.h"

namespace kdisk::manager {
std::shared_ptr<spdlog::logger>& log();
}
