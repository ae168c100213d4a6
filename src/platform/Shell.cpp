#include "platform/Shell.h"

#include <sys/wait.h>
#include <unistd.h>

#include <vector>

#include "platform/Environment.h"

namespace platform {

namespace {

// Runs argv in a grandchild that nobody waits for; the intermediate child is
// reaped at once, so no zombie is left behind.
bool SpawnDetached(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    ::setsid();
    const pid_t grandchild = ::fork();
    if (grandchild == 0) {
      ::execvp(argv[0], argv.data());
      ::_exit(127);
    }
    ::_exit(grandchild < 0 ? 1 : 0);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

bool OpenWithDesktop(const std::string& folderOrAddress) {
  if (folderOrAddress.empty()) return false;
  const std::string command = GetEnvOr("QUOR_OPEN_COMMAND", "");
  if (command.empty()) return SpawnDetached({"xdg-open", folderOrAddress});
  // The path travels as a positional parameter, never through the shell's
  // parser, so blanks, quotes or "$" in folder names stay harmless.
  return SpawnDetached({"/bin/sh", "-c", command + " \"$1\"", "sh", folderOrAddress});
}

bool ShutDownComputer() {
  const std::string command = GetEnvOr("QUOR_SHUTDOWN_COMMAND", "");
  if (command.empty()) return SpawnDetached({"systemctl", "poweroff"});
  return SpawnDetached({"/bin/sh", "-c", command});
}

}  // namespace platform
