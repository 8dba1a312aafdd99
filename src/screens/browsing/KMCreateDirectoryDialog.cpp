#include "screens/browsing/KMCreateDirectoryDialog.h"

#include "manager/KMWebDAVFileManager.h"
#include "platform/Bundle.h"
#include "settings/KMSettings.h"
#include "uikit/KMAppearanceHelper.h"
#include "uikit/UIAlertViewAutoDismiss.h"
#include "uikit/UIBarButtonItem.h"
#include "uikit/UINavigationController.h"
#include "uikit/UINavigationItem.h"

namespace kdisk {

namespace {

constexpr const char* kTable = "KMCreateDirectoryDialog";
constexpr CGFloat kFieldMargin = 10;

bool isContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

std::size_t characterCount(const std::string& text) {
  std::size_t count = 0;
  for (char c : text)
    if (!isContinuationByte(c)) ++count;
  return count;
}

// The first `count` characters, never cutting one in half.
std::string firstCharacters(const std::string& text, std::size_t count) {
  std::size_t end = 0;
  for (std::size_t seen = 0; end < text.size(); ++end) {
    if (!isContinuationByte(text[end]) && seen++ == count) break;
  }
  return text.substr(0, end);
}

// The code point starting at `at` and its length in bytes; a broken sequence
// counts as one byte that is no white space.
std::pair<char32_t, std::size_t> codePointAt(const std::string& text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  if (at + length > text.size()) return {0xFFFD, 1};
  char32_t value = length == 1 ? lead : lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if (!isContinuationByte(text[at + i])) return {0xFFFD, 1};
    value = (value << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3F);
  }
  return {value, length};
}

// Unicode's white space and line breaks (including the no-break spaces a
// paste from a web page brings along).
bool isWhitespaceOrNewline(char32_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
         c == 0x3000;
}

std::string trimmed(const std::string& text) {
  std::size_t start = 0;
  while (start < text.size()) {
    auto [c, length] = codePointAt(text, start);
    if (!isWhitespaceOrNewline(c)) break;
    start += length;
  }
  std::size_t end = start;
  for (std::size_t at = start; at < text.size();) {
    auto [c, length] = codePointAt(text, at);
    at += length;
    if (!isWhitespaceOrNewline(c)) end = at;
  }
  return text.substr(start, end - start);
}

UIColor colorFromSettings(KMSettingsColor color) {
  return UIColor::colorWithRGB255(color.red, color.green, color.blue, color.alpha);
}

std::string defaultFolderName() { return KMLocalizedString("DefaultFolderName", "Новая папка", kTable); }

}  // namespace

KMCreateDirectoryDialog::KMCreateDirectoryDialog() = default;
KMCreateDirectoryDialog::~KMCreateDirectoryDialog() = default;

std::shared_ptr<KMWebDAVFileManager> KMCreateDirectoryDialog::fileManager() {
  if (!m_fileManager) m_fileManager = KMWebDAVFileManager::sharedInstance();
  return m_fileManager;
}

void KMCreateDirectoryDialog::loadView() {
  auto view = std::make_shared<UIView>(CGRectMake(0, 0, 320, 416));
  view->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
  setView(view);
}

void KMCreateDirectoryDialog::viewDidLoad() {
  UIViewController::viewDidLoad();
  view()->setBackgroundColor(UIColor::colorWithPatternImage(
      UIImage::imageNamed(KMSettings::defaultBackgroundTextureImageName())));
  auto* appearance = KMAppearanceHelper::sharedInstance();
  if (auto* navigation = navigationController()) {
    navigation->navigationBar().setTintColor(colorFromSettings(KMSettings::defaultTintColor()));
    if (appearance) appearance->setNavbarBackgroundRegular(&navigation->navigationBar());
  }
  setTitle(KMLocalizedString("NewFolderDialogTitle", "Новая папка", kTable));
  std::weak_ptr<KMCreateDirectoryDialog> weak =
      std::static_pointer_cast<KMCreateDirectoryDialog>(sharedController());
  auto cancel = UIBarButtonItem::itemWithBarButtonSystemItemAction(UIBarButtonSystemItem::Cancel, [weak](auto&) {
    if (auto self = weak.lock()) self->cancelButtonTouched();
  });
  auto done = UIBarButtonItem::itemWithBarButtonSystemItemAction(UIBarButtonSystemItem::Done, [weak](auto&) {
    if (auto self = weak.lock()) self->doneButtonTouched();
  });
  if (appearance) {
    appearance->setNavbarButtonBackgroundRegular(cancel.get());
    appearance->setNavbarButtonBackgroundRegular(done.get());
  }
  navigationItem().setLeftBarButtonItemAnimated(cancel);
  navigationItem().setRightBarButtonItemAnimated(done);

  m_folderName = std::make_shared<KATextField>(CGRectZero);
  m_folderName->setDelegate(std::static_pointer_cast<KMCreateDirectoryDialog>(sharedController()));
  m_folderName->setReturnKeyType(UIReturnKeyType::Done);
  m_folderName->setBorderStyle(UITextBorderStyle::None);
  if (auto box = UIImage::imageNamed("text_box_active")) {
    m_folderName->setBackground(box->stretchableImageWithLeftCapWidthTopCapHeight(
        int(box->size().width / 2), int(box->size().height / 2)));
  }
  m_folderName->setPlaceholder(defaultFolderName());
  m_folderName->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
  layoutField();
  view()->addSubview(m_folderName);
}

