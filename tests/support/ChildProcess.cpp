#include "support/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

extern char** environ;

namespace {

using TClock = std::chrono::steady_clock;

// The child's environment: ours with `env` laid over it. Made before the
// fork, since the child of a threaded process may only call async-safe
// functions until it executes.
std::vector<std::string> ChildEnvironment(const TChildProcess::TEnv& env) {
  std::vector<std::string> entries;
  for (char** e = environ; e && *e; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('='));
    const bool replaced =
        std::any_of(env.begin(), env.end(), [&](const auto& kv) { return kv.first == name; });
    if (!replaced) entries.push_back(entry);
  }
  for (const auto& [name, value] : env) entries.push_back(name + "=" + value);
  return entries;
}

std::vector<char*> PointersTo(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (auto& t : texts) pointers.push_back(t.data());
  pointers.push_back(nullptr);
  return pointers;
}

int MillisecondsUntil(TClock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now()).count();
  return int(std::max<long long>(0, left));
}

}  // namespace

TChildProcess::~TChildProcess() {
  if (pid_ > 0) ::kill(pid_, SIGKILL);
  CloseStreams();
  if (pid_ > 0) Reap(true);
}

bool TChildProcess::Start(const std::string& program, const std::vector<std::string>& args,
                          const TEnv& env) {
  if (pid_ > 0) return false;
  out_.clear();
  err_.clear();
  status_ = -1;
  std::vector<std::string> argTexts{program};
  argTexts.insert(argTexts.end(), args.begin(), args.end());
  std::vector<std::string> envTexts = ChildEnvironment(env);
  std::vector<char*> argv = PointersTo(argTexts), envp = PointersTo(envTexts);

  // Close-on-exec, so that other children of this process do not hold the
  // pipes open; dup2 clears the flag on the child's own 1 and 2.
  int out[2], err[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return false;
  if (::pipe2(err, O_CLOEXEC) != 0) {
    ::close(out[0]);
    ::close(out[1]);
    return false;
  }
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(out[1], STDOUT_FILENO);
    ::dup2(err[1], STDERR_FILENO);
    if (fileSizeLimit_ >= 0) {
      // Writes past the limit fail with EFBIG instead of killing the child.
      struct sigaction ignore {};
      ignore.sa_handler = SIG_IGN;
      ::sigaction(SIGXFSZ, &ignore, nullptr);
      const rlimit limit{rlim_t(fileSizeLimit_), rlim_t(fileSizeLimit_)};
      ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ::execve(program.c_str(), argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(out[1]);
  ::close(err[1]);
  if (pid < 0) {
    ::close(out[0]);
    ::close(err[0]);
    return false;
  }
  pid_ = pid;
  fds_[0] = out[0];
  fds_[1] = err[0];
  return true;
}

bool TChildProcess::Pump(int waitMs) {
  pollfd polled[2];
  int count = 0;
  for (int fd : fds_)
    if (fd >= 0) polled[count++] = pollfd{fd, POLLIN, 0};
  if (count == 0) return false;
  if (::poll(polled, nfds_t(count), waitMs) <= 0) return true;
  for (int i = 0; i < count; ++i) {
    if (!(polled[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
    const int stream = polled[i].fd == fds_[0] ? 0 : 1;
    char buf[4096];
    const ssize_t n = ::read(polled[i].fd, buf, sizeof buf);
    if (n > 0) {
      (stream == 0 ? out_ : err_).append(buf, size_t(n));
    } else if (n == 0 || errno != EINTR) {
      ::close(fds_[stream]);
      fds_[stream] = -1;
    }
  }
  return fds_[0] >= 0 || fds_[1] >= 0;
}

void TChildProcess::CloseStreams() {
  for (int& fd : fds_) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
}

bool TChildProcess::Reap(bool block) {
  int status = 0;
  pid_t got;
  do {
    got = ::waitpid(pid_, &status, block ? 0 : WNOHANG);
  } while (got < 0 && errno == EINTR);
  if (got == 0) return false;
  status_ = got < 0 ? -1 : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  pid_ = -1;
  return true;
}

bool TChildProcess::WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = TClock::now() + timeout;
  while (!done()) {
    if (TClock::now() >= deadline) return false;
    if (!Pump(std::min(20, MillisecondsUntil(deadline)))) return done();
  }
  return true;
}

bool TChildProcess::WaitForOutput(const std::string& text, std::chrono::milliseconds timeout) {
  return WaitFor([&] { return out_.find(text) != std::string::npos; }, timeout);
}

void TChildProcess::Signal(int signal) {
  if (pid_ > 0) ::kill(pid_, signal);
}

int TChildProcess::Wait(std::chrono::milliseconds timeout) {
  if (pid_ <= 0) return status_;
  const auto deadline = TClock::now() + timeout;
  while (TClock::now() < deadline && Pump(std::min(200, MillisecondsUntil(deadline)))) {
  }
  // The streams may close before the exit: wait for it up to the deadline.
  while (!Reap(false)) {
    if (TClock::now() >= deadline) {
      ::kill(pid_, SIGKILL);
      Reap(true);
      break;
    }
    ::usleep(10000);
  }
  CloseStreams();
  return status_;
}

TChildResult TChildProcess::Run(const std::string& program, const std::vector<std::string>& args,
                                const TEnv& env, std::chrono::milliseconds timeout) {
  TChildProcess child;
  TChildResult result;
  if (!child.Start(program, args, env)) return result;
  result.Status = child.Wait(timeout);
  result.Out = child.Out();
  result.Err = child.Err();
  return result;
}
