#pragma once
// One sheet with every image of a folder, for people to look at: each image
// at its own size with its name, and bar and button images also stretched
// with the caps the screens give them.

#include <memory>
#include <string>
#include <vector>

namespace kdisk {

class UIImage;

// The names (without ".png") of the 1× images in `directory`, sorted.
std::vector<std::string> KMCatalogueImageNames(const std::string& directory);
std::shared_ptr<UIImage> KMRenderContactSheet(const std::string& directory, double scale);

} // namespace kdisk
