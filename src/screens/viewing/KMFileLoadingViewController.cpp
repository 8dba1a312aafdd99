#include "screens/viewing/KMFileLoadingViewController.h"

#include <algorithm>

#include "foundation/KLApplicationLocale.h"
#include "manager/KMWebDAVFileManager.h"
#include "platform/Bundle.h"
#include "platform/NotificationCenter.h"
#include "screens/viewing/KACustomViewer.h"
#include "screens/viewing/KMFormattedText.h"
#include "uikit/KMAppearanceHelper.h"
#include "uikit/CALayer.h"
#include "uikit/UIActivityIndicatorView.h"
#include "uikit/UIAlertViewAutoDismiss.h"
#include "uikit/UIApplication.h"
#include "uikit/UIBarButtonItem.h"
#include "uikit/UILabel.h"
#include "uikit/UINavigationController.h"
#include "uikit/UINavigationItem.h"
#include "webdav/KMDiskRequest.h"

namespace kdisk {

namespace {

constexpr const char* kTable = "KMFileLoadingViewController";

std::string text(std::string_view key, std::string_view fallback) {
  return KMLocalizedString(key, fallback, kTable);
}

std::shared_ptr<UILabel> makeLabel(UIFont font, UIColor color, int lines) {
  auto label = std::make_shared<UILabel>();
  label->setFont(font);
  label->setTextColor(color);
  label->setBackgroundColor(UIColor::clearColor());
  label->setTextAlignment(NSTextAlignment::Center);
  label->setNumberOfLines(lines);
  if (lines != 1) label->setLineBreakMode(NSLineBreakMode::WordWrap);
  label->setShadowColor(UIColor::whiteColor());
  label->setShadowOffset(CGSizeMake(0, 1));
  return label;
}

// A panel of a title and an explanation, as the failed and unknown-file views are.
std::shared_ptr<UIView> makePanel(std::shared_ptr<UILabel>& title, std::shared_ptr<UILabel>& body) {
  auto panel = std::make_shared<UIView>(CGRectMake(20, 110, 280, 150));
  panel->setBackgroundColor(UIColor::clearColor());
  panel->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleTopMargin |
                             UIViewAutoresizingFlexibleBottomMargin);
  title = makeLabel(UIFont::boldSystemFontOfSize(18), UIColor::colorWithRGB255(60, 60, 60), 2);
  title->setFrame(CGRectMake(0, 0, 280, 50));
  title->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
  body = makeLabel(UIFont::systemFontOfSize(15), UIColor::colorWithRGB255(110, 110, 110), 0);
  body->setFrame(CGRectMake(0, 56, 280, 90));
  body->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
  panel->addSubview(title);
  panel->addSubview(body);
  return panel;
}

}  // namespace

std::shared_ptr<KMFileLoadingViewController> KMFileLoadingViewController::initWithURL(const kdisk::URL& url) {
  return initWithURLManager(url, KMWebDAVFileManager::sharedInstance());
}

std::shared_ptr<KMFileLoadingViewController> KMFileLoadingViewController::initWithURLManager(
    const kdisk::URL& url, std::shared_ptr<KMWebDAVFileManager> manager) {
  return std::make_shared<KMFileLoadingViewController>(url, std::move(manager));
}

KMFileLoadingViewController::KMFileLoadingViewController(const kdisk::URL& url,
                                                         std::shared_ptr<KMWebDAVFileManager> manager)
    : m_URL(url), m_manager(std::move(manager)) {
  setHidesBottomBarWhenPushed(true);
}

KMFileLoadingViewController::~KMFileLoadingViewController() {
  if (m_delayedStart) RunLoop::main().cancel(m_delayedStart);
  cancelCurrentDownload();
  if (m_state == KMFileLoadingStateWaiting || m_state == KMFileLoadingStateProgress)
    UIApplication::sharedApplication().setIdleTimerDisabled(false);
}

std::weak_ptr<KMFileLoadingViewController> KMFileLoadingViewController::weakSelf() {
  return std::static_pointer_cast<KMFileLoadingViewController>(sharedController());
}

void KMFileLoadingViewController::setState(int state) {
  if (state == m_state) return;
  m_state = state;
  updateInterfaceForCurrentState();
}

