#include "platform/Shell.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include <vector>

#include "platform/Environment.h"

namespace platform {

namespace {

// Runs argv in a process that nobody waits for, so a handler that stays
// (a browser started in the foreground) never holds the caller. A waiter
// between the two reports the handler's exit status through a pipe; the
// caller reads it for at most `waitMs`: a handler that could not start, or
// ended in failure within that time, is a failure, one still running is not.
// The first child is reaped at once, so no zombie is left behind.
bool SpawnDetached(const std::vector<std::string>& args, int waitMs) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  int status_pipe[2];
  if (::pipe2(status_pipe, O_CLOEXEC) != 0) return false;
  const pid_t child = ::fork();
  if (child < 0) {
    ::close(status_pipe[0]);
    ::close(status_pipe[1]);
    return false;
  }
  if (child == 0) {
    ::setsid();
    if (::fork() != 0) ::_exit(0);  // the waiter goes on alone
    ::close(status_pipe[0]);
    const pid_t handler = ::fork();
    if (handler == 0) {
      ::execvp(argv[0], argv.data());
      ::_exit(127);
    }
    unsigned char code = 127;
    int handlerStatus = 0;
    if (handler > 0 && ::waitpid(handler, &handlerStatus, 0) == handler)
      code = WIFEXITED(handlerStatus) ? WEXITSTATUS(handlerStatus) : 128;
    ::signal(SIGPIPE, SIG_IGN);  // the caller may have stopped listening
    [[maybe_unused]] const ssize_t n = ::write(status_pipe[1], &code, 1);
    ::_exit(0);
  }
  ::close(status_pipe[1]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  bool started = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  pollfd ready{status_pipe[0], POLLIN, 0};
  if (started && waitMs > 0 && ::poll(&ready, 1, waitMs) == 1) {
    // End of file without a status: the waiter died before the handler ran.
    unsigned char code = 1;
    started = ::read(status_pipe[0], &code, 1) == 1 && code == 0;
  }
  ::close(status_pipe[0]);
  return started;
}

// How long an opener may take to say that it failed.
constexpr int kOpenWaitMs = 2000;

}  // namespace

bool OpenWithDesktop(const std::string& folderOrAddress) {
  if (folderOrAddress.empty()) return false;
  const std::string command = GetEnvOr("QUOR_OPEN_COMMAND", "");
  if (command.empty()) return SpawnDetached({"xdg-open", folderOrAddress}, kOpenWaitMs);
  // The path travels as a positional parameter, never through the shell's
  // parser, so blanks, quotes or "$" in folder names stay harmless.
  return SpawnDetached({"/bin/sh", "-c", command + " \"$1\"", "sh", folderOrAddress}, kOpenWaitMs);
}

bool ShutDownComputer() {
  const std::string command = GetEnvOr("QUOR_SHUTDOWN_COMMAND", "");
  if (command.empty()) return SpawnDetached({"systemctl", "poweroff"}, 0);
  return SpawnDetached({"/bin/sh", "-c", command}, 0);
}

}  // namespace platform
