// The bundle's implementation is not on this branch yet; until it is, the
// toolkit's tests and sample program find images through this weak
// stand-in, which the real definitions replace at link time as soon as the
// platform library has them. Linked as an object, never from a library.
#include <cstdlib>

#include "platform/Bundle.h"

namespace kdisk {

__attribute__((weak)) Bundle::Bundle(std::string resourcePath) : m_resourcePath(std::move(resourcePath)) {}

__attribute__((weak)) const Bundle& Bundle::mainBundle() {
  static const Bundle bundle(std::getenv("KDISK_RESOURCES_DIR") ? std::getenv("KDISK_RESOURCES_DIR")
                                                                : "resources");
  return bundle;
}

}  // namespace kdisk
