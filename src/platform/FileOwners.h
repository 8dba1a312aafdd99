#pragma once
// Owners of the C library's file descriptors and streams, so no return path
// can leak one.

#include <cstdio>
#include <memory>
#include <utility>

namespace kdisk {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : m_fd(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : m_fd(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    reset(other.release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { reset(); }

  int get() const { return m_fd; }
  bool isValid() const { return m_fd >= 0; }
  int release() { return std::exchange(m_fd, -1); }
  // Closes the one held (its result ignored) and holds `fd`.
  void reset(int fd = -1);
  // Closes now and gives ::close's result (0 when none is held): a write to a
  // full disk may fail only here.
  int close();

 private:
  int m_fd = -1;
};

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace kdisk
