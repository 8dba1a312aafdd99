#pragma once
// Confinement of an object to one queue. The object keeps a checker bound to
// its queue (the main queue when none is given) and says
// KDISK_CHECK_SEQUENCE(m_sequence, "Name") at the top of each operation that
// must run there; called from anywhere else, the process aborts with a message
// naming the object, the operation, the queue it belongs to and where the call
// came from. Compiled out with the other contracts.

#include <memory>
#include <string>
#include <string_view>
#include <typeinfo>

#include "platform/Contract.h"
#include "platform/DispatchQueue.h"

namespace kdisk {

class SequenceChecker {
 public:
  // Bound to the main thread.
  SequenceChecker();
  explicit SequenceChecker(std::shared_ptr<DispatchQueue> queue);

  bool isCurrent() const { return m_queue->isCurrent(); }
  [[noreturn]] void violation(std::string_view object, std::string_view operation) const;
  // The readable name of a dynamic type, for naming the object in a violation.
  static std::string typeName(const std::type_info& type);

 private:
  std::shared_ptr<DispatchQueue> m_queue;
};

}  // namespace kdisk

#if defined(KDISK_CONTRACTS) && KDISK_CONTRACTS
#define KDISK_CHECK_SEQUENCE(checker, object) \
  ((checker).isCurrent() ? static_cast<void>(0) : (checker).violation(object, __func__))
#else
#define KDISK_CHECK_SEQUENCE(checker, object) static_cast<void>(0)
#endif
