#pragma once
// A manager of its own, over a fresh store in an isolated home, talking to a
// running kdisk-service as alice.

#include <gtest/gtest.h>

#include "NotificationRecorder.h"
#include "ServiceFixture.h"
#include "manager/KMWebDAVFileManager.h"
#include "settings/KMSettings.h"
#include "support/TemporaryDirectory.h"
#include "webdav/KMDiskRequest.h"
#include "webdav/KMFile.h"
#include "webdav/KMHTTPTransfer.h"

namespace kdisk::test {

inline const std::vector<std::string> kManagerNotifications{
    kKMKMWebDAVFileManagerDidSendFileListRequest,   kKMKMWebDAVFileManagerDidReceiveFileList,
    kKMKMWebDAVFileManagerDidFailWithFileListRequest, kKMKMWebDAVFileManagerDidStartDownloadFile,
    kKMKMWebDAVFileManagerDidGetPartialDataForFile, kKMKMWebDAVFileManagerDidDownloadFile,
    kKMKMWebDAVFileManagerDidFailToDownloadFile,    kKMKMWebDAVFileManagerDidStartDownloadPreview,
    kKMKMWebDAVFileManagerDidDownloadPreview,       kKMKMWebDAVFileManagerDidFailToDownloadPreview,
    kKMKMWebDAVFileManagerDidLoadPreview,
    kKMKMWebDAVFileManagerDidSendRemoveRequest,     kKMKMWebDAVFileManagerDidRemove,
    kKMKMWebDAVFileManagerDidFailWithRemoveRequest, kKMKMWebDAVFileManagerDidSendCreateDirectoryRequest,
    kKMKMWebDAVFileManagerDidCreateDirectory,       kKMKMWebDAVFileManagerDidFailToCreateDirectory,
    kKMKMWebDAVFileManagerDidPublishFile,           kKMKMWebDAVFileManagerDidFailWithPublishRequest,
    kKMKMWebDAVFileManagerDidReceiveUserInfo,       kKMKMWebDAVFileManagerDidSendAdditionalInfoRequest,
    kKMKMWebDAVFileManagerDidReceiveAdditionalInfo, kKMKMWebDAVFileManagerDidFailWithAdditionalInfoRequest,
    kKMXConnectionDidFailAuthenticateWithError,
};

// Names of a store listing, directories marked with a trailing "/".
inline std::vector<std::string> listingNames(const KMFileItemList& items) {
  std::vector<std::string> names;
  for (auto& item : items) names.push_back(item->displayName() + (item->isDirectory() ? "/" : ""));
  std::sort(names.begin(), names.end());
  return names;
}

class ManagerServiceTest : public ServiceTest {
 protected:
  void SetUp() override {
    ServiceTest::SetUp();
    if (HasFatalFailure()) return;
    webdav::setAdditionalCertificateAuthorityFile(m_service.endpoints().caCertificate.string());
    KMSettings::mainSettings().setToken(m_token);
    m_storage = std::make_shared<KMWebDAVStorage>();
    m_manager = KMWebDAVFileManager::create(m_storage, {root(), false});
    m_manager->setPreviewMaxDimension(96);
  }
  void TearDown() override {
    m_manager.reset();
    if (m_storage) m_storage->close();
  }

  URL root() const { return *URL::fromString(m_service.endpoints().diskURL()); }
  // `path` is raw (already encoded) below the service origin.
  URL at(const std::string& path) const {
    return *URL::fromString(m_service.endpoints().httpsBaseURL + path);
  }

  // Refreshes `directory` and waits for its outcome; true when it was received.
  bool refresh(const URL& directory) {
    const auto before = m_recorder.count(kKMKMWebDAVFileManagerDidReceiveFileList) +
                        m_recorder.count(kKMKMWebDAVFileManagerDidFailWithFileListRequest);
    m_manager->updateContentsOfDirectoryAtURL(directory);
    EXPECT_TRUE(m_recorder.waitFor({kKMKMWebDAVFileManagerDidReceiveFileList,
                                    kKMKMWebDAVFileManagerDidFailWithFileListRequest},
                                   before + 1));
    m_recorder.drain();
    auto received = m_recorder.named(kKMKMWebDAVFileManagerDidReceiveFileList);
    return !received.empty() && received.back().string("URL") == directory.absoluteString() &&
           m_recorder.all().back().name == kKMKMWebDAVFileManagerDidReceiveFileList;
  }

  std::vector<std::string> cachedNames(const URL& directory) {
    return listingNames(m_storage->contentsOfDirectoryAtURLIncludeHidden(directory, true));
  }

  IsolatedHome m_home;
  std::shared_ptr<KMWebDAVStorage> m_storage;
  std::shared_ptr<KMWebDAVFileManager> m_manager;
  NotificationRecorder m_recorder{kManagerNotifications};
};

}  // namespace kdisk::test
