// The upload queue. Not built yet: the queue has an issue of its own, which
// replaces this file. Until then nothing is uploaded and nothing is reported.
#include "manager/KMWebDAVFileManager.h"
#include "manager/KMWebDAVFileManagerLog.h"

void KMWebDAVFileManager::uploadNextFileInQueue() {
  kdisk::manager::log()->debug("Upload queue asked to run; it is not part of this build yet.");
}
