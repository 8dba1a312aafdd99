#include "screens/viewing/KMUploadFileDialog.h"

#include <atomic>

#include "graphics/UIImageRepresentation.h"
#include "manager/KMUploadQueue.h"
#include "manager/KMWebDAVFileManager.h"
#include "platform/Bundle.h"
#include "platform/DispatchQueue.h"
#include "platform/Log.h"
#include "platform/RunLoop.h"
#include "screens/viewing/ELCAlbumPickerController.h"
#include "settings/KMSettings.h"
#include "uikit/KMAppearanceHelper.h"
#include "uikit/UIAlertViewAutoDismiss.h"
#include "uikit/UIApplication.h"
#include "uikit/UIBarButtonItem.h"
#include "uikit/UINavigationController.h"
#include "uikit/UINavigationItem.h"
#include "webdav/KMDirectory.h"

namespace kdisk {

namespace {

constexpr const char* kTable = "KMUploadFileDialog";
constexpr CGFloat kMargin = 10;
constexpr CGFloat kNameHeight = 36;
constexpr CGFloat kButtonHeight = 44;
constexpr double kJPEGQuality = 0.8;

auto log() { return logger("KMUploadFileDialog", LogLevel::Info); }

UIColor colorFromSettings(KMSettingsColor color) {
  return UIColor::colorWithRGB255(color.red, color.green, color.blue, color.alpha);
}

std::shared_ptr<UIImage> stretchedFromCentre(const char* name) {
  auto image = UIImage::imageNamed(name);
  if (!image) return nullptr;
  return image->stretchableImageWithLeftCapWidthTopCapHeight(int(image->size().width / 2),
                                                             int(image->size().height / 2));
}

}  // namespace

KMUploadFileDialog::KMUploadFileDialog(URL dirURL) : m_dirURL(std::move(dirURL)) {}
KMUploadFileDialog::~KMUploadFileDialog() = default;

std::shared_ptr<KMWebDAVFileManager> KMUploadFileDialog::fileManager() {
  if (!m_fileManager) m_fileManager = KMWebDAVFileManager::sharedInstance();
  return m_fileManager;
}

std::string KMUploadFileDialog::directoryDisplayName() const {
  std::string path = m_dirURL.path();
  if (path.size() > 1 && path.back() == '/') path.pop_back();
  if (auto standard = KMDirectory::localizedNameForFolderWithPath(path)) return *standard;
  return m_dirURL.lastPathComponent();
}

void KMUploadFileDialog::loadView() {
  auto view = std::make_shared<UIView>(CGRectMake(0, 0, 320, 416));
  view->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
  setView(view);
}

std::shared_ptr<UIButton> KMUploadFileDialog::makeGroupButton(const char* textKey, const char* fallback,
                                                              const char* icon, const char* background,
                                                              void (KMUploadFileDialog::*action)()) {
  auto button = UIButton::buttonWithType(UIButtonType::Custom);
  button->setTitleForState(KMLocalizedString(textKey, fallback, kTable), UIControlStateNormal);
  button->setTitleColorForState(UIColor::colorWithRGB255(58, 78, 93), UIControlStateNormal);
  button->titleLabel().setFont(UIFont::boldSystemFontOfSize(16));
  button->setImageForState(UIImage::imageNamed(icon), UIControlStateNormal);
  button->setBackgroundImageForState(stretchedFromCentre(background), UIControlStateNormal);
  button->setBackgroundImageForState(stretchedFromCentre((std::string(background) + "_pressed").c_str()),
                                     UIControlStateHighlighted);
  button->setContentHorizontalAlignment(UIControlContentHorizontalAlignment::Left);
  button->setContentEdgeInsets(UIEdgeInsets{0, 12, 0, 12});
  // Shifted, not narrowed: the negative right inset gives back what the left takes.
  button->setTitleEdgeInsets(UIEdgeInsets{0, 12, 0, -12});
  button->setAdjustsImageWhenHighlighted(false);
  button->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
  std::weak_ptr<KMUploadFileDialog> weak = std::static_pointer_cast<KMUploadFileDialog>(sharedController());
  button->addActionForControlEvents(
      [weak, action](UIControl&) {
        if (auto self = weak.lock()) ((*self).*action)();
      },
      UIControlEventTouchUpInside);
  return button;
}

void KMUploadFileDialog::viewDidLoad() {
  UIViewController::viewDidLoad();
  view()->setBackgroundColor(UIColor::colorWithPatternImage(
      UIImage::imageNamed(KMSettings::defaultBackgroundTextureImageName())));
  setTitle(KMLocalizedString("NavigationItemTitleText", "Добавить", kTable));
  auto* appearance = KMAppearanceHelper::sharedInstance();
  if (auto* navigation = navigationController()) {
    navigation->navigationBar().setTintColor(colorFromSettings(KMSettings::defaultTintColor()));
    if (appearance) appearance->setNavbarBackgroundRegular(&navigation->navigationBar());
  }
  std::weak_ptr<KMUploadFileDialog> weak = std::static_pointer_cast<KMUploadFileDialog>(sharedController());
  auto cancel = UIBarButtonItem::itemWithBarButtonSystemItemAction(UIBarButtonSystemItem::Cancel, [weak](auto&) {
    if (auto self = weak.lock()) self->cancelButtonTouched();
  });
  if (appearance) appearance->setNavbarButtonBackgroundRegular(cancel.get());
  navigationItem().setLeftBarButtonItemAnimated(cancel);

  const CGFloat width = view()->bounds().size.width;
  m_directoryNameBackground = std::make_shared<UIImageView>(
      CGRectMake(kMargin, 2 * kMargin, width - 2 * kMargin, kNameHeight));
  m_directoryNameBackground->setImage(stretchedFromCentre("folder_name_bg"));
  m_directoryNameBackground->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
  view()->addSubview(m_directoryNameBackground);
  m_directoryNameLabel = std::make_shared<UILabel>(CGRectInset(m_directoryNameBackground->frame(), kMargin, 0));
  m_directoryNameLabel->setText(directoryDisplayName());
  m_directoryNameLabel->setFont(UIFont::boldSystemFontOfSize(15));
  m_directoryNameLabel->setTextColor(UIColor::colorWithRGB255(58, 78, 93));
  m_directoryNameLabel->setTextAlignment(NSTextAlignment::Center);
  m_directoryNameLabel->setLineBreakMode(NSLineBreakMode::TruncatingMiddle);
  m_directoryNameLabel->setBackgroundColor(UIColor::clearColor());
  m_directoryNameLabel->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
  view()->addSubview(m_directoryNameLabel);

  m_buttonGallery = makeGroupButton("ButtonGalleryText", "Фото и видео из галереи", "galery_icon.png", "group_top",
                                    &KMUploadFileDialog::libraryButtonTouched);
  m_buttonMakePhoto = makeGroupButton("ButtonCameraText", "Снять фото или видео", "camera_icon.png",
                                      "group_center", &KMUploadFileDialog::photoButtonTouched);
  m_buttonMakeFolder = makeGroupButton("ButtonMakeFolderText", "Создать папку", "add_folder_icon.png",
                                       "group_bottom", &KMUploadFileDialog::createDirectoryButtonTouched);
  CGFloat y = CGRectGetMaxY(m_directoryNameBackground->frame()) + 2 * kMargin;
  for (auto& button : {m_buttonGallery, m_buttonMakePhoto, m_buttonMakeFolder}) {
    button->setFrame(CGRectMake(kMargin, y, width - 2 * kMargin, kButtonHeight));
    view()->addSubview(button);
    y += kButtonHeight;
  }

  m_smallBottomBar = std::make_shared<UIImageView>(UIImage::imageNamed("bottom_bar"));
  const CGFloat barHeight = m_smallBottomBar->image() ? std::min<CGFloat>(m_smallBottomBar->image()->size().height, 8) : 8;
  m_smallBottomBar->setFrame(CGRectMake(0, view()->bounds().size.height - barHeight, width, barHeight));
  m_smallBottomBar->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleTopMargin);
  view()->addSubview(m_smallBottomBar);
}

