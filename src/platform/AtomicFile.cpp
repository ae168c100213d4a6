#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace platform {

namespace {

constexpr mode_t kNewFileMode = 0644;

std::string TemporaryTemplate(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  return folder + "." + base + ".XXXXXX";
}

mode_t ModeFor(const std::string& path, std::optional<mode_t> mode) {
  if (mode) return *mode;
  struct stat old {};
  return ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : kNewFileMode;
}

}  // namespace

bool WriteAll(int fd, std::string_view data) {
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    done += size_t(n);
  }
  return true;
}

bool WriteFileAtomically(const std::string& path, const TFileFiller& fill,
                         std::optional<mode_t> mode) {
  const std::string tmpl = TemporaryTemplate(path);
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = fill(fd) && ::fchmod(fd, ModeFor(path, mode)) == 0 && ::fsync(fd) == 0;
  int error = ok ? 0 : errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok && ::rename(name.data(), path.c_str()) != 0) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    ::unlink(name.data());
    errno = error ? error : EIO;  // the caller tells the user why
  }
  return ok;
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes,
                         std::optional<mode_t> mode) {
  return WriteFileAtomically(
      path, [bytes](int fd) { return WriteAll(fd, bytes); }, mode);
}

}  // namespace platform
