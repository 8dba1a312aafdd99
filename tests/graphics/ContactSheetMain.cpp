// kdisk-contact-sheet [images-folder] [output.png] [scale]
// Renders every image of the bundle onto one PNG.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "ContactSheet.h"
#include "graphics/UIImage.h"
#include "graphics/UIImageRepresentation.h"

int main(int argc, char** argv) {
  const std::string programFolder =
      std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
  const std::string folder = argc > 1 ? argv[1] : programFolder + "/resources/images";
  const std::string output = argc > 2 ? argv[2] : "contact-sheet.png";
  const double scale = argc > 3 ? std::atof(argv[3]) : 1;
  const auto sheet = kdisk::KMRenderContactSheet(folder, scale > 0 ? scale : 1);
  const auto png = kdisk::UIImagePNGRepresentation(sheet.get());
  if (!png) {
    std::fprintf(stderr, "no images in %s\n", folder.c_str());
    return 1;
  }
  std::ofstream(output, std::ios::binary)
      .write(reinterpret_cast<const char*>(png->data()), std::streamsize(png->size()));
  std::printf("%s\n", output.c_str());
  return 0;
}