void KMUploadFileDialog::viewDidUnload() {
  UIViewController::viewDidUnload();
  m_directoryNameLabel.reset();
  m_directoryNameBackground.reset();
  m_buttonGallery.reset();
  m_buttonMakePhoto.reset();
  m_buttonMakeFolder.reset();
  m_smallBottomBar.reset();
}

void KMUploadFileDialog::showMessage(const std::string& message) {
  auto alert = std::make_shared<UIAlertViewAutoDismiss>(std::string(), message, std::weak_ptr<UIAlertViewDelegate>(),
                                                        KMLocalizedString("OK", "OK"), std::vector<std::string>{});
  alert->show();
}

// ---- Library

void KMUploadFileDialog::libraryButtonTouched() { openLibraryDialogUsingCustomOrStandartPicker(); }

void KMUploadFileDialog::openLibraryDialogUsingCustomOrStandartPicker() {
  // A second tap while the library is still being read would open two pickers.
  if (m_openingLibrary) return;
  m_openingLibrary = true;
  std::weak_ptr<KMUploadFileDialog> weak = std::static_pointer_cast<KMUploadFileDialog>(sharedController());
  auto opened = std::make_shared<std::atomic<bool>>(false);
  auto open = [weak, opened](void (KMUploadFileDialog::*how)()) {
    if (opened->exchange(true)) return;
    dispatchMain([weak, how] {
      if (auto self = weak.lock()) {
        self->m_openingLibrary = false;
        ((*self).*how)();
      }
    });
  };
  PhotoLibrary().enumerateGroups(
      [open](const PhotoAlbum&) { open(&KMUploadFileDialog::openLibraryWithELCImagePicker); },
      // A library with no album at all has nothing to show in our picker; the
      // desktop's chooser can still reach files elsewhere.
      [open] { open(&KMUploadFileDialog::openLibraryWithStandartImagePicker); },
      [open](const KMError& error) {
        log()->info("The photo library cannot be read ({}); using the platform picker", error.localizedDescription);
        open(&KMUploadFileDialog::openLibraryWithStandartImagePicker);
      });
}

