// A virtual X display for a test that drives a real program from outside, as
// a person at the screen would: an Xvfb server on a free display number, and
// pointer and keyboard input through xdotool.
//
//   TXDisplay x;
//   if (!TXDisplay::Available()) GTEST_SKIP() << "Xvfb or xdotool is missing";
//   ASSERT_TRUE(x.Start());
//   child.Start(program, args, {{"DISPLAY", x.Name()}, {"QT_QPA_PLATFORM", "xcb"}});
//   TXWindow w = x.WaitForWindow("Settings", 475);
//   x.Click(w.X + 100, w.Y + 20);
//
// Screen positions are absolute. The server ends with the object. One thread.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "support/ChildProcess.h"

struct TXWindow {
  std::string Id;
  int X = 0, Y = 0, Width = 0, Height = 0;
  bool Found() const { return !Id.empty(); }
};

class TXDisplay {
 public:
  // Both programs are on the search path.
  static bool Available();

  TXDisplay() = default;
  ~TXDisplay();
  TXDisplay(const TXDisplay&) = delete;
  TXDisplay& operator=(const TXDisplay&) = delete;

  // Starts the server (1280 x 900, 24 bits); false when it did not come up.
  bool Start();
  // ":N", for DISPLAY.
  const std::string& Name() const { return name_; }

  // Titles are regular expressions matched against the whole title.
  // The first visible window whose title matches `title` (and, when
  // `width` is above 0, that wide), waiting up to `timeout` for it to show.
  TXWindow WaitForWindow(const std::string& title, int width = 0,
                         std::chrono::milliseconds timeout = std::chrono::seconds(20));
  // True once no visible window has the title (within `timeout`).
  bool WaitForWindowGone(const std::string& title,
                         std::chrono::milliseconds timeout = std::chrono::seconds(20));

  void MoveTo(int x, int y);
  void Click(int x, int y);
  void DoubleClick(int x, int y);
  // Button down at `from`, moves in steps of at most `step` pixels, up at `to`.
  void Drag(int fromX, int fromY, int toX, int toY, int step = 6);
  // xdotool key names: "Tab", "ctrl+a", "t", "Return".
  void Key(const std::string& keys);
  void Type(const std::string& text);

  // What xdotool printed on its last run (for failure messages).
  const std::string& LastOutput() const { return last_; }

 private:
  bool Xdo(const std::vector<std::string>& args);
  std::vector<TXWindow> Visible(const std::string& title);

  TChildProcess server_;
  std::string name_, last_;
};
