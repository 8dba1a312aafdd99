#pragma once
// Checked contracts: what a header promises about threads, states and outcomes,
// verified at run time. A violation is a programming error: the process says
// what broke on stderr and aborts, so a test fails at the fault and not at a
// symptom far away. On in debug and test builds (KDISK_CONTRACTS, set by the
// build); compiled out of release builds, where the condition is not evaluated.

#include <string_view>

namespace kdisk {

#if defined(KDISK_CONTRACTS) && KDISK_CONTRACTS
inline constexpr bool kContractsChecked = true;
#else
inline constexpr bool kContractsChecked = false;
#endif

// Writes "Contract violated: <what>" to stderr and aborts.
[[noreturn]] void contractViolation(std::string_view what);

}  // namespace kdisk

// `message` is evaluated only when `condition` fails.
#if defined(KDISK_CONTRACTS) && KDISK_CONTRACTS
#define KDISK_CONTRACT(condition, message) \
  ((condition) ? static_cast<void>(0) : ::kdisk::contractViolation(message))
#else
#define KDISK_CONTRACT(condition, message) static_cast<void>(0)
#endif