void KMUploadFileDialog::openLibraryWithELCImagePicker() {
  auto albums = std::make_shared<ELCAlbumPickerController>();
  auto picker = std::make_shared<ELCImagePickerController>(albums);
  albums->setParent(picker.get());
  picker->setPickerDelegate(std::static_pointer_cast<KMUploadFileDialog>(sharedController()));
  picker->navigationBar().setTintColor(colorFromSettings(KMSettings::defaultTintColor()));
  presentViewControllerAnimatedCompletion(picker, KMAnimated::Yes);
}

void KMUploadFileDialog::openLibraryWithStandartImagePicker() {
  if (!UIImagePickerController::isSourceTypeAvailable(UIImagePickerControllerSourceType::PhotoLibrary)) {
    showMessage(KMLocalizedString("LibraryCantStartAlertMessage", "Не удалось открыть галерею.", kTable));
    return;
  }
  if (auto* appearance = KMAppearanceHelper::sharedInstance()) appearance->resetCustomAppearance();
  auto picker = std::make_shared<UIImagePickerController>();
  picker->setSourceType(UIImagePickerControllerSourceType::PhotoLibrary);
  picker->setAllowsEditing(false);
  picker->setMediaTypes({kUTTypeImage, kUTTypeMovie});
  picker->setTitle(KMLocalizedString("ButtonGalleryText", "Фото и видео из галереи", kTable));
  picker->setDelegate(std::static_pointer_cast<KMUploadFileDialog>(sharedController()));
  picker->present();
}

void KMUploadFileDialog::elcImagePickerControllerDidFinishPickingMediaWithAssets(ELCImagePickerController&,
                                                                                 const PhotoAssetList& assets) {
  dismissViewControllerAnimatedCompletion(KMAnimated::Yes);
  if (assets.empty()) return;
  fileManager()->uploadFilesForAssetsToDir(assets, m_dirURL);
  notifyDelegateThatUploadWasStarted();
}

void KMUploadFileDialog::elcImagePickerControllerDidCancel(ELCImagePickerController&) {
  dismissViewControllerAnimatedCompletion(KMAnimated::Yes);
}