void KMFileLoadingViewController::startDownloadFileForURL(const kdisk::URL& url) {
  cancelCurrentDownload();
  if (m_manager) m_downloadingRequest = m_manager->startDownloadFileForURL(url);
}

void KMFileLoadingViewController::cancelCurrentDownload() {
  if (m_downloadingRequest) m_downloadingRequest->cancel();
  m_downloadingRequest.reset();
}

void KMFileLoadingViewController::touchedReloadButton() {
  setState(KMFileLoadingStateWaiting);
  startDownloadFileForURL(m_URL);
}

std::optional<kdisk::URL> KMFileLoadingViewController::localFileURL() const {
  if (!m_manager || !m_manager->storage()) return std::nullopt;
  return m_manager->storage()->fileURLForWebURL(m_URL);
}

void KMFileLoadingViewController::touchedOpenInButton() {
  auto local = localFileURL();
  if (local) {
    m_doc = UIDocumentInteractionController::interactionControllerWithURL(*local);
    m_doc->setDelegate(std::static_pointer_cast<KMFileLoadingViewController>(sharedController()));
    if (m_doc->presentOpenInMenuFromRectInViewAnimated(view()->bounds(), *view(), KMAnimated::Yes)) return;
  }
  showAlert(text("AttachCantShowAlertMessage", "Нет приложений, которые могут открыть этот файл."));
}

void KMFileLoadingViewController::documentInteractionControllerDidFailToSendToApplication(
    UIDocumentInteractionController& controller, const DesktopApplication& application, const KMError& error) {
  (void)controller, (void)application, (void)error;
  showAlert(text("AttachCantShowAlertMessage", "Нет приложений, которые могут открыть этот файл."));
}

void KMFileLoadingViewController::showAlert(const std::string& message) {
  auto alert = std::make_shared<UIAlertViewAutoDismiss>(std::string(), message, std::weak_ptr<UIAlertViewDelegate>(),
                                                        KMLocalizedString("OK", "OK"), std::vector<std::string>());
  alert->show();
}

bool KMFileLoadingViewController::isMine(const Notification& notification) const {
  return stringForKey(notification.userInfo, "URL") == m_URL.absoluteString();
}

void KMFileLoadingViewController::didGetPartialDataForFile(const Notification& notification) {
  // Reports are posted from several background threads, so one may arrive
  // after the outcome; only a running download moves the bar.
  if (!isMine(notification) || !m_downloadingRequest) return;
  const auto received = std::uint64_t(std::max<std::int64_t>(0, integerForKey(notification.userInfo, "receivedDataLength").value_or(0)));
  const auto expected = std::uint64_t(std::max<std::int64_t>(0, integerForKey(notification.userInfo, "expectedDataLength").value_or(0)));
  if (expected <= kProgressThreshold) return;
  if (received < expected) setState(KMFileLoadingStateProgress);
  if (!isViewLoaded()) return;
  m_progressLabel->setText(KMFormattedText("%@ %@ %@", {LocalizedFileSizeStr(received),
                                                        text("ProgressLabelText", "из"),
                                                        LocalizedFileSizeStr(expected)}));
  const CGRect track = m_greyBar->frame();
  const double fraction = std::min(1.0, double(received) / double(expected));
  m_blueBar->setFrame(CGRectMake(track.origin.x, track.origin.y, track.size.width * fraction, track.size.height));
}

void KMFileLoadingViewController::didDownloadFile(const Notification& notification) {
  if (!isMine(notification)) return;
  m_downloadingRequest.reset();
  auto local = localFileURL();
  if (!local || !KACustomViewer::canPreviewItem(*local)) setState(KMFileLoadingStateCannotPreview);
}

void KMFileLoadingViewController::didFailToDownloadFile(const Notification& notification) {
  if (!isMine(notification)) return;
  m_downloadingRequest.reset();
  setState(KMFileLoadingStateFailed);
}

