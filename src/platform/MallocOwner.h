#pragma once
// Owner of memory a C library hands back for the caller to free() (libplist's
// keys and iterators, the demangler's names).

#include <cstdlib>
#include <memory>

namespace kdisk {

struct MallocFreer {
  void operator()(void* memory) const { std::free(memory); }
};
template <typename T> using UniqueMalloced = std::unique_ptr<T, MallocFreer>;

}  // namespace kdisk