// ---- Camera and the platform's picker

void KMUploadFileDialog::photoButtonTouched() {
  if (!UIImagePickerController::isSourceTypeAvailable(UIImagePickerControllerSourceType::Camera)) {
    showMessage(KMLocalizedString("CameraCantStartAlertMessage", "Не удалось включить камеру.", kTable));
    return;
  }
  auto picker = std::make_shared<UIImagePickerController>();
  picker->setSourceType(UIImagePickerControllerSourceType::Camera);
  picker->setAllowsEditing(false);
  picker->setDelegate(std::static_pointer_cast<KMUploadFileDialog>(sharedController()));
  picker->present();
}

void KMUploadFileDialog::imagePickerControllerDidFinishPickingMediaWithInfo(UIImagePickerController&,
                                                                            const UIImagePickerMediaInfo& info) {
  auto keepAlive = sharedController();
  // The run clock, so that names follow the test clock too.
  const std::string name =
      manager::KMUploadQueue::fileNameDateFormatter().stringFromDate(Date{RunLoop::main().now()});
  std::optional<KMError> failure;
  if (info.mediaURL) {
    // A file is sent as it is: the user's bytes, never re-encoded.
    const std::string extension = info.mediaURL->pathExtension();
    const URL target = m_dirURL.appendingPathComponent(extension.empty() ? name : name + "." + extension);
    auto queued = fileManager()->uploadFileForFileURLTo(*info.mediaURL, target);
    if (!queued.hasValue()) failure = queued.error();
  } else if (info.originalImage) {
    auto jpeg = UIImageJPEGRepresentation(info.originalImage.get(), kJPEGQuality);
    if (!jpeg) {
      failure = KMError(kTable, 1, "The picture could not be encoded.");
    } else {
      auto queued = fileManager()->uploadFileWithDataTo(
          std::string_view(reinterpret_cast<const char*>(jpeg->data()), jpeg->size()),
          m_dirURL.appendingPathComponent(name + ".jpg"));
      if (!queued.hasValue()) failure = queued.error();
    }
  }
  UIApplication::sharedApplication().setStatusBarHidden(false);
  if (failure) {
    log()->warn("Cannot queue the picked item: {}", failure->localizedDescription);
    showMessage(failure->localizedDescription);
    return;
  }
  notifyDelegateThatUploadWasStarted();
}

void KMUploadFileDialog::imagePickerControllerDidCancel(UIImagePickerController&) {
  UIApplication::sharedApplication().setStatusBarHidden(false);
}

// ---- New folder

void KMUploadFileDialog::createDirectoryButtonTouched() {
  auto dialog = std::make_shared<KMCreateDirectoryDialog>();
  dialog->setDelegate(std::static_pointer_cast<KMUploadFileDialog>(sharedController()));
  dialog->setParentDirURL(m_dirURL);
  if (m_fileManager) dialog->setFileManagerForTesting(m_fileManager);
  presentViewControllerAnimatedCompletion(std::make_shared<UINavigationController>(dialog), KMAnimated::Yes);
}

void KMUploadFileDialog::createDirectoryDialogDidCreateDirectoryWithName(KMCreateDirectoryDialog&,
                                                                         const std::string&) {
  // The presenter dismisses this dialog; the folder dialog above it goes first.
  dismissViewControllerAnimatedCompletion(KMAnimated::No);
  notifyDelegateThatUploadWasStarted();
}

void KMUploadFileDialog::createDirectoryDialogDidCancel(KMCreateDirectoryDialog&) {
  dismissViewControllerAnimatedCompletion(KMAnimated::Yes);
}

void KMUploadFileDialog::cancelButtonTouched() {
  auto keepAlive = sharedController();
  if (auto delegate = m_delegate.lock()) delegate->didCancelUploadFileDialog(*this);
}

void KMUploadFileDialog::notifyDelegateThatUploadWasStarted() {
  auto keepAlive = sharedController();
  if (auto delegate = m_delegate.lock()) delegate->didStartUploadFiles(*this);
}

}  // namespace kdisk