void KMFileLoadingViewController::loadView() {
  auto root = std::make_shared<UIView>(CGRectMake(0, 0, 320, 416));
  root->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);

  m_titleLabel = makeLabel(UIFont::boldSystemFontOfSize(18), UIColor::colorWithRGB255(60, 60, 60), 1);
  m_titleLabel->setFrame(CGRectMake(20, 140, 280, 26));
  m_titleLabel->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleTopMargin |
                                    UIViewAutoresizingFlexibleBottomMargin);
  root->addSubview(m_titleLabel);

  m_activityIndicator = std::make_shared<UIActivityIndicatorView>(UIActivityIndicatorViewStyle::Gray);
  m_activityIndicator->sizeToFit();
  m_activityIndicator->setCenter(CGPointMake(160, 196));
  m_activityIndicator->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin | UIViewAutoresizingFlexibleRightMargin |
                                           UIViewAutoresizingFlexibleTopMargin | UIViewAutoresizingFlexibleBottomMargin);
  root->addSubview(m_activityIndicator);

  m_progressBarView = std::make_shared<UIView>(CGRectMake(30, 180, 260, 50));
  m_progressBarView->setBackgroundColor(UIColor::clearColor());
  m_progressBarView->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleTopMargin |
                                         UIViewAutoresizingFlexibleBottomMargin);
  m_progressBackground = std::make_shared<UIView>(CGRectMake(0, 0, 260, 14));
  m_progressBackground->setBackgroundColor(UIColor::colorWithRGB255(255, 255, 255, 0.8));
  m_progressBackground->layer().setCornerRadius(7);
  m_progressBackground->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
  m_greyBar = std::make_shared<UIView>(CGRectMake(2, 2, 256, 10));
  m_greyBar->setBackgroundColor(UIColor::colorWithRGB255(200, 200, 200));
  m_greyBar->layer().setCornerRadius(5);
  m_greyBar->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
  m_blueBar = std::make_shared<UIView>(CGRectMake(2, 2, 0, 10));
  m_blueBar->setBackgroundColor(UIColor::colorWithRGB255(41, 128, 214));
  m_blueBar->layer().setCornerRadius(5);
  m_progressLabel = makeLabel(UIFont::systemFontOfSize(14), UIColor::colorWithRGB255(90, 90, 90), 1);
  m_progressLabel->setFrame(CGRectMake(0, 22, 260, 20));
  m_progressLabel->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
  m_progressBarView->addSubview(m_progressBackground);
  m_progressBarView->addSubview(m_greyBar);
  m_progressBarView->addSubview(m_blueBar);
  m_progressBarView->addSubview(m_progressLabel);
  root->addSubview(m_progressBarView);

  m_unknownFileView = makePanel(m_unknownFileViewTitleLabel, m_unknownFileViewTextLabel);
  m_failedFileView = makePanel(m_failedFileViewTitleLabel, m_failedFileViewTextLabel);
  root->addSubview(m_unknownFileView);
  root->addSubview(m_failedFileView);
  setView(root);
}

void KMFileLoadingViewController::viewDidLoad() {
  UIViewController::viewDidLoad();
  if (m_firstOpening) {
    m_progressBarView->setHidden(true);
    const CGRect track = m_greyBar->frame();
    m_blueBar->setFrame(CGRectMake(track.origin.x, track.origin.y, 0, track.size.height));
    m_titleLabel->setText(std::string());
    m_unknownFileView->setHidden(true);
    m_firstOpening = false;
  }
  m_failedFileView->setHidden(true);
  if (auto pattern = UIImage::imageNamed("groups"))
    view()->setBackgroundColor(UIColor::colorWithPatternImage(pattern));
  else
    view()->setBackgroundColor(UIColor::colorWithRGB255(232, 234, 237));
  if (auto* navigation = navigationController()) {
    if (auto* helper = KMAppearanceHelper::sharedInstance()) helper->setNavbarBackgroundGrey(&navigation->navigationBar());
  }
  navigationItem().setTitle(m_URL.lastPathComponent());

  m_reloadButton = UIBarButtonItem::itemWithTitleStyleAction(
      text("ReloadButtonTitle", "Повторить"), UIBarButtonItemStyle::Bordered,
      [weak = weakSelf()](UIBarButtonItem&) {
        if (auto self = weak.lock()) self->touchedReloadButton();
      });
  m_openInButton = UIBarButtonItem::itemWithImageStyleAction(
      UIImage::imageNamed("share_icon"), UIBarButtonItemStyle::Bordered, [weak = weakSelf()](UIBarButtonItem&) {
        if (auto self = weak.lock()) self->touchedOpenInButton();
      });

  auto& center = NotificationCenter::defaultCenter();
  std::weak_ptr<KMFileLoadingViewController> weak = weakSelf();
  m_partialObservation = center.addObserver(kKMKMWebDAVFileManagerDidGetPartialDataForFile, [weak](const Notification& n) {
    if (auto self = weak.lock()) self->didGetPartialDataForFile(n);
  });
  m_finishObservation = center.addObserver(kKMKMWebDAVFileManagerDidDownloadFile, [weak](const Notification& n) {
    if (auto self = weak.lock()) self->didDownloadFile(n);
  });
  m_failureObservation = center.addObserver(kKMKMWebDAVFileManagerDidFailToDownloadFile, [weak](const Notification& n) {
    if (auto self = weak.lock()) self->didFailToDownloadFile(n);
  });
  updateInterfaceForCurrentState();

  const bool cached = m_manager && m_manager->storage() && m_manager->storage()->hasCachedFileForURL(m_URL);
  if (!m_downloadingRequest && !cached && !m_delayedStart) {
    m_delayedStart = RunLoop::main().postDelayed(kDownloadStartDelay, [weak] {
      auto self = weak.lock();
      if (!self) return;
      self->m_delayedStart = 0;
      self->startDownloadFileForURL(self->m_URL);
    });
  }
}

