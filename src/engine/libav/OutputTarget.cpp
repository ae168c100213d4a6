#include "engine/libav/OutputTarget.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <random>

#include "engine/libav/FFmpegApi.h"
#include "engine/libav/MediaUtils.h"
#include "engine/libav/UnicodeProtocol.h"

namespace {

// Longest part of the target's name kept in the hidden name, so that the
// hidden name stays within the file system's limit of 255 bytes.
constexpr size_t kNameKept = 200;

std::string RandomTag() {
  static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  thread_local std::mt19937 generator{std::random_device{}()};
  std::uniform_int_distribution<size_t> pick(0, sizeof letters - 2);
  std::string tag(6, ' ');
  for (char& c : tag) c = letters[pick(generator)];
  return tag;
}

int OpenRetrying(const std::string& name, int flags, mode_t mode) {
  int fd;
  do fd = ::open(name.c_str(), flags | O_CLOEXEC, mode);
  while (fd < 0 && errno == EINTR);
  return fd;
}

// The file a symbolic link leads to; the name itself for anything else (and
// for a link that leads nowhere, which is then replaced like a file).
std::string FollowLinks(const std::string& name) {
  struct stat st;
  if (::lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return name;
  char* real = ::realpath(name.c_str(), nullptr);
  if (!real) return name;
  std::string result = real;
  std::free(real);
  return result;
}

}  // namespace

TOutputTarget::~TOutputTarget() { RemoveOwnFiles(); }

int TOutputTarget::Open(const std::string& name, AVIOContext** pb) {
  *pb = nullptr;
  RemoveOwnFiles();
  target_ = FollowLinks(DisplayName(name));
  inPlace_ = false;

  struct stat st;
  if (::stat(target_.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return AVERROR(EISDIR);
    if (!S_ISREG(st.st_mode)) {
      // Without O_NONBLOCK, opening a named pipe waits for a reader for ever.
      const int fd = OpenRetrying(target_, O_WRONLY | O_NONBLOCK, 0);
      if (fd < 0) return AVERROR(errno);
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
      inPlace_ = true;
      written_ = target_;
      return OpenDescriptorIO(pb, fd, AVIO_FLAG_WRITE);
    }
  } else {
    if (errno != ENOENT) return AVERROR(errno);
    const int fd = OpenRetrying(target_, O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (fd < 0) return AVERROR(errno);
    const bool known = ::fstat(fd, &st) == 0;
    ::close(fd);
    if (!known) {
      ::unlink(target_.c_str());
      return AVERROR(EIO);
    }
    reserved_ = true;
    reservedDev_ = st.st_dev;
    reservedIno_ = st.st_ino;
  }

  const std::string folder = ExtractFilePath(target_);
  const std::string base = ExtractFileName(target_).substr(0, kNameKept);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string hidden = folder + "." + base + "." + RandomTag() + ".part";
    const int fd = OpenRetrying(hidden, O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      const int err = errno;
      RemoveOwnFiles();
      return AVERROR(err);
    }
    // The replacement keeps the permissions of what it replaces (a new
    // name's reservation was made with the user's default ones).
    ::fchmod(fd, st.st_mode & 07777);
    written_ = hidden;
    return OpenDescriptorIO(pb, fd, AVIO_FLAG_WRITE);
  }
  RemoveOwnFiles();
  return AVERROR(EEXIST);
}

int TOutputTarget::Keep(AVIOContext** pb) {
  const int err = CloseOutputIO(pb);
  if (err < 0) return err;
  if (written_.empty()) return 0;
  if (!inPlace_ && ::rename(written_.c_str(), target_.c_str()) != 0) return AVERROR(errno);
  written_.clear();
  reserved_ = false;
  return 0;
}

void TOutputTarget::Discard(AVIOContext** pb) {
  if (pb && *pb) CloseOutputIO(pb);
  RemoveOwnFiles();
}

void TOutputTarget::RemoveOwnFiles() {
  if (!inPlace_ && !written_.empty()) ::unlink(written_.c_str());
  written_.clear();
  if (!reserved_) return;
  reserved_ = false;
  // Only while it is still the empty file made here: someone may have put
  // a file of their own there since.
  struct stat st;
  if (::lstat(target_.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0 &&
      st.st_dev == reservedDev_ && st.st_ino == reservedIno_)
    ::unlink(target_.c_str());
}
