// The images shown for listing rows: previews fetched and decoded into
// thumbnails, and file-type icons. A library of its own beside the manager,
// so that `kdisk`, which draws nothing, starts without the image libraries.
#include <gio/gio.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "foundation/KLDevice.h"
#include "graphics/KAThumbnail.h"
#include "graphics/UIImage.h"
#include "manager/KMWebDAVFileManager.h"
#include "manager/KMWebDAVFileManagerLog.h"
#include "platform/GLibOwners.h"
#include "webdav/KMDiskRequest.h"
#include "webdav/KMFile.h"

using kdisk::UIImage;
using kdisk::URL;

namespace {

std::string lowerCase(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

// The list thumbnail of a preview file; nothing when there is no file. A
// file that is not an image is removed, so a later visit can fetch a good
// one instead of failing on this file for ever. Any thread.
std::shared_ptr<UIImage> thumbnailOfPreviewFile(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return nullptr;
  auto image = UIImage::imageWithContentsOfFile(path);
  auto thumbnail = image ? kdisk::KADiskThumbnailForImage(image.get()) : nullptr;
  if (!thumbnail) {
    kdisk::manager::log()->warn("Preview {} is not an image; removed.", path);
    std::filesystem::remove(path, error);
  }
  return thumbnail;
}

std::vector<std::string> iconThemeRoots() {
  std::vector<std::string> roots;
  if (const char* home = g_get_user_data_dir()) roots.push_back(std::string(home) + "/icons");
  for (const char* const* dir = g_get_system_data_dirs(); dir && *dir; ++dir)
    roots.push_back(std::string(*dir) + "/icons");
  roots.push_back("/usr/share/pixmaps");
  return roots;
}

}  // namespace

std::shared_ptr<KMDiskRequest> KMWebDAVFileManager::startDownloadFilePreviewForURL(const URL& url) {
  const URL previewURL = previewURLForFileURL(url);
  const std::string previewText = previewURL.absoluteString();
  auto request = std::make_shared<KMDiskRequest>(previewURL);
  request->setOAuthToken(OAuthToken());
  request->setCallbackQueue(kdisk::DispatchQueue::globalQueue());
  auto localFile = m_storage->filePreviewURLForWebURL(url);
  if (!localFile) {
    kdisk::manager::log()->error("No local preview file for {}; preview not started.", url.absoluteString());
    post(kKMKMWebDAVFileManagerDidFailToDownloadPreview, {{"URL", previewText}});
    return request;
  }
  request->setFileURL(localFile);
  std::weak_ptr<KMWebDAVFileManager> weak = weak_from_this();
  // Called on a background queue: the thumbnail is made here, so the screen
  // showing it on the main thread finds it cached.
  const std::string path = m_storage->previewPathForWebURL(url).value_or(std::string());
  request->setDidFinishLoadingBlock([weak, previewText, path](const std::optional<std::string>&) {
    auto thumbnail = thumbnailOfPreviewFile(path);
    kdisk::dispatchMain([weak, previewText, path, thumbnail] {
      auto self = weak.lock();
      if (!self) return;
      // A body that is no picture (already removed) counts as a failure, so
      // the screen backs off instead of fetching it again at once.
      if (!thumbnail) {
        self->post(kKMKMWebDAVFileManagerDidFailToDownloadPreview, {{"URL", previewText}});
        return;
      }
      if (!self->m_filePreviewCache) self->m_filePreviewCache.emplace();
      self->m_filePreviewCache->insert_or_assign(path, thumbnail);
      self->post(kKMKMWebDAVFileManagerDidDownloadPreview, {{"URL", previewText}});
    });
  });
  request->setDidFailBlock([weak, previewText](const KMError&) {
    if (auto self = weak.lock())
      self->post(kKMKMWebDAVFileManagerDidFailToDownloadPreview, {{"URL", previewText}});
  });
  request->start();
  post(kKMKMWebDAVFileManagerDidStartDownloadPreview, {{"URL", previewText}});
  return request;
}

bool KMWebDAVFileManager::needDownloadPreview(const KMFileItem& item) const {
  auto preview = m_storage->filePreviewURLForWebURL(item.URL());
  if (!preview) return false;
  const std::string extension = lowerCase(preview->pathExtension());
  return extension == "gif" || extension == "jpg" || extension == "jpeg" || extension == "png";
}

std::shared_ptr<UIImage> KMWebDAVFileManager::previewForFileItem(const KMFileItem& item) {
  auto path = m_storage->previewPathForWebURL(item.URL());
  if (!path) return nullptr;
  if (m_filePreviewCache) {
    if (auto found = m_filePreviewCache->find(*path); found != m_filePreviewCache->end()) return found->second;
  }
  auto thumbnail = thumbnailOfPreviewFile(*path);
  if (!thumbnail) return nullptr;
  if (!m_filePreviewCache) m_filePreviewCache.emplace();
  m_filePreviewCache->insert_or_assign(*path, thumbnail);
  return thumbnail;
}

std::shared_ptr<UIImage> KMWebDAVFileManager::cachedPreviewForFileItemLoadingIfNeeded(const KMFileItem& item) {
  auto path = m_storage->previewPathForWebURL(item.URL());
  if (!path) return nullptr;
  if (m_filePreviewCache) {
    if (auto found = m_filePreviewCache->find(*path); found != m_filePreviewCache->end()) return found->second;
  }
  if (m_loadingPreviewPaths.contains(*path)) return nullptr;
  std::error_code error;
  if (!std::filesystem::is_regular_file(*path, error)) return nullptr;
  m_loadingPreviewPaths.insert(*path);
  std::weak_ptr<KMWebDAVFileManager> weak = weak_from_this();
  kdisk::DispatchQueue::globalBackgroundQueue()->async(
      [weak, path = *path, urlText = item.URL().absoluteString(), generation = m_previewCacheGeneration] {
        auto thumbnail = thumbnailOfPreviewFile(path);
        kdisk::dispatchMain([weak, path, urlText, generation, thumbnail] {
          auto self = weak.lock();
          if (!self || generation != self->m_previewCacheGeneration) return;
          self->m_loadingPreviewPaths.erase(path);
          if (!thumbnail) return;
          if (!self->m_filePreviewCache) self->m_filePreviewCache.emplace();
          self->m_filePreviewCache->insert_or_assign(path, thumbnail);
          self->post(kKMKMWebDAVFileManagerDidLoadPreview, {{"URL", urlText}});
        });
      });
  return nullptr;
}

std::optional<std::string> KMWebDAVFileManager::iconImageNameForExtension(std::string_view extension) {
  static const std::pair<const char*, const char*> table[] = {
      {"avi", "filetype_icon_avi.png"}, {"doc", "filetype_icon_doc.png"},
      {"docx", "filetype_icon_doc.png"}, {"eml", "filetype_icon_eml.png"},
      {"exe", "filetype_icon_exe.png"}, {"gif", "filetype_icon_gif.png"},
      {"jpg", "filetype_icon_jpg.png"}, {"jpeg", "filetype_icon_jpg.png"},
      {"mov", "filetype_icon_mov.png"}, {"mp3", "filetype_icon_mp3.png"},
      {"mp4", "filetype_icon_mp4.png"}, {"pdf", "filetype_icon_pdf.png"},
      {"png", "filetype_icon_png.png"}, {"ppt", "filetype_icon_ppt.png"},
      {"rar", "filetype_icon_rar.png"}, {"txt", "filetype_icon_txt.png"},
      {"wav", "filetype_icon_wav.png"}, {"wma", "filetype_icon_wma.png"},
      {"wmv", "filetype_icon_wmv.png"}, {"xls", "filetype_icon_xls.png"},
      {"zip", "filetype_icon_zip.png"},
  };
  for (const auto& [key, image] : table)
    if (extension == key) return std::string(image);
  return std::nullopt;
}

std::optional<std::string> KMWebDAVFileManager::desktopIconPathForExtension(std::string_view extension) {
  const std::string fileName = fmt::format("name.{}", extension);
  gboolean uncertain = FALSE;
  kdisk::glib::Text contentType(g_content_type_guess(fileName.c_str(), nullptr, 0, &uncertain));
  if (!contentType) return std::nullopt;
  std::optional<std::string> found;
  // The guess for an unknown name is the generic binary type, whose icon says
  // nothing about the file.
  if (!uncertain && !g_content_type_is_unknown(contentType.get())) {
    kdisk::glib::Object<GIcon> icon(g_content_type_get_icon(contentType.get()));
    if (icon && G_IS_THEMED_ICON(icon.get())) {
      const gchar* const* names = g_themed_icon_get_names(G_THEMED_ICON(icon.get()));
      const int size = kdisk::KLDevice::mainScreenScale() > 1.5 ? 96 : 48;
      const std::string sizes[] = {fmt::format("{0}x{0}", size), "64x64", "48x48", "32x32"};
      for (const auto& root : iconThemeRoots()) {
        for (const char* theme : {"Adwaita", "hicolor"}) {
          for (const auto& sizeFolder : sizes) {
            for (const gchar* const* name = names; name && *name && !found; ++name) {
              std::string path = fmt::format("{}/{}/{}/mimetypes/{}.png", root, theme, sizeFolder, *name);
              std::error_code error;
              if (std::filesystem::is_regular_file(path, error)) found = path;
            }
            if (found) break;
          }
          if (found) break;
        }
        if (found) break;
      }
    }
  }
  return found;
}

std::shared_ptr<UIImage> KMWebDAVFileManager::iconForFileExtension(const std::optional<std::string>& extension) {
  const std::string key = extension ? lowerCase(*extension) : std::string();
  if (m_fileIconCache) {
    if (auto found = m_fileIconCache->find(key); found != m_fileIconCache->end()) return found->second;
  }
  std::shared_ptr<UIImage> image;
  if (auto name = iconImageNameForExtension(key)) {
    image = UIImage::imageNamed(*name);
  } else if (auto path = key.empty() ? std::nullopt : desktopIconPathForExtension(key)) {
    image = UIImage::imageWithContentsOfFile(*path);
  }
  if (!image) image = UIImage::imageNamed("filetype_icon_unknown.png");
  if (!m_fileIconCache) m_fileIconCache.emplace();
  m_fileIconCache->insert_or_assign(key, image);
  return image;
}

std::shared_ptr<UIImage> KMWebDAVFileManager::iconForFileWithURL(const URL& url) {
  if (url.isFileURL()) return iconForFileExtension(url.pathExtension());
  auto local = m_storage->fileURLForWebURL(url);
  return iconForFileExtension(local ? local->pathExtension() : url.pathExtension());
}

std::shared_ptr<UIImage> KMWebDAVFileManager::iconForFileItem(const KMFileItem& item) {
  if (typeid(item) == typeid(KMFile)) {
    if (auto preview = cachedPreviewForFileItemLoadingIfNeeded(item)) return preview;
    return iconForFileExtension(item.URL().pathExtension());
  }
  return UIImage::imageNamed("Directory.png");
}
