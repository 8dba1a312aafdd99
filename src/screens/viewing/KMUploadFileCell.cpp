#include "screens/viewing/KMUploadFileCell.h"

#include <algorithm>

#include "foundation/KLApplicationLocale.h"
#include "platform/Bundle.h"
#include "platform/StringFormat.h"

namespace kdisk {

namespace {
constexpr const char* kTable = "KMUploadFileCell";
// The pie fills the circle inside its ring.
constexpr CGFloat kPieInset = 2;
}  // namespace

KMUploadFileCell::KMUploadFileCell(std::optional<std::string> reuseIdentifier)
    : KMGroupEditCell(UITableViewCellStyle::Subtitle, std::move(reuseIdentifier)) {
  textLabel().setFont(UIFont::boldSystemFontOfSize(16));
  updateCellToCurrentState();
}

KMUploadFileCell::~KMUploadFileCell() = default;

UIImageView& KMUploadFileCell::stateImageView(std::shared_ptr<UIImageView>& view, const char* imageName) {
  if (!view) {
    view = std::make_shared<UIImageView>(UIImage::imageNamed(imageName));
    view->setHidden(true);
    addSubview(view);
    setNeedsLayout();
  }
  return *view;
}

UIImageView& KMUploadFileCell::errorImageView() {
  return stateImageView(m_errorImageView, "action_circle_upload_fail");
}
UIImageView& KMUploadFileCell::uploadingImageView() {
  return stateImageView(m_uploadingImageView, "action_circle_upload");
}
UIImageView& KMUploadFileCell::standbyImageView() { return stateImageView(m_standbyImageView, "action_circle_empty"); }

KMPieProgressView& KMUploadFileCell::pieProgressView() {
  if (!m_pieProgressView) {
    m_pieProgressView = std::make_shared<KMPieProgressView>(CGRectZero);
    m_pieProgressView->setHidden(true);
    addSubview(m_pieProgressView);
    setNeedsLayout();
  }
  return *m_pieProgressView;
}

void KMUploadFileCell::setState(KMUploadFileCellState state) {
  if (state == m_state) return;
  m_state = state;
  updateCellToCurrentState();
}

void KMUploadFileCell::setSize(std::uint64_t size) {
  m_size = size;
  updateProgress();
}

void KMUploadFileCell::setUploadedSize(std::uint64_t uploadedSize) {
  m_uploadedSize = uploadedSize;
  setState(KMUploadFileCellStateUploading);
  updateProgress();
}

void KMUploadFileCell::setErrorDescription(std::string description) {
  m_errorDescription = std::move(description);
  if (m_state == KMUploadFileCellStateFailed && detailTextLabel())
    detailTextLabel()->setText(m_errorDescription);
}

void KMUploadFileCell::updateProgress() {
  if (m_state != KMUploadFileCellStateUploading) return;
  if (auto* detail = detailTextLabel()) {
    detail->setText(KMStringWithFormat(KMLocalizedString("CellUploadedTextFormat", "%@ из %@", kTable),
                                       {LocalizedFileSizeStr(m_uploadedSize), LocalizedFileSizeStr(m_size)}));
  }
  // An empty file has nothing left to send once it is under way.
  pieProgressView().setProgress(m_size == 0 ? 1.f : float(double(m_uploadedSize) / double(m_size)));
}

void KMUploadFileCell::updateCellToCurrentState() {
  const bool picked = multiSelected();
  selectionImageView().setHidden(!picked);
  const auto show = [&](std::shared_ptr<UIImageView>& view, KMUploadFileCellState state) {
    if (view) view->setHidden(picked || m_state != state);
  };
  switch (m_state) {
    case KMUploadFileCellStateFailed:
      errorImageView();
      if (auto* detail = detailTextLabel()) detail->setText(m_errorDescription);
      break;
    case KMUploadFileCellStateUploading:
      uploadingImageView();
      break;
    case KMUploadFileCellStateWaiting:
      standbyImageView();
      if (auto* detail = detailTextLabel()) detail->setText({});
      break;
  }
  show(m_errorImageView, KMUploadFileCellStateFailed);
  show(m_uploadingImageView, KMUploadFileCellStateUploading);
  show(m_standbyImageView, KMUploadFileCellStateWaiting);
  if (m_state == KMUploadFileCellStateUploading) {
    pieProgressView().setHidden(picked);
    bringSubviewToFront(m_pieProgressView.get());
    updateProgress();
  } else if (m_pieProgressView) {
    m_pieProgressView->setHidden(true);
  }
  setNeedsDisplay();
}

void KMUploadFileCell::setMultiSelected(bool selected) {
  KMGroupEditCell::setMultiSelected(selected);
  updateCellToCurrentState();
}

void KMUploadFileCell::prepareForReuse() {
  KMGroupEditCell::prepareForReuse();
  m_URL.reset();
  m_size = m_uploadedSize = 0;
  m_errorDescription.clear();
  m_state = KMUploadFileCellStateWaiting;
  if (m_pieProgressView) m_pieProgressView->setProgress(0);
  updateCellToCurrentState();
}

void KMUploadFileCell::layoutSubviews() {
  KMGroupEditCell::layoutSubviews();
  layoutStateViews();
}

void KMUploadFileCell::layoutStateViews() {
  const CGRect circle = selectionCircleFrame();
  for (auto* view : {m_errorImageView.get(), m_uploadingImageView.get(), m_standbyImageView.get()}) {
    if (view) view->setFrame(circle);
  }
  if (m_pieProgressView) m_pieProgressView->setFrame(CGRectInset(circle, kPieInset, kPieInset));
}

}  // namespace kdisk
