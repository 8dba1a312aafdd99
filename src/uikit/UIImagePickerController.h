#pragma once
// The platform's own picker of one picture or video, and its camera. The
// toolkit does not draw it: the host shows whatever the desktop offers (a
// file chooser window) and reports back what was picked. Without a host
// that offers a source, that source is unavailable.
//
//   made --present--> presented --host reports pick or cancel--> finished
// The delegate hears exactly one of the two reports, on the main thread; it
// is held weakly, and the picker keeps itself alive while presented.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "graphics/UIImage.h"
#include "platform/URL.h"

namespace kdisk {

class UIImagePickerController;

enum class UIImagePickerControllerSourceType { PhotoLibrary, Camera, SavedPhotosAlbum };

// Media types, by their uniform type identifiers.
inline constexpr const char* kUTTypeImage = "public.image";
inline constexpr const char* kUTTypeMovie = "public.movie";

// What one pick hands over: a file (picked from disk, stored as it is), or
// for a capture that exists only as pixels, the image itself.
struct UIImagePickerMediaInfo {
  std::string mediaType;  // kUTTypeImage or kUTTypeMovie
  std::optional<URL> mediaURL;
  std::shared_ptr<UIImage> originalImage;
};

class UIImagePickerControllerDelegate {
 public:
  virtual ~UIImagePickerControllerDelegate() = default;
  virtual void imagePickerControllerDidFinishPickingMediaWithInfo(UIImagePickerController& picker,
                                                                  const UIImagePickerMediaInfo& info) {
    (void)picker, (void)info;
  }
  virtual void imagePickerControllerDidCancel(UIImagePickerController& picker) { (void)picker; }
};

class UIImagePickerController : public std::enable_shared_from_this<UIImagePickerController> {
 public:
  // What a host implements: which sources it has, and showing the picker.
  class Host {
   public:
    virtual ~Host() = default;
    virtual bool isSourceTypeAvailable(UIImagePickerControllerSourceType type) const = 0;
    // Shows the picker; the host later calls finishPickingMediaWithInfo or
    // cancel on it, once.
    virtual void present(const std::shared_ptr<UIImagePickerController>& picker) = 0;
  };
  // The host lives longer than any picker it shows; null removes it.
  static void setHost(Host* host);
  static Host* host();

  static bool isSourceTypeAvailable(UIImagePickerControllerSourceType type);

  UIImagePickerControllerSourceType sourceType() const { return m_sourceType; }
  void setSourceType(UIImagePickerControllerSourceType type) { m_sourceType = type; }
  const std::vector<std::string>& mediaTypes() const { return m_mediaTypes; }
  void setMediaTypes(std::vector<std::string> types) { m_mediaTypes = std::move(types); }
  // What the desktop's chooser window says at its top.
  const std::string& title() const { return m_title; }
  void setTitle(std::string title) { m_title = std::move(title); }
  bool allowsEditing() const { return m_allowsEditing; }
  void setAllowsEditing(bool allows) { m_allowsEditing = allows; }
  std::shared_ptr<UIImagePickerControllerDelegate> delegate() const { return m_delegate.lock(); }
  void setDelegate(std::weak_ptr<UIImagePickerControllerDelegate> delegate) { m_delegate = std::move(delegate); }

  // False (and nothing shown) when the source is unavailable or the picker
  // is already showing.
  bool present();
  bool isPresented() const { return m_presented; }

  // Host reports; ignored unless presented.
  void finishPickingMediaWithInfo(const UIImagePickerMediaInfo& info);
  void cancel();

 private:
  std::shared_ptr<UIImagePickerController> finish();

  UIImagePickerControllerSourceType m_sourceType = UIImagePickerControllerSourceType::PhotoLibrary;
  std::vector<std::string> m_mediaTypes{kUTTypeImage};
  std::string m_title;
  bool m_allowsEditing = false;
  std::weak_ptr<UIImagePickerControllerDelegate> m_delegate;
  bool m_presented = false;
  std::shared_ptr<UIImagePickerController> m_keepAlive;
};

}  // namespace kdisk