void KMCreateDirectoryDialog::layoutField() {
  const CGRect bounds = view()->bounds();
  m_folderName->setFrame(
      CGRectMake(kFieldMargin, 2 * kFieldMargin, bounds.size.width - 2 * kFieldMargin, kFieldHeight));
}

void KMCreateDirectoryDialog::viewDidUnload() {
  UIViewController::viewDidUnload();
  m_folderName.reset();
}

void KMCreateDirectoryDialog::viewWillAppear(KMAnimated animated) {
  UIViewController::viewWillAppear(animated);
  if (m_folderName) m_folderName->becomeFirstResponder();
}

// The field can only take the focus once it is in the window.
void KMCreateDirectoryDialog::viewDidAppear(KMAnimated animated) {
  UIViewController::viewDidAppear(animated);
  if (m_folderName && !m_folderName->isFirstResponder()) m_folderName->becomeFirstResponder();
}

bool KMCreateDirectoryDialog::textFieldShouldChangeCharactersInRangeReplacementString(
    UITextField& field, NSRange range, const std::string& replacement) {
  std::string result = field.text();
  if (range.location > result.size()) return false;
  result.replace(range.location, std::min(range.length, result.size() - range.location), replacement);
  return characterCount(result) <= kMaximumNameLength;
}

bool KMCreateDirectoryDialog::textFieldShouldReturn(UITextField& field) {
  field.resignFirstResponder();
  createDirectoryWithName(field.text());
  return false;
}

bool KMCreateDirectoryDialog::isFolderNameContainsInvalidSymbols(const std::string& text) {
  return text.find('/') != std::string::npos;
}

std::string KMCreateDirectoryDialog::folderNameForText(const std::string& text) {
  std::string name = trimmed(text);
  if (name.empty()) name = defaultFolderName();
  if (characterCount(name) > kMaximumNameLength) name = firstCharacters(name, kMaximumNameLength);
  return name;
}

void KMCreateDirectoryDialog::createDirectoryWithName(const std::string& text) {
  if (isFolderNameContainsInvalidSymbols(text)) {
    auto alert = std::make_shared<UIAlertViewAutoDismiss>(
        KMLocalizedString("Disk", "Диск", "DiskCommon"),
        KMLocalizedString("Folder name contains invalid symbols.", "Имя папки содержит недопустимые символы.",
                          kTable),
        std::static_pointer_cast<KMCreateDirectoryDialog>(sharedController()),
        KMLocalizedString("OK", "OK"), std::vector<std::string>{});
    alert->show();
    return;
  }
  const std::string name = folderNameForText(text);
  auto keepAlive = sharedController();
  if (m_parentDirURL) fileManager()->createDirectoryWithNameAt(name, *m_parentDirURL);
  if (auto delegate = m_delegate.lock()) delegate->createDirectoryDialogDidCreateDirectoryWithName(*this, name);
}

void KMCreateDirectoryDialog::alertViewDidDismissWithButtonIndex(UIAlertView&, int) {
  if (m_folderName) m_folderName->becomeFirstResponder();
}

void KMCreateDirectoryDialog::cancelButtonTouched() {
  auto keepAlive = sharedController();
  if (auto delegate = m_delegate.lock()) delegate->createDirectoryDialogDidCancel(*this);
}

void KMCreateDirectoryDialog::doneButtonTouched() {
  if (m_folderName) createDirectoryWithName(m_folderName->text());
}

}  // namespace kdisk
