// The user-information answer: "login:" is read from its own line only.
#include "FuzzSupport.h"
#include "manager/KMWebDAVFileManager.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string answer(kdisk::fuzz::text(data, size));
  auto login = KMWebDAVFileManager::valueForLineWithPrefixInText("login:", answer);
  if (!login) {
    KDISK_FUZZ_CHECK(!answer.starts_with("login:") && answer.find("\nlogin:") == std::string::npos);
    return 0;
  }
  KDISK_FUZZ_CHECK(login->find('\n') == std::string::npos);
  KDISK_FUZZ_CHECK(answer.find("login:" + *login) != std::string::npos);
  return 0;
}
