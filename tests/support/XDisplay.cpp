#include "support/XDisplay.h"

#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <thread>

namespace {

// The program's full name on the search path; empty when it is not there.
std::string FindProgram(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::stringstream folders(path ? path : "");
  for (std::string folder; std::getline(folders, folder, ':');) {
    const std::string full = folder + "/" + program;
    if (!folder.empty() && ::access(full.c_str(), X_OK) == 0) return full;
  }
  return {};
}

// Lets the program under test handle what it was just sent.
void Settle() { std::this_thread::sleep_for(std::chrono::milliseconds(60)); }

}  // namespace

bool TXDisplay::Available() {
  return !FindProgram("Xvfb").empty() && !FindProgram("xdotool").empty();
}

TXDisplay::~TXDisplay() {
  if (server_.Running()) {
    server_.Signal(SIGTERM);
    server_.Wait(std::chrono::seconds(5));
  }
}

bool TXDisplay::Start() {
  // The server picks a free display and writes its number to standard output.
  if (!server_.Start(FindProgram("Xvfb"),
                     {"-displayfd", "1", "-screen", "0", "1280x900x24", "-nolisten", "tcp"}))
    return false;
  if (!server_.WaitFor([this] { return server_.Out().find('\n') != std::string::npos; },
                       std::chrono::seconds(20)))
    return false;
  name_ = ":" + server_.Out().substr(0, server_.Out().find('\n'));
  return true;
}

bool TXDisplay::Xdo(const std::vector<std::string>& args) {
  const TChildResult r = TChildProcess::Run(FindProgram("xdotool"), args, {{"DISPLAY", name_}},
                                            std::chrono::seconds(20));
  last_ = r.Out + r.Err;
  Settle();
  return r.Status == 0;
}

std::vector<TXWindow> TXDisplay::Visible(const std::string& title) {
  std::vector<TXWindow> windows;
  if (!Xdo({"search", "--onlyvisible", "--name", "^" + title + "$"})) return windows;
  std::stringstream ids(last_);
  for (std::string id; ids >> id;) {
    TXWindow w;
    w.Id = id;
    if (!Xdo({"getwindowgeometry", "--shell", id})) continue;
    std::stringstream lines(last_);
    for (std::string line; std::getline(lines, line);) {
      const auto eq = line.find('=');
      if (eq == std::string::npos) continue;
      const std::string key = line.substr(0, eq);
      const int value = std::atoi(line.c_str() + eq + 1);
      if (key == "X") w.X = value;
      if (key == "Y") w.Y = value;
      if (key == "WIDTH") w.Width = value;
      if (key == "HEIGHT") w.Height = value;
    }
    windows.push_back(w);
  }
  return windows;
}

TXWindow TXDisplay::WaitForWindow(const std::string& title, int width,
                                  std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  TXWindow last;
  do {
    TXWindow now;
    for (const TXWindow& w : Visible(title))
      if (width <= 0 || w.Width == width) now = w;
    // A window may be placed again just after it shows: only a place seen
    // twice in a row counts.
    if (now.Found() && now.Id == last.Id && now.X == last.X && now.Y == last.Y) return now;
    last = now;
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
  } while (std::chrono::steady_clock::now() < deadline);
  return {};
}

bool TXDisplay::WaitForWindowGone(const std::string& title, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  do {
    if (Visible(title).empty()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  } while (std::chrono::steady_clock::now() < deadline);
  return false;
}

void TXDisplay::MoveTo(int x, int y) { Xdo({"mousemove", std::to_string(x), std::to_string(y)}); }

void TXDisplay::Click(int x, int y) {
  MoveTo(x, y);
  Xdo({"click", "1"});
}

void TXDisplay::DoubleClick(int x, int y) {
  MoveTo(x, y);
  Xdo({"click", "--repeat", "2", "--delay", "80", "1"});
}

void TXDisplay::Drag(int fromX, int fromY, int toX, int toY, int step) {
  MoveTo(fromX, fromY);
  Xdo({"mousedown", "1"});
  const int n = std::max(1, std::max(std::abs(toX - fromX), std::abs(toY - fromY)) / step);
  for (int i = 1; i <= n; ++i) MoveTo(fromX + (toX - fromX) * i / n, fromY + (toY - fromY) * i / n);
  Xdo({"mouseup", "1"});
}

void TXDisplay::Key(const std::string& keys) { Xdo({"key", keys}); }

void TXDisplay::Type(const std::string& text) { Xdo({"type", "--delay", "40", text}); }
