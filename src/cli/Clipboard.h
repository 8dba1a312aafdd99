#pragma once
// Puts a text on the desktop's clipboard so it outlives the command: a small
// program beside `kdisk` takes the clipboard and hands it to the desktop's
// clipboard manager, or keeps it in the background until another program
// takes the clipboard over.
#include <string>

#include "platform/Expected.h"

namespace kdisk::cli {

Status copyToClipboard(const std::string& text);

} // namespace kdisk::cli
