// UIImage: finding images by name and decoding files and bytes.
#include "graphics/UIImage.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <tuple>

#include "graphics/CairoOwners.h"
#include "graphics/PixelFormat.h"
#include "graphics/Screen.h"
#include "platform/Bundle.h"
#include "platform/GLibOwners.h"
#include "platform/Log.h"

namespace kdisk {
namespace {

auto log() {
  return logger("UIImage", LogLevel::Warning);
}

// Beyond this a file is refused before it is read.
constexpr std::uintmax_t kMaximumFileBytes = 64u << 20;
// Images claiming more pixels than this are refused rather than scaled, so a
// forged header cannot make the decoder reserve gigabytes first.
constexpr double kMaximumClaimedPixels = 32768.0 * 32768.0;

struct DecodeState {
  // When set, the image is decoded just large enough for its shorter side to
  // cover this many pixels (JPEG then decodes at a fraction of its size).
  int fillSide = 0;
  // Neither side of the decoded image exceeds this.
  int maximumDimension = UIImage::kMaximumPixelDimension;
  bool refused = false;
  int claimedWidth = 0;
  int claimedHeight = 0;
};

void onSizePrepared(GdkPixbufLoader* loader, int width, int height, gpointer data) {
  auto* state = static_cast<DecodeState*>(data);
  state->claimedWidth = width;
  state->claimedHeight = height;
  if (width <= 0 || height <= 0 || double(width) * height > kMaximumClaimedPixels) {
    state->refused = true;
    gdk_pixbuf_loader_set_size(loader, 1, 1);
    return;
  }
  const int shortest = std::min(width, height);
  if (state->fillSide > 0 && shortest > state->fillSide) {
    const double factor = double(state->fillSide) / shortest;
    gdk_pixbuf_loader_set_size(loader, std::max(state->fillSide, int(std::ceil(width * factor))),
                               std::max(state->fillSide, int(std::ceil(height * factor))));
    return;
  }
  const int longest = std::max(width, height);
  if (longest > state->maximumDimension) {
    const double factor = double(UIImage::kMaximumPixelDimension) / longest;
    gdk_pixbuf_loader_set_size(loader, std::max(1, int(std::lround(width * factor))),
                               std::max(1, int(std::lround(height * factor))));
  }
}

cairo::Surface surfaceFromPixbuf(GdkPixbuf* pixbuf) {
  const int width = gdk_pixbuf_get_width(pixbuf);
  const int height = gdk_pixbuf_get_height(pixbuf);
  const int channels = gdk_pixbuf_get_n_channels(pixbuf);
  const bool hasAlpha = gdk_pixbuf_get_has_alpha(pixbuf);
  if (gdk_pixbuf_get_bits_per_sample(pixbuf) != 8 || channels < 3)
    return nullptr;
  cairo::Surface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
    return nullptr;
  cairo_surface_flush(surface.get());
  const guchar* source = gdk_pixbuf_read_pixels(pixbuf);
  const int sourceStride = gdk_pixbuf_get_rowstride(pixbuf);
  unsigned char* target = cairo_image_surface_get_data(surface.get());
  const int targetStride = cairo_image_surface_get_stride(surface.get());
  for (int y = 0; y < height; ++y) {
    const guchar* in = source + std::ptrdiff_t(y) * sourceStride;
    auto* out = reinterpret_cast<std::uint32_t*>(target + std::ptrdiff_t(y) * targetStride);
    for (int x = 0; x < width; ++x, in += channels) {
      out[x] = KMPremultipliedWordFromPixel({in[0], in[1], in[2], hasAlpha ? in[3] : guchar(255)});
    }
  }
  cairo_surface_mark_dirty(surface.get());
  return surface;
}

// Small chunks, so an absurd size is seen before the rest is decoded.
constexpr std::size_t kChunk = 64 * 1024;

// Answers the next chunk of the encoded bytes; 0 at the end.
using ChunkSource = std::function<std::size_t(const std::uint8_t*& chunk)>;

std::shared_ptr<UIImage> decodeChunks(const ChunkSource& next, double scale, const std::string& description,
                                      int fillSide, int maximumDimension = UIImage::kMaximumPixelDimension) {
  glib::Object<GdkPixbufLoader> owner(gdk_pixbuf_loader_new());
  GdkPixbufLoader* loader = owner.get();
  DecodeState state;
  state.fillSide = fillSide;
  state.maximumDimension = std::clamp(maximumDimension, 1, UIImage::kMaximumPixelDimension);
  g_signal_connect(loader, "size-prepared", G_CALLBACK(onSizePrepared), &state);
  GError* error = nullptr;
  bool written = true;
  const std::uint8_t* chunk = nullptr;
  for (std::size_t length = 0; written && !state.refused && (length = next(chunk)) > 0;) {
    written = gdk_pixbuf_loader_write(loader, chunk, length, &error);
  }
  const bool closed = gdk_pixbuf_loader_close(loader, written ? &error : nullptr);
  glib::Error failure(error);
  std::shared_ptr<UIImage> image;
  if (state.refused) {
    log()->warn("UIImage: '{}' claims an unusable size of {}x{} pixels", description,
                state.claimedWidth, state.claimedHeight);
  } else if (!written || !closed) {
    log()->warn("UIImage: cannot decode '{}': {}", description,
                failure ? failure->message : "unknown format");
  } else if (GdkPixbuf* pixbuf = gdk_pixbuf_loader_get_pixbuf(loader)) {
    // Photos carry their camera's orientation; show them upright.
    glib::Object<GdkPixbuf> upright(gdk_pixbuf_apply_embedded_orientation(pixbuf));
    cairo::Surface surface = surfaceFromPixbuf(upright ? upright.get() : pixbuf);
    if (surface) {
      image = UIImage::imageWithSurface(surface.release(), scale, description);
    } else {
      log()->warn("UIImage: '{}' has an unsupported pixel layout", description);
    }
  } else {
    log()->warn("UIImage: '{}' holds no image", description);
  }
  return image;
}

std::shared_ptr<UIImage> decode(const std::uint8_t* bytes, std::size_t length, double scale,
                                const std::string& description) {
  if (length == 0) {
    log()->warn("UIImage: '{}' is empty", description);
    return nullptr;
  }
  std::size_t offset = 0;
  return decodeChunks(
      [&](const std::uint8_t*& chunk) {
        chunk = bytes + offset;
        const std::size_t size = std::min(kChunk, length - offset);
        offset += size;
        return size;
      },
      scale, description, 0);
}

bool endsWith2x(const std::filesystem::path& path) {
  const std::string stem = path.stem().string();
  return stem.size() >= 3 && stem.compare(stem.size() - 3, 3, "@2x") == 0;
}

std::mutex g_cacheMutex;
std::map<std::tuple<std::string, std::string, double>, std::shared_ptr<UIImage>> g_namedImages;

std::shared_ptr<UIImage> decodeFile(const std::string& path, int fillSide, int maximumDimension);

} // namespace

std::shared_ptr<UIImage> UIImage::imageWithData(const Bytes& data, double scale,
                                                std::string_view description) {
  return decode(data.data(), data.size(), scale, std::string(description));
}

std::shared_ptr<UIImage> UIImage::imageWithContentsOfFile(const std::string& path) {
  return imageWithContentsOfFileFillingPixels(path, 0);
}

std::shared_ptr<UIImage> UIImage::imageWithContentsOfFileFittingPixelDimension(const std::string& path,
                                                                             int maximumDimension) {
  return decodeFile(path, 0, maximumDimension);
}

std::shared_ptr<UIImage> UIImage::imageWithContentsOfFileFillingPixels(const std::string& path, int side) {
  return decodeFile(path, std::max(0, side), kMaximumPixelDimension);
}

namespace {

std::shared_ptr<UIImage> decodeFile(const std::string& path, int fillSide, int maximumDimension) {
  std::error_code error;
  const std::uintmax_t length = std::filesystem::file_size(path, error);
  if (error) {
    log()->warn("UIImage: cannot read image file '{}': {}", path, error.message());
    return nullptr;
  }
  if (length > kMaximumFileBytes) {
    log()->warn("UIImage: image file '{}' is too large ({} bytes)", path, length);
    return nullptr;
  }
  if (length == 0) {
    log()->warn("UIImage: '{}' is empty", path);
    return nullptr;
  }
  std::ifstream stream(path, std::ios::binary);
  if (!stream) {
    log()->warn("UIImage: cannot read image file '{}'", path);
    return nullptr;
  }
  // Streamed through one small buffer: no allocation the size of the file.
  std::vector<std::uint8_t> buffer(kChunk);
  return decodeChunks(
      [&](const std::uint8_t*& chunk) {
        stream.read(reinterpret_cast<char*>(buffer.data()), std::streamsize(buffer.size()));
        chunk = buffer.data();
        return std::size_t(stream.gcount());
      },
      endsWith2x(path) ? 2 : 1, path, fillSide, maximumDimension);
}

}  // namespace

std::shared_ptr<UIImage>
UIImage::imageNamedInDirectory(std::string_view name, const std::string& directory, double scale) {
  if (name.empty()) {
    log()->warn("UIImage: asked for an image without a name");
    return nullptr;
  }
  const std::tuple<std::string, std::string, double> key{directory, std::string(name), scale};
  {
    std::lock_guard lock(g_cacheMutex);
    if (auto found = g_namedImages.find(key); found != g_namedImages.end())
      return found->second;
  }
  const std::filesystem::path given(name);
  const std::string extension = given.has_extension() ? given.extension().string() : ".png";
  const std::string base =
      given.has_extension() ? (given.parent_path() / given.stem()).string() : std::string(name);
  const std::string highResolution = base + "@2x" + extension;
  const std::string standard = base + extension;
  std::vector<std::string> candidates;
  if (scale >= 2)
    candidates = {highResolution, standard, std::string(name)};
  else
    candidates = {standard, std::string(name), highResolution};

  std::shared_ptr<UIImage> image;
  for (const std::string& candidate : candidates) {
    const std::filesystem::path path = std::filesystem::path(directory) / candidate;
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
      continue;
    image = imageWithContentsOfFile(path.string());
    if (image)
      break;
  }
  if (!image) {
    log()->warn("UIImage: no image named '{}' in '{}'", name, directory);
  }
  std::lock_guard lock(g_cacheMutex);
  g_namedImages.emplace(key, image);
  return image;
}

std::shared_ptr<UIImage> UIImage::imageNamed(std::string_view name) {
  const std::string directory =
      (std::filesystem::path(Bundle::mainBundle().resourcePath()) / "images").string();
  return imageNamedInDirectory(name, directory, mainScreenScale());
}

void UIImage::clearNamedImageCache() {
  std::lock_guard lock(g_cacheMutex);
  g_namedImages.clear();
}

} // namespace kdisk
