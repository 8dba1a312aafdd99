#include "platform/SequenceChecker.h"

#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>

#include <fmt/format.h>

#include "platform/MallocOwner.h"

namespace kdisk {

void contractViolation(std::string_view what) {
  std::fprintf(stderr, "Contract violated: %.*s\n", static_cast<int>(what.size()), what.data());
  std::fflush(stderr);
  std::abort();
}

SequenceChecker::SequenceChecker() : m_queue(DispatchQueue::mainQueue()) {}

SequenceChecker::SequenceChecker(std::shared_ptr<DispatchQueue> queue) : m_queue(std::move(queue)) {}

void SequenceChecker::violation(std::string_view object, std::string_view operation) const {
  contractViolation(fmt::format("{}::{} belongs to queue {} but was called from {}", object, operation,
                                m_queue->label(), DispatchQueue::currentQueueDescription()));
}

std::string SequenceChecker::typeName(const std::type_info& type) {
  int status = 0;
  const UniqueMalloced<char> readable(abi::__cxa_demangle(type.name(), nullptr, nullptr, &status));
  return status == 0 && readable ? readable.get() : type.name();
}

}  // namespace kdisk
