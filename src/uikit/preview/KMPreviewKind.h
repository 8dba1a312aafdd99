#pragma once
// What the document preview can show of a local file, decided from the
// content type the desktop guesses from the name and the first bytes, and a
// look at the file's header (never by decoding the whole file). Any thread.
#include <string>

namespace kdisk {

enum class KMPreviewKind { None, Picture, PDF, Text };

KMPreviewKind KMPreviewKindOfFile(const std::string& path);

}  // namespace kdisk
