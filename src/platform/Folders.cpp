#include "platform/Folders.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/Environment.h"

#ifndef ISOFS_SUPER_MAGIC
#define ISOFS_SUPER_MAGIC 0x9660
#endif
#ifndef UDF_SUPER_MAGIC
#define UDF_SUPER_MAGIC 0x15013346
#endif

namespace platform {
namespace {

std::string PasswdField(bool home) {
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buf(size > 0 ? size_t(size) : 16384);
  passwd pw{};
  passwd* found = nullptr;
  if (::getpwuid_r(::geteuid(), &pw, buf.data(), buf.size(), &found) != 0 || !found) return {};
  const char* v = home ? found->pw_dir : found->pw_name;
  return v ? std::string(v) : std::string();
}

std::string HomeFolder() {
  std::string home = GetEnvOr("HOME", "");
  if (home.empty()) home = PasswdField(true);
  while (home.size() > 1 && home.back() == '/') home.pop_back();
  return home;
}

// True when `folder` is one of the folders that the environment declares to
// be on a disc, or inside one.
bool DeclaredDiscFolder(const std::string& folder) {
  const std::string list = GetEnvOr("QUOR_OPTICAL_DISC_FOLDERS", "");
  const std::string path = WithTrailingSlash(folder);
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(':', start);
    if (end == std::string::npos) end = list.size();
    const std::string disc = WithTrailingSlash(list.substr(start, end - start));
    if (!disc.empty() && path.compare(0, disc.size(), disc) == 0) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

std::string WithTrailingSlash(const std::string& folder) {
  if (folder.empty() || folder.back() == '/') return folder;
  return folder + "/";
}

std::string CommonAppDataFolder() {
  std::string folder = GetEnvOr("QUOR_APPDATA", "");
  if (folder.empty()) {
    std::string config = GetEnvOr("XDG_CONFIG_HOME", "");
    // Relative values are invalid by the base-directory rules and ignored.
    if (config.empty() || config[0] != '/') config = HomeFolder() + "/.config";
    folder = WithTrailingSlash(config) + "quor";
  }
  folder = WithTrailingSlash(folder);
  ForceDirectories(folder);
  return folder;
}

std::string DefaultVideoFolder() { return HomeFolder() + "/videoconverter"; }

std::string ExecutableFolder() {
  std::vector<char> buf(PATH_MAX + 1);
  ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return {};
  std::string path(buf.data(), size_t(n));
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string DataFolder() {
  const std::string exe = ExecutableFolder();
  const std::string beside = exe + "data/";
  if (DirectoryExists(beside)) return beside;
  const std::string installed = exe + "../share/quor/";
  return DirectoryExists(installed) ? installed : beside;
}

bool CanCreateFileIn(const std::string& folder) {
  if (folder.empty() || !DirectoryExists(folder)) return false;
  std::string tmpl = WithTrailingSlash(folder) + "DAXXXXXX";
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  int fd = ::mkstemp(name.data());
  if (fd < 0) return false;
  ::close(fd);
  return ::unlink(name.data()) == 0;
}

bool ForceDirectories(const std::string& folder) {
  if (folder.empty()) return false;
  std::string path;
  size_t pos = 0;
  while (pos != std::string::npos) {
    size_t next = folder.find('/', pos + 1);
    path = folder.substr(0, next);
    if (!path.empty() && path != "/" && ::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST)
      return false;
    pos = next;
  }
  return DirectoryExists(folder);
}

bool DirectoryExists(const std::string& folder) {
  struct stat st {};
  return !folder.empty() && ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IdentifyFile(const std::string& path, TFileIdentity& identity) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return false;
  identity = {std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)};
  return true;
}

std::string LoginName() { return PasswdField(false); }

FileVersion ProgramVersion() {
  return FileVersion{QUOR_VERSION_MAJOR, QUOR_VERSION_MINOR, QUOR_VERSION_PATCH, 0};
}

bool IsOpticalDiscFolder(const std::string& folder) {
  struct statfs fs {};
  if (folder.empty()) return false;
  if (DeclaredDiscFolder(folder)) return true;
  if (::statfs(folder.c_str(), &fs) != 0) return false;
  return fs.f_type == ISOFS_SUPER_MAGIC || fs.f_type == UDF_SUPER_MAGIC;
}

bool CopyFile(const std::string& from, const std::string& to) {
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  const bool ok = WriteFileAtomically(
      to,
      [in](int out) {
        char buf[65536];
        for (;;) {
          const ssize_t n = ::read(in, buf, sizeof buf);
          if (n < 0 && errno == EINTR) continue;
          if (n <= 0) return n == 0;
          if (!WriteAll(out, std::string_view(buf, size_t(n)))) return false;
        }
      },
      0644);
  const int error = errno;
  ::close(in);
  errno = error;  // the caller tells the user why
  return ok;
}

}  // namespace platform
