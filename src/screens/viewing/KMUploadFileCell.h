#pragma once
// A row of the upload queue in a folder's list: waiting, sending (a pie of
// the bytes sent over the upload circle and "sent of total" as detail text)
// or failed (the failure circle and the error as detail text). The state
// circle sits where the selection circle goes; while the row is picked the
// selection circle shows instead. Main thread.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/URL.h"
#include "screens/browsing/KMGroupEditCell.h"
#include "screens/viewing/KMPieProgressView.h"

namespace kdisk {

enum KMUploadFileCellState : int {
  KMUploadFileCellStateWaiting = 0,
  KMUploadFileCellStateUploading = 1,
  KMUploadFileCellStateFailed = 2,
};

class KMUploadFileCell : public KMGroupEditCell {
 public:
  explicit KMUploadFileCell(std::optional<std::string> reuseIdentifier);
  ~KMUploadFileCell() override;

  const std::optional<kdisk::URL>& URL() const { return m_URL; }
  void setURL(std::optional<kdisk::URL> url) { m_URL = std::move(url); }
  KMUploadFileCellState state() const { return m_state; }
  // Redraws only on a change.
  void setState(KMUploadFileCellState state);
  std::uint64_t size() const { return m_size; }
  void setSize(std::uint64_t size);
  std::uint64_t uploadedSize() const { return m_uploadedSize; }
  // Bytes arriving mean the upload runs: the row switches to sending.
  void setUploadedSize(std::uint64_t uploadedSize);
  const std::string& errorDescription() const { return m_errorDescription; }
  void setErrorDescription(std::string description);

  void updateProgress();
  void updateCellToCurrentState();
  void setMultiSelected(bool selected) override;

  // Made on first use.
  KMPieProgressView& pieProgressView();
  UIImageView& errorImageView();
  UIImageView& uploadingImageView();
  UIImageView& standbyImageView();

  void prepareForReuse() override;
  void layoutSubviews() override;

 protected:
  // The state circle shows in either mode.
  bool showsCircle() const override { return true; }

 private:
  UIImageView& stateImageView(std::shared_ptr<UIImageView>& view, const char* imageName);
  void layoutStateViews();

  std::optional<kdisk::URL> m_URL;
  KMUploadFileCellState m_state = KMUploadFileCellStateWaiting;
  std::uint64_t m_size = 0;
  std::uint64_t m_uploadedSize = 0;
  std::string m_errorDescription;
  std::shared_ptr<KMPieProgressView> m_pieProgressView;
  std::shared_ptr<UIImageView> m_errorImageView;
  std::shared_ptr<UIImageView> m_uploadingImageView;
  std::shared_ptr<UIImageView> m_standbyImageView;
};

}  // namespace kdisk
