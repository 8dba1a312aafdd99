// The token endpoint's answer: a token, or a refusal with one of its codes.
#include "FuzzSupport.h"
#include "auth/KMOAuthOperation.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string answer(kdisk::fuzz::text(data, size));
  if (auto token = KMOAuthOperation::tokenOfAnswer(answer)) {
    KDISK_FUZZ_CHECK(!token->empty());
    return 0;
  }
  const KMError error = KMOAuthOperation::errorForRefusalBody(answer);
  KDISK_FUZZ_CHECK(error.code == kKMOAuthOperationErrorInvalidLoginOrPassword ||
                   error.code == kKMOAuthOperationErrorLoginBlocked || error.code == kKMOAuthOperationErrorUnknown);
  return 0;
}
