#pragma once
// Keyboard commands a desktop host reads from its keys and hands to the
// application: Escape, Ctrl+F, F5 and Delete.
namespace kdisk {

enum class KMKeyCommand { Back, Find, Refresh, Delete };

}  // namespace kdisk
