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

inline constexpr const char* kKMWebDAVFileManagerUploadErrorCannotSaveAssetToTempFile =
    "kKMWebDAVFileManagerUploadErrorCannotSaveAssetToTempFile";
inline constexpr const char* kKMWebDAVFileManagerUploadErrorWrongStatusCode =
    "kKMWebDAVFileManagerUploadErrorWrongStatusCode";
inline constexpr const char* kKMWebDAVFileManagerUploadErrorUnknownError =
    "kKMWebDAVFileManagerUploadErrorUnknownError";

}  // namespace kdisk::manager
