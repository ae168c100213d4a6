// Helpers of the player tests: a display target that records what it is
// shown, an event recorder, and waiting that keeps the hand-over pumping.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/common/MainThread.h"
#include "engine/libav/FrameBitmap.h"
#include "player/FFPlay.h"
#include "support/MediaFactory.h"

class TRecordingDisplay : public IDisplayTarget {
 public:
  void Show(const TBitmap& picture, const TDisplayRect& rect, int, int) override {
    std::lock_guard lock(mutex_);
    last_ = picture;
    rect_ = rect;
    ++count_;
  }
  void ClientSize(int& w, int& h) const override {
    w = 320;
    h = 240;
  }
  TBitmap Last() const {
    std::lock_guard lock(mutex_);
    return last_;
  }
  int Count() const {
    std::lock_guard lock(mutex_);
    return count_;
  }
  TDisplayRect Rect() const {
    std::lock_guard lock(mutex_);
    return rect_;
  }
  // Frame number drawn into the last picture, -1 when none.
  int LastNumber() const {
    TBitmap b = Last();
    return b.Empty() ? -1 : TestMedia::ReadFrameNumber(b);
  }

 private:
  mutable std::mutex mutex_;
  TBitmap last_;
  TDisplayRect rect_;
  int count_ = 0;
};

// Records the events of a player; handlers run on the test thread (pumped).
struct TEventLog {
  std::mutex Mutex;
  std::vector<TPlayState> States;
  std::vector<std::int64_t> Positions;
  std::int64_t Duration = -2;
  int FrameWidth = 0, FrameHeight = 0;

  void Attach(TFFPlayer& p) {
    p.SetOnState([this](TFFPlayer*, TPlayState s) {
      std::lock_guard lock(Mutex);
      States.push_back(s);
    });
    p.SetOnPosition([this](TFFPlayer*, std::int64_t pts) {
      std::lock_guard lock(Mutex);
      Positions.push_back(pts);
    });
    p.SetOnFileOpen([this](TFFPlayer*, std::int64_t d, int w, int h, int&, int&) {
      std::lock_guard lock(Mutex);
      Duration = d;
      FrameWidth = w;
      FrameHeight = h;
    });
  }
  int Count(TPlayState s) {
    std::lock_guard lock(Mutex);
    int n = 0;
    for (TPlayState x : States) n += x == s;
    return n;
  }
  std::int64_t LastPosition() {
    std::lock_guard lock(Mutex);
    return Positions.empty() ? -1 : Positions.back();
  }
};

// Pumps the hand-over until `done` holds or `ms` pass; returns `done()`.
inline bool WaitFor(TQueuedHandOver& ho, const std::function<bool()>& done, int ms = 5000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    ho.WaitAndPump(5);
  }
  return true;
}

inline void PumpFor(TQueuedHandOver& ho, int ms) {
  WaitFor(
      ho, [] { return false; }, ms);
}

// A fixture with a player, a recording display and a hand-over whose main
// thread is the test thread.
class PlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetMainThreadHandOver(&handOver);
    log.Attach(player);
  }
  void TearDown() override {
    player.Stop(true);
    PumpFor(handOver, 20);
    SetMainThreadHandOver(nullptr);
  }
  bool OpenClip(const std::string& path) { return player.Open(path, &display); }
  bool WaitPictures(int n, int ms = 5000) {
    return WaitFor(
        handOver, [&] { return display.Count() >= n; }, ms);
  }

  TQueuedHandOver handOver;
  TRecordingDisplay display;
  TFFPlayer player;
  TEventLog log;
};