void KMFileLoadingViewController::updateInterfaceForCurrentState() {
  const bool active = m_state == KMFileLoadingStateWaiting || m_state == KMFileLoadingStateProgress;
  UIApplication::sharedApplication().setIdleTimerDisabled(active);
  if (!isViewLoaded()) return;
  const bool waiting = m_state == KMFileLoadingStateWaiting;
  const bool progress = m_state == KMFileLoadingStateProgress;
  const bool failed = m_state == KMFileLoadingStateFailed;
  const bool unknown = m_state == KMFileLoadingStateCannotPreview;
  if (waiting)
    m_activityIndicator->startAnimating();
  else
    m_activityIndicator->stopAnimating();
  m_progressBarView->setHidden(!progress);
  m_titleLabel->setHidden(!active);
  if (active) m_titleLabel->setText(text("TitleLabelTextDownloadingFile", "Файл загружается"));
  m_failedFileView->setHidden(!failed);
  if (failed) {
    m_failedFileViewTitleLabel->setText(text("TitleLabelTextFailedToDownloadFile", "Не удалось загрузить файл"));
    m_failedFileViewTextLabel->setText(
        KMFormattedText(text("TitleLabelTextFailedToDownloadFileTip",
                             "Проверьте подключение к интернету и нажмите «%@», чтобы попробовать ещё раз."),
                        {text("ReloadButtonTitle", "Повторить")}));
  }
  m_unknownFileView->setHidden(!unknown);
  if (unknown) {
    m_unknownFileViewTitleLabel->setText(text("TitleLabelTextFailedToPreview", "Этот файл нельзя просмотреть"));
    m_unknownFileViewTextLabel->setText(text("TitleLabelTextFailedToPreviewTip",
                                             "Нажмите кнопку вверху справа, чтобы открыть его в другом приложении."));
  }
  m_openInButton->setEnabled(unknown);
  std::shared_ptr<UIBarButtonItem> right;
  if (failed) right = m_reloadButton;
  if (unknown) right = m_openInButton;
  navigationItem().setRightBarButtonItemAnimated(right, KMAnimated::No);
}

void KMFileLoadingViewController::viewWillDisappear(KMAnimated animated) {
  UIViewController::viewWillDisappear(animated);
  if (auto* navigation = navigationController()) {
    if (auto* helper = KMAppearanceHelper::sharedInstance()) helper->setNavbarBackgroundRegular(&navigation->navigationBar());
  }
  UIApplication::sharedApplication().setIdleTimerDisabled(false);
}

void KMFileLoadingViewController::viewDidUnload() {
  UIViewController::viewDidUnload();
  m_partialObservation.reset();
  m_finishObservation.reset();
  m_failureObservation.reset();
  m_titleLabel.reset();
  m_progressLabel.reset();
  m_greyBar.reset();
  m_blueBar.reset();
  m_progressBackground.reset();
  m_progressBarView.reset();
  m_unknownFileView.reset();
  m_unknownFileViewTitleLabel.reset();
  m_unknownFileViewTextLabel.reset();
  m_failedFileView.reset();
  m_failedFileViewTitleLabel.reset();
  m_failedFileViewTextLabel.reset();
  m_activityIndicator.reset();
}

}  // namespace kdisk
