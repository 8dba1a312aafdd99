#pragma once
// Names and keys of the upload queue's notifications, and the reasons stored
// in a failed upload's row (never shown as such).

namespace kdisk::manager {

inline constexpr const char* kKMKMWebDAVFileManagerUploadQueueWasChanged =
    "kKMKMWebDAVFileManagerUploadQueueWasChanged";
inline constexpr const char* kKMKMWebDAVFileManagerDidStartUploadFile =
    "kKMKMWebDAVFileManagerDidStartUploadFile";
inline constexpr const char* kKMKMWebDAVFileManagerDidSendBytesForUploadFile =
    "kKMKMWebDAVFileManagerDidSendBytesForUploadFile";
inline constexpr const char* kKMKMWebDAVFileManagerDidUploadFile =
    "kKMKMWebDAVFileManagerDidUploadFile";
inline constexpr const char* kKMKMWebDAVFileManagerDidFailToUploadFile =
    "kKMKMWebDAVFileManagerDidFailToUploadFile";

inline constexpr const char* kKMUploadURLKey = "URL";
inline constexpr const char* kKMUploadUploadedSizeKey = "uploadedSize";
// In a start notification of an upload sent again under a new name: the URL
// the service refused because a file of that name is there.
inline constexpr const char* kKMUploadRefusedURLKey = "refusedURL";
// In the queue-changed notification of an upload taken out of the queue by
// hand: that upload's URL.
inline constexpr const char* kKMUploadRemovedURLKey = "removedURL";

inline constexpr const char* kKMWebDAVFileManagerUploadErrorCannotSaveAssetToTempFile =
    "kKMWebDAVFileManagerUploadErrorCannotSaveAssetToTempFile";
inline constexpr const char* kKMWebDAVFileManagerUploadErrorWrongStatusCode =
    "kKMWebDAVFileManagerUploadErrorWrongStatusCode";
inline constexpr const char* kKMWebDAVFileManagerUploadErrorUnknownError =
    "kKMWebDAVFileManagerUploadErrorUnknownError";

}  // namespace kdisk::manager
