#include "platform/SignalWatch.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <stdexcept>

namespace platform {

namespace {

// Shared with the handlers, which may only touch lock-free atomics and the pipe.
std::atomic<bool> g_active{false};
std::atomic<int> g_writeFd{-1};
std::atomic<int> g_firstSignal{0};
std::atomic<bool> g_secondSignalQuits{false};

void OnSignal(int signal) {
  const int savedErrno = errno;
  int none = 0;
  const bool again = !g_firstSignal.compare_exchange_strong(none, signal);
  if (again && g_secondSignalQuits.load()) {
    // Delivered once this handler returns, with the default action.
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    ::sigaction(signal, &dfl, nullptr);
    ::raise(signal);
  }
  const unsigned char number = static_cast<unsigned char>(signal);
  const int fd = g_writeFd.load();
  // A full pipe already holds enough to wake the owner.
  if (fd >= 0 && ::write(fd, &number, 1) < 0) errno = savedErrno;
  errno = savedErrno;
}

}  // namespace

TSignalWatch::TSignalWatch(TCallback callback, bool secondSignalQuits,
                           std::initializer_list<int> watched)
    : callback_(std::move(callback)) {
  if (g_active.exchange(true)) throw std::logic_error("only one signal watch at a time");
  if (::pipe2(fds_, O_CLOEXEC | O_NONBLOCK) != 0) {
    g_active = false;
    throw std::runtime_error("cannot make the signal pipe");
  }
  g_firstSignal = 0;
  g_secondSignalQuits = secondSignalQuits;
  g_writeFd = fds_[1];
  struct sigaction action {};
  action.sa_handler = OnSignal;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (int s : watched) {
    struct sigaction old {};
    if (::sigaction(s, &action, &old) == 0) previous_.emplace_back(s, old);
  }
}

TSignalWatch::~TSignalWatch() {
  for (const auto& [s, old] : previous_) ::sigaction(s, &old, nullptr);
  g_writeFd = -1;
  g_firstSignal = 0;
  ::close(fds_[0]);
  ::close(fds_[1]);
  g_active = false;
}

int TSignalWatch::Dispatch() {
  int count = 0;
  unsigned char numbers[64];
  for (;;) {
    const ssize_t n = ::read(fds_[0], numbers, sizeof numbers);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return count;
    for (ssize_t i = 0; i < n; ++i, ++count)
      if (callback_) callback_(numbers[i]);
  }
}

int TSignalWatch::Wait(int timeoutMs) {
  pollfd p{fds_[0], POLLIN, 0};
  if (::poll(&p, 1, timeoutMs) <= 0) return 0;
  return Dispatch();
}

int TSignalWatch::FirstSignal() { return g_firstSignal.load(); }

}  // namespace platform
