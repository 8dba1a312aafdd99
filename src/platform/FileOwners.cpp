#include "platform/FileOwners.h"

#include <unistd.h>

namespace kdisk {

void UniqueFd::reset(int fd) {
  if (m_fd >= 0 && m_fd != fd) ::close(m_fd);
  m_fd = fd;
}

int UniqueFd::close() { return m_fd >= 0 ? ::close(release()) : 0; }

}  // namespace kdisk
