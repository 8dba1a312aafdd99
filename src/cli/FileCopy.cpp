#include "cli/FileCopy.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "platform/FileOwners.h"

namespace kdisk::cli {

namespace {

std::error_code lastError() { return {errno, std::generic_category()}; }

} // namespace

std::error_code copyFileContents(const std::filesystem::path& from, const std::filesystem::path& to) {
  UniqueFd source(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
  if (source.get() < 0)
    return lastError();
  struct stat info {};
  if (::fstat(source.get(), &info) != 0)
    return lastError();
  UniqueFd target(::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (target.get() < 0)
    return lastError();
  if (::ioctl(target.get(), FICLONE, source.get()) != 0) {
    off_t left = info.st_size;
    while (left > 0) {
      const ssize_t copied = ::copy_file_range(source.get(), nullptr, target.get(), nullptr,
                                               static_cast<size_t>(left), 0);
      if (copied < 0 && errno == EINTR)
        continue;
      if (copied < 0 && (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL))
        break;  // no kernel copy between these two: the plain way below
      if (copied < 0)
        return lastError();
      if (copied == 0)
        break;
      left -= copied;
    }
    if (left > 0) {
      // What the kernel could not copy goes through a buffer, from where it stopped.
      const off_t done = info.st_size - left;
      if (::lseek(source.get(), done, SEEK_SET) < 0 || ::lseek(target.get(), done, SEEK_SET) < 0)
        return lastError();
      static constexpr std::size_t kBuffer = 1 << 20;
      std::unique_ptr<char[]> buffer(new char[kBuffer]);
      for (;;) {
        const ssize_t got = ::read(source.get(), buffer.get(), kBuffer);
        if (got < 0 && errno == EINTR)
          continue;
        if (got < 0)
          return lastError();
        if (got == 0)
          break;
        for (ssize_t put = 0; put < got;) {
          const ssize_t wrote = ::write(target.get(), buffer.get() + put, static_cast<size_t>(got - put));
          if (wrote < 0 && errno == EINTR)
            continue;
          if (wrote < 0)
            return lastError();
          put += wrote;
        }
      }
    }
  }
  if (target.close() != 0)
    return lastError();
  return {};
}

} // namespace kdisk::cli
